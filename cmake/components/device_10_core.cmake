# Records, result codes, the abstract transport and the main-loop seam.
qrb_component(device device_core
  SOURCES device/I2CTypes.cpp device/Records.cpp
  LIBS Threads::Threads)
qrb_test(device_core_test
  SOURCES tests/device/I2CTypesTest.cpp tests/device/RecordsTest.cpp
  LIBS qrb_device_core)
