# The configuration server: the line server on 127.0.0.1 over the request handling.
qrb_component(ui ui_configserver
  SOURCES ui/configserver/ConfigServer.cpp
  LIBS qrb_config_request Qt6::Core Qt6::Network)
qrb_test(ui_configserver_test UI
  SOURCES tests/ui/configserver/ConfigServerTest.cpp
  LIBS qrb_ui_configserver qrb_device_test_support Qt6::Test)
qrb_program(ConfigServerProbe UI
  SOURCES tests/ui/configserver/ConfigServerProbe.cpp
  LIBS qrb_ui_configserver qrb_device_test_support)
qrb_test(ui_configserver_process_test UI
  SOURCES tests/ui/configserver/ConfigServerProcessTest.cpp
  LIBS qrb_config_request qrb_device_test_support
  RESOURCE_LOCK port8888)
if(TARGET ui_configserver_process_test)
  target_compile_definitions(ui_configserver_process_test PRIVATE
    QRB_CONFIG_SERVER_PROBE="$<TARGET_FILE:ConfigServerProbe>")
  add_dependencies(ui_configserver_process_test ConfigServerProbe)
endif()
if(TARGET qrb_ui_configserver)
  qrb_bench(ui_configserver_bench
    SOURCES bench/ConfigServerBench.cpp
    LIBS qrb_ui_configserver qrb_model_test_support qrb_device_test_support)
endif()
