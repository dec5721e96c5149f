# Channel setters on the register image, the verified commit of one channel, snapshot and rollback.
qrb_component(model model_setters
  SOURCES model/ChannelSetters.cpp model/ChannelCommit.cpp
  LIBS qrb_model_records qrb_device_vocab qrb_device_helpers)
qrb_test(model_setters_test
  SOURCES tests/model/SettersTest.cpp tests/model/CommitTest.cpp
  LIBS qrb_model_setters)
