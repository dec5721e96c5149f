# The translator: construction, lists, events, device notifications and the scan.
qrb_component(model model_translator
  SOURCES model/I2CTranslator.cpp model/TranslatorScan.cpp
  LIBS qrb_model_records qrb_device_hal qrb_device_helpers)
# A scripted amplifier transport for model tests.
qrb_component(model model_test_support
  SOURCES tests/support/ScriptedAmplifier.cpp
  LIBS qrb_device_core)
qrb_test(model_translator_test
  SOURCES tests/model/TranslatorCoreTest.cpp tests/model/TranslatorScanTest.cpp
  LIBS qrb_model_translator qrb_model_test_support qrb_device_test_support)
# Device notifications as the model decodes them, under the fuzzer.
qrb_fuzz(model_notify_fuzz
  SOURCES fuzz/NotifyFuzz.cpp
  LIBS qrb_model_translator qrb_device_test_support)
