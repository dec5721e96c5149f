# Setting tables of the register image, device and channel records of the model.
qrb_component(model model_records
  SOURCES model/RegisterTables.cpp)
qrb_test(model_records_test
  SOURCES tests/model/RegisterTablesTest.cpp
  LIBS qrb_model_records)
