# User-interface pieces under the fuzzer. The fuzz build has no user interface (its widgets are
# built with g++ only); the settings and their scan targets need no Qt and build here on their own, and where Qt Core
# and Network are found, the configuration server takes its lines from a socket under the
# fuzzer.
if(QRB_FUZZ)
  qrb_fuzz(settings_fuzz
    SOURCES fuzz/SettingsFuzz.cpp ui/settings/Settings.cpp ui/settings/ScanTargets.cpp
    LIBS qrb_ini_file qrb_device_helpers qrb_device_core)

  find_package(Qt6 QUIET COMPONENTS Core Network)
  if(Qt6Core_FOUND AND Qt6Network_FOUND)
    qrb_fuzz(config_server_fuzz
      SOURCES fuzz/ConfigServerFuzz.cpp ui/configserver/ConfigServer.cpp
      LIBS qrb_config_request qrb_device_test_support Qt6::Core Qt6::Network)
    set_target_properties(config_server_fuzz PROPERTIES AUTOMOC ON)
  else()
    message(STATUS "Qt6 Core/Network not found: no configuration server fuzz target")
  endif()
endif()
