# The configuration server's request handling without sockets (the Qt server builds on it).
qrb_component(model config_request
  SOURCES ui/configserver/ConfigRequest.cpp
  LIBS qrb_model_translator qrb_model_records qrb_device_vocab qrb_device_helpers)
qrb_fuzz(config_request_fuzz
  SOURCES fuzz/ConfigRequestFuzz.cpp
  LIBS qrb_config_request qrb_device_test_support)
