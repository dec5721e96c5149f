# Display texts of the setting codes and the constant hardware tables.
qrb_component(device device_vocab
  SOURCES device/HWVocabulary.cpp device/HWTables.cpp
  LIBS qrb_device_core)
qrb_test(device_vocab_test
  SOURCES tests/device/HWVocabularyTest.cpp
  LIBS qrb_device_vocab)
