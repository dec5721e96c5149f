# The user-interface shell: program entry, main window with its controls, menus and actions,
# the translator's event handlers, the log, the language switch, the settings file hand-overs,
# the status and information windows, the main-loop seam on Qt, the scan gate, the
# single-instance guard, power events and the program's own images.
qrb_component(ui ui_shell
  SOURCES ui/platform/QtMainLoop.cpp ui/platform/SingleInstance.cpp ui/platform/ScanGate.cpp ui/dialogs/MessageService.cpp
          ui/dialogs/StatusWindows.cpp ui/platform/PowerEvents.cpp ui/Application.cpp
          ui/platform/UserLocale.cpp ui/platform/ScreenPlacement.cpp ui/MainWindow.cpp ui/MainWindowEvents.cpp ui/MainWindowLanguage.cpp
          ui/MainWindowSettings.cpp ui/ConfigServerControl.cpp ui/resources.qrc
  LIBS Qt6::Widgets Qt6::Network Qt6::DBus qrb_ui_base qrb_ui_configserver qrb_model_translator qrb_model_records
       qrb_device_hal qrb_device_vocab qrb_device_helpers qrb_device_core)
if(TARGET qrb_ui_shell)
  set_target_properties(qrb_ui_shell PROPERTIES AUTORCC ON)
endif()

qrb_program(OndrixQRB UI SOURCES ui/Main.cpp LIBS qrb_ui qrb_model qrb_device)

# Draws the images of ui/images/ (run by hand when they change).
qrb_program(DrawImages UI SOURCES tools/DrawImages.cpp LIBS Qt6::Gui)

qrb_test(ui_shell_test UI
  SOURCES tests/ui/platform/ScanGateTest.cpp tests/ui/platform/SingleInstanceTest.cpp tests/ui/platform/QtMainLoopTest.cpp tests/ui/platform/ScreenPlacementTest.cpp
          tests/ui/dialogs/StatusWindowsTest.cpp tests/ui/MainWindowTest.cpp
  LIBS qrb_ui_shell qrb_device_test_support Qt6::Test)
# Starts the program itself.
qrb_test(ui_program_test UI
  SOURCES tests/ui/ProgramProcessTest.cpp
  LIBS qrb_ui_base qrb_device_helpers qrb_device_lan_fake
  RESOURCE_LOCK port8888)
if(TARGET ui_program_test)
  add_dependencies(ui_program_test OndrixQRB)
endif()
