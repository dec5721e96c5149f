# The option commands of the main window and their dialogs: the zero adjustment.
qrb_component(ui ui_options
  SOURCES ui/dialogs/ZeroAdjust.cpp ui/MainWindowOptions.cpp
  LIBS qrb_ui_shell qrb_ui_base qrb_model_translator qrb_device_vocab qrb_device_helpers Qt6::Widgets)
# The main window connects them: the two static libraries need each other.
if(TARGET qrb_ui_shell AND TARGET qrb_ui_options)
  target_link_libraries(qrb_ui_shell PUBLIC qrb_ui_options)
endif()
qrb_test(ui_options_test UI
  SOURCES tests/ui/dialogs/ZeroAdjustTest.cpp tests/ui/EndingTest.cpp
  LIBS qrb_ui_options qrb_ui_shell qrb_model_sensors_test_support qrb_device_lan qrb_device_lan_fake
       qrb_device_test_support Qt6::Test)
