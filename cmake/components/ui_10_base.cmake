# User-interface pieces without widgets: texts and language, the INI file and the settings,
# the network information.
qrb_component(ui ui_base
  SOURCES ui/Texts.cpp ui/TextTable.cpp ui/IniFile.cpp ui/Settings.cpp ui/NetworkInfo.cpp
  LIBS qrb_device_helpers qrb_device_core)
qrb_test(ui_base_test UI
  SOURCES tests/ui/TextsTest.cpp tests/ui/IniFileTest.cpp tests/ui/SettingsTest.cpp tests/ui/NetworkInfoTest.cpp
  LIBS qrb_ui_base qrb_device_test_support)
