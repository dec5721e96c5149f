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
  SOURCES tests/support/VirtualMainLoop.cpp tests/support/ScriptedControl.cpp tests/support/PlaceholderTransports.cpp
  LIBS qrb_device_core)

# The hardware abstraction over the LAN, USB and simulated transports.
qrb_component(device device_hal
  SOURCES device/I2CHAL.cpp device/DefaultTransports.cpp
  LIBS qrb_device_core qrb_device_sim qrb_device_lan qrb_device_usb)
qrb_test(device_hal_test
  SOURCES tests/device/I2CHALTest.cpp
  LIBS qrb_device_hal qrb_device_test_support)
