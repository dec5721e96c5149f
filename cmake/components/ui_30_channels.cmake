# The channel list, its column menus with ApplyChanges, the channel offset window and the scan
# with the interface modes and the main timer.
qrb_component(ui ui_channels
  SOURCES ui/ChannelList.cpp ui/ColumnMenus.cpp ui/ChannelOffsetDialog.cpp ui/ScanController.cpp
  LIBS qrb_ui_shell qrb_ui_base qrb_model_translator qrb_device_vocab qrb_device_helpers Qt6::Widgets)
qrb_test(ui_channels_test UI
  SOURCES tests/ui/ColumnMenusTest.cpp tests/ui/ChannelListTest.cpp tests/ui/ChannelOffsetDialogTest.cpp
          tests/ui/ScanControllerTest.cpp
  LIBS qrb_ui_channels qrb_device_lan qrb_device_lan_fake qrb_device_test_support Qt6::Test)
