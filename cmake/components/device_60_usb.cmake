# USB transport: raw disk layer, sector frames and the transport over them.
qrb_component(device device_usb
  SOURCES device/usb/DiskLayer.cpp device/usb/SectorFrame.cpp
  LIBS PkgConfig::LIBMD)
qrb_test(device_usb_test
  SOURCES tests/device/usb/DiskLayerTest.cpp tests/device/usb/SectorFrameTest.cpp
  LIBS qrb_device_usb)
