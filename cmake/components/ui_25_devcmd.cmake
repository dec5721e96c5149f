# The main window's device commands: configuration kept in the devices, device information,
# offset table, device status, front-panel lock and turning the devices off.
if(TARGET qrb_ui_shell)
  target_sources(qrb_ui_shell PRIVATE ui/MainWindowDevice.cpp)
endif()
qrb_test(ui_devcmd_test UI
  SOURCES tests/ui/MainWindowDeviceTest.cpp
  LIBS qrb_ui_shell qrb_ui_channels qrb_device_lan qrb_device_lan_fake qrb_device_test_support)
