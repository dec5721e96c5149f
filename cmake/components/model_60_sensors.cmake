# Byte-level emulations of the 1-Wire bridge and the three converters, for test transports and
# the fake LAN amplifier.
qrb_component(device device_chip_emulations
  SOURCES tests/support/ChipEmulations.cpp
  LIBS qrb_device_sim qrb_device_vocab)

# The sensor database: record codec, entry list and the file.
qrb_component(model model_sensordb
  SOURCES model/SensorDatabase.cpp
  LIBS qrb_device_core qrb_device_helpers)
# The translator's sensor operations belong to its one library.
target_sources(qrb_model_translator PRIVATE model/TranslatorSensorDb.cpp model/TranslatorOneWire.cpp
  model/TranslatorMeasure.cpp model/TranslatorStatus.cpp)
target_link_libraries(qrb_model_translator PUBLIC qrb_model_sensordb)
qrb_test(model_sensordb_test
  SOURCES tests/model/SensorDatabaseTest.cpp
  LIBS qrb_model_translator qrb_model_test_support qrb_device_test_support)
qrb_fuzz(model_sensordb_fuzz
  SOURCES fuzz/SensorDatabaseFuzz.cpp
  LIBS qrb_model_sensordb)

# A scripted amplifier whose channel accesses reach the chip emulations, for model tests.
qrb_component(model model_sensors_test_support
  SOURCES tests/support/ChipAmplifier.cpp
  LIBS qrb_model_test_support qrb_device_chip_emulations qrb_model_records qrb_device_sim qrb_device_helpers)
qrb_test(model_sensors_test
  SOURCES tests/model/OneWireTest.cpp tests/model/MeasureTest.cpp tests/model/StatusReportTest.cpp
  LIBS qrb_model_translator qrb_model_sensors_test_support qrb_device_sim_test_support qrb_device_test_support)
qrb_test(model_autozero_lan_test
  SOURCES tests/model/AutozeroLanTest.cpp
  LIBS qrb_model_translator qrb_model_sensors_test_support qrb_device_lan qrb_device_lan_fake
       qrb_device_test_support)
