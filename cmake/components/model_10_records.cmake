# Setting tables of the register image, device and channel records of the model.
qrb_component(model model_records
  SOURCES model/RegisterTables.cpp model/QRBRawCalibration.cpp model/QRBRawMaster.cpp model/QRBRawChannel.cpp
  LIBS qrb_device_core qrb_device_helpers)
qrb_test(model_records_test
  SOURCES tests/model/RegisterTablesTest.cpp tests/model/QRBRawModelTest.cpp
  LIBS qrb_model_records)
