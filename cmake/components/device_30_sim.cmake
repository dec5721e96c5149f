# Simulated amplifier: chip models and the simulated transport.
qrb_component(device device_sim
  SOURCES device/sim/SimChip.cpp device/sim/SimChips.cpp
  LIBS qrb_device_core)
qrb_test(device_sim_test
  SOURCES tests/device/sim/SimChipsTest.cpp
  LIBS qrb_device_sim)
