# What the model makes of a device's answers, under the fuzzer: the scan, the status poll, the
# reports, the measurements, the 1-Wire search and the autozero over answers from the input.
qrb_fuzz(model_answers_fuzz
  SOURCES fuzz/ModelAnswersFuzz.cpp
  LIBS qrb_model_translator qrb_device_chip_emulations qrb_device_sim_test_support qrb_device_test_support)
