# The settings dialog with its new-address dialog, the USB and LAN device setup dialogs and the
# binding of the maker's firmware library, loaded at run time. The main window's settings command
# creates the settings dialog: the two static libraries need each other.
qrb_component(ui ui_setup
  SOURCES ui/platform/FirmwareLibrary.cpp ui/dialogs/ModalRunner.cpp ui/dialogs/SettingsForm.cpp
          ui/dialogs/DeviceSetupForms.cpp
  LIBS qrb_ui_shell qrb_ui_base qrb_model_translator qrb_model_records qrb_device_vocab qrb_device_helpers
       Qt6::Widgets ${CMAKE_DL_LIBS})
if(TARGET qrb_ui_shell AND TARGET qrb_ui_setup)
  target_link_libraries(qrb_ui_shell PUBLIC qrb_ui_setup)
endif()

# The stand-in firmware library for tests, two variants that each lack one entry point, one
# with every entry point that needs a symbol nothing defines (linked lazily, so only a loader that
# binds every symbol at load notices), and one that needs a companion library found through its
# RUNPATH $ORIGIN alone. They live under tests/support of the build, never beside the program,
# and never under the real name.
if(QRB_BUILD_UI AND NOT QRB_FUZZ)
  add_library(fakefwdep SHARED tests/support/FakeFirmwareCompanion.cpp)
  target_link_libraries(fakefwdep PRIVATE qrb_options)
  set_target_properties(fakefwdep PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/support
    CXX_VISIBILITY_PRESET hidden)
  foreach(variant IN ITEMS "" "_noinit" "_nofree" "_unresolved" "_origin")
    add_library(fakerozezerir${variant} SHARED tests/support/FakeFirmwareLibrary.cpp)
    target_link_libraries(fakerozezerir${variant} PRIVATE qrb_options)
    set_target_properties(fakerozezerir${variant} PROPERTIES
      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/support
      CXX_VISIBILITY_PRESET hidden)
  endforeach()
  target_compile_definitions(fakerozezerir_noinit PRIVATE FAKEFW_WITHOUT_INIT)
  target_compile_definitions(fakerozezerir_nofree PRIVATE FAKEFW_WITHOUT_FREE)
  target_compile_definitions(fakerozezerir_unresolved PRIVATE FAKEFW_UNRESOLVED)
  target_compile_definitions(fakerozezerir_origin PRIVATE FAKEFW_COMPANION)
  target_link_libraries(fakerozezerir_origin PRIVATE fakefwdep)
  # The build's RUNPATH as $ORIGIN, not the companion's absolute folder.
  set_target_properties(fakerozezerir_origin PROPERTIES BUILD_RPATH_USE_ORIGIN ON)
  target_link_options(fakerozezerir_origin PRIVATE -Wl,--enable-new-dtags)
  target_link_options(fakerozezerir_unresolved PRIVATE -Wl,--allow-shlib-undefined
                      -Wl,--unresolved-symbols=ignore-all -Wl,-z,lazy)
endif()

qrb_test(ui_setup_test UI
  SOURCES tests/ui/platform/FirmwareLibraryTest.cpp tests/ui/dialogs/SettingsFormTest.cpp
          tests/ui/dialogs/DeviceSetupFormsTest.cpp tests/ui/MainWindowSettingsTest.cpp
          tests/support/FakeFirmwareControl.cpp
  LIBS qrb_ui_setup qrb_ui_shell qrb_ui_channels qrb_device_test_support Qt6::Test ${CMAKE_DL_LIBS})
if(TARGET ui_setup_test)
  target_compile_definitions(ui_setup_test PRIVATE
    QRB_FAKE_FWLIB="$<TARGET_FILE:fakerozezerir>"
    QRB_FAKE_FWLIB_NOINIT="$<TARGET_FILE:fakerozezerir_noinit>"
    QRB_FAKE_FWLIB_NOFREE="$<TARGET_FILE:fakerozezerir_nofree>"
    QRB_FAKE_FWLIB_UNRESOLVED="$<TARGET_FILE:fakerozezerir_unresolved>"
    QRB_FAKE_FWLIB_ORIGIN="$<TARGET_FILE:fakerozezerir_origin>"
    QRB_FAKE_FWDEP="$<TARGET_FILE:fakefwdep>")
  add_dependencies(ui_setup_test fakerozezerir fakerozezerir_noinit fakerozezerir_nofree
                   fakerozezerir_unresolved fakerozezerir_origin fakefwdep)
endif()
