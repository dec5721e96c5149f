# What a LAN device sends, under the fuzzer and under timing: the stream splitter and the
# command set's answer handling; a LAN round trip against plain socket calls.
qrb_fuzz(LanStreamFuzz
  SOURCES fuzz/LanStreamFuzz.cpp
  LIBS qrb_device_lan)

# The info answer on a device's info port.
qrb_fuzz(LanInfoFuzz
  SOURCES fuzz/LanInfoFuzz.cpp
  LIBS qrb_device_lan)

qrb_bench(LanBench
  SOURCES bench/LanBench.cpp
  LIBS qrb_device_lan qrb_device_lan_fake qrb_device_hal qrb_model_translator qrb_device_test_support)

# The model over the default LAN transport against fake amplifiers on loopback.
qrb_test(model_lan_test
  SOURCES tests/model/LanModelTest.cpp
  LIBS qrb_model_translator qrb_device_lan_fake qrb_device_test_support)
