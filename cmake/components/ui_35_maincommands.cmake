# The main window's file, edit and about commands: restore defaults, load and save a setup, the
# default setup file, the save offer before a setup change, the edit commands and the about box.
if(TARGET qrb_ui_shell)
  target_sources(qrb_ui_shell PRIVATE ui/MainWindowCommands.cpp)
endif()
qrb_test(ui_main_commands_test UI
  SOURCES tests/ui/MainWindowCommandsTest.cpp
  LIBS qrb_ui_shell qrb_ui_channels qrb_device_sim qrb_device_test_support Qt6::Test)
