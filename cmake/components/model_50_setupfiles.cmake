# Setup files (XML and raw records) and the channel table exports.
qrb_component(model model_setupfiles
  SOURCES model/SetupCommon.cpp model/SetupXml.cpp model/SetupRaw.cpp model/ChannelExport.cpp
  LIBS qrb_model_records qrb_device_helpers qrb_device_vocab PkgConfig::PUGIXML)
qrb_test(model_setupfiles_test
  SOURCES tests/model/SetupXmlTest.cpp tests/model/SetupRawTest.cpp tests/model/ChannelExportTest.cpp
  LIBS qrb_model_setupfiles)
qrb_fuzz(model_setupxml_fuzz
  SOURCES fuzz/SetupXmlFuzz.cpp
  LIBS qrb_model_setupfiles)
qrb_fuzz(model_setupraw_fuzz
  SOURCES fuzz/SetupRawFuzz.cpp
  LIBS qrb_model_setupfiles)
# The translator's setup file and export operations belong to its one library.
target_sources(qrb_model_translator PRIVATE model/TranslatorSetupFiles.cpp)
target_link_libraries(qrb_model_translator PUBLIC qrb_model_setupfiles)
qrb_test(model_translator_setupfiles_test
  SOURCES tests/model/TranslatorSetupFilesTest.cpp
  LIBS qrb_model_translator qrb_model_test_support qrb_device_test_support)
