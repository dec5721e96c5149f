# Simulated amplifier: chip models and the simulated transport.
qrb_component(device device_sim
  SOURCES device/sim/SimChip.cpp device/sim/SimChips.cpp device/sim/I2CVirtualControl.cpp
  LIBS qrb_device_core qrb_device_vocab qrb_device_helpers)
# Scripted chips behind chosen addresses of the simulated transport, for tests.
qrb_component(device device_sim_test_support
  SOURCES tests/support/ScriptedI2CPeer.cpp
  LIBS qrb_device_sim)
qrb_test(device_sim_test
  SOURCES tests/device/sim/SimChipsTest.cpp tests/device/sim/VirtualControlTest.cpp
  LIBS qrb_device_sim qrb_device_sim_test_support qrb_device_test_support)
