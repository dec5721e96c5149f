# USB transport: raw disk layer, sector frames and the transport over them.
qrb_component(device device_usb
  SOURCES device/usb/DiskLayer.cpp device/usb/SectorFrame.cpp device/usb/USBTransport.cpp
  LIBS qrb_device_core qrb_device_wire qrb_device_helpers PkgConfig::LIBMD)

# A fake amplifier disk for tests of the USB transport and of what builds on it.
qrb_component(device device_usb_fake
  SOURCES tests/support/FakeDisk.cpp
  LIBS qrb_device_usb PkgConfig::LIBMD)

qrb_test(device_usb_test
  SOURCES tests/device/usb/DiskLayerTest.cpp tests/device/usb/SectorFrameTest.cpp
          tests/device/usb/USBTransportTest.cpp tests/device/usb/USBFileDiskTest.cpp
          tests/device/usb/USBHalTest.cpp
  LIBS qrb_device_usb qrb_device_usb_fake qrb_device_hal qrb_device_test_support)

# What a device puts into its communication sector, under the fuzzer: the frame with its
# answer block, and the info answer.
qrb_fuzz(UsbFrameFuzz
  SOURCES fuzz/UsbFrameFuzz.cpp
  LIBS qrb_device_usb)
qrb_fuzz(UsbInfoFuzz
  SOURCES fuzz/UsbInfoFuzz.cpp
  LIBS qrb_device_usb)
