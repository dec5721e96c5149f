# The LAN transport: POSIX sockets, one data connection with a reader thread per device.
qrb_component(device device_lan
  SOURCES device/lan/LanSocket.cpp device/lan/LanStream.cpp device/lan/I2CSocket.cpp
          device/lan/I2CLANControl.cpp
  LIBS qrb_device_wire qrb_device_helpers qrb_device_core Threads::Threads)

# The fake LAN amplifier: a loopback server on the simulated chips, for tests and tools.
qrb_component(device device_lan_fake
  SOURCES tests/support/FakeLanAmplifier.cpp tests/support/SilentLanTarget.cpp
  LIBS qrb_device_chip_emulations qrb_device_sim qrb_device_vocab qrb_device_core Threads::Threads)

qrb_test(device_lan_test
  SOURCES tests/device/lan/LanStreamTest.cpp tests/device/lan/FakeLanAmplifierTest.cpp
          tests/device/lan/LanTransportTest.cpp
  LIBS qrb_device_lan qrb_device_lan_fake qrb_device_test_support)

qrb_program(FakeLanAmp
  SOURCES tools/FakeLanAmp.cpp
  LIBS qrb_device_lan_fake qrb_model_sensors_test_support)

# The LAN transport behind the hardware abstraction and the translator.
qrb_test(device_lan_hal_test
  SOURCES tests/device/lan/LanHalTest.cpp
  LIBS qrb_device_lan qrb_device_lan_fake qrb_device_hal qrb_model_translator qrb_device_test_support)
