# Shared helpers: formatter and number/date texts, Windows-1252 codec, general helpers, atomic files.
qrb_component(device device_helpers
  SOURCES device/Format.cpp device/Cp1252.cpp device/Helpers.cpp device/FileUtil.cpp
  LIBS qrb_device_core)
qrb_test(device_helpers_test
  SOURCES tests/device/FormatTest.cpp tests/device/Cp1252Test.cpp tests/device/HelpersTest.cpp
          tests/device/FileUtilTest.cpp
  LIBS qrb_device_helpers)
