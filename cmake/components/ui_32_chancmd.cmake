# The channel menu commands and the sensor database dialogs; the channels component runs them.
if(TARGET qrb_ui_channels)
  target_sources(qrb_ui_channels PRIVATE ui/dialogs/SensorDatabaseForms.cpp ui/channels/ChannelCommands.cpp)
endif()
qrb_test(ui_chancmd_test UI
  SOURCES tests/ui/dialogs/SensorDatabaseFormsTest.cpp tests/ui/channels/ChannelCommandsTest.cpp
  LIBS qrb_ui_channels qrb_device_lan qrb_device_lan_fake qrb_device_chip_emulations qrb_model_sensors_test_support
       qrb_device_test_support Qt6::Test)
