# The translator's sensor-type presets, defaults, channel clipboard and device operations belong
# to its one library.
target_sources(qrb_model_translator PRIVATE model/TranslatorDevice.cpp model/TranslatorPresets.cpp)
qrb_test(model_presets_test
  SOURCES tests/model/DeviceOperationsTest.cpp tests/model/PresetsTest.cpp
  LIBS qrb_model_translator qrb_model_test_support qrb_device_sim_test_support qrb_device_test_support)
