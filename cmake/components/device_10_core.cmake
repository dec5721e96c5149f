# Records, result codes, the abstract transport and the main-loop seam.
qrb_component(device device_core
  SOURCES device/I2CTypes.cpp device/Records.cpp device/MainLoop.cpp device/I2CControl.cpp
  LIBS Threads::Threads)
qrb_test(device_core_test
  SOURCES tests/device/I2CTypesTest.cpp tests/device/RecordsTest.cpp tests/device/MainLoopTest.cpp
          tests/device/I2CControlTest.cpp
  LIBS qrb_device_core qrb_device_test_support)

# Shared test fixtures of the device layer.
qrb_component(device device_test_support
  SOURCES tests/support/VirtualMainLoop.cpp
  LIBS qrb_device_core)
