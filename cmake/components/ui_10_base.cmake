# User-interface pieces without widgets: texts and language, the settings over the INI file,
# the network information.
qrb_component(ui ui_base
  SOURCES ui/texts/Texts.cpp ui/texts/TextTable.cpp ui/settings/Settings.cpp ui/settings/ScanTargets.cpp ui/platform/NetworkInfo.cpp
  LIBS qrb_ini_file qrb_device_helpers qrb_device_core)
qrb_test(ui_base_test UI
  SOURCES tests/ui/texts/TextsTest.cpp tests/ui/settings/IniFileTest.cpp tests/ui/settings/SettingsTest.cpp tests/ui/platform/NetworkInfoTest.cpp
  LIBS qrb_ui_base qrb_device_test_support)
