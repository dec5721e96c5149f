# Channel setters on the register image, the verified commit of one channel, snapshot and rollback.
qrb_component(model model_setters
  SOURCES model/ChannelSetters.cpp model/ChannelCommit.cpp
  LIBS qrb_model_records qrb_device_vocab qrb_device_helpers)
# The translator's setter and commit operations belong to its one library.
target_sources(qrb_model_translator PRIVATE model/TranslatorSetters.cpp model/TranslatorCommit.cpp)
target_link_libraries(qrb_model_translator PUBLIC qrb_model_setters)
qrb_test(model_setters_test
  SOURCES tests/model/SettersTest.cpp tests/model/CommitTest.cpp
  LIBS qrb_model_translator qrb_model_test_support qrb_device_test_support)
