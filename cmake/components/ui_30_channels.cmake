# The channel list, its column menus with ApplyChanges, the channel offset window and the scan
# with the interface modes and the main timer; the main window owns them through
# TMainWindowChannels.
qrb_component(ui ui_channels
  SOURCES ui/channels/ChannelList.cpp ui/channels/ColumnMenus.cpp ui/dialogs/ChannelOffsetDialog.cpp ui/channels/ScanController.cpp
          ui/MainWindowChannels.cpp
  LIBS qrb_ui_shell qrb_ui_base qrb_model_translator qrb_device_vocab qrb_device_helpers Qt6::Widgets)
# The main window creates them: the two static libraries need each other.
if(TARGET qrb_ui_shell AND TARGET qrb_ui_channels)
  target_link_libraries(qrb_ui_shell PUBLIC qrb_ui_channels)
endif()
qrb_test(ui_channels_test UI
  SOURCES tests/ui/channels/ColumnMenusTest.cpp tests/ui/channels/ChannelListTest.cpp tests/ui/dialogs/ChannelOffsetDialogTest.cpp
          tests/ui/channels/ScanControllerTest.cpp
  LIBS qrb_ui_channels qrb_device_lan qrb_device_lan_fake qrb_device_test_support Qt6::Test)
qrb_test(ui_main_channels_test UI
  SOURCES tests/ui/MainWindowChannelsTest.cpp
  LIBS qrb_ui_shell qrb_ui_channels qrb_device_lan_fake qrb_device_test_support)
# The window under a device that floods it with its alarm: File menu open time and memory.
if(QRB_BENCH)
  qrb_program(AlarmFloodBench UI
    SOURCES bench/AlarmFloodBench.cpp
    LIBS qrb_ui_shell qrb_ui_channels qrb_device_lan_fake qrb_device_test_support GTest::gtest GTest::gtest_main)
endif()
