# The settings file's INI reader and writer, which needs no Qt: built like the configuration
# request handling, so that the fuzz configuration has it too (the settings build on it).
qrb_component(model ini_file
  SOURCES ui/settings/IniFile.cpp
  LIBS qrb_device_helpers)
qrb_fuzz(ini_file_fuzz
  SOURCES fuzz/IniFileFuzz.cpp
  LIBS qrb_ini_file)
