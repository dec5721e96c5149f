# Command blocks and the command set shared by the wire transports.
qrb_component(device device_wire
  SOURCES device/wire/CommandBlock.cpp device/wire/CommandSet.cpp device/wire/WireControl.cpp
  LIBS qrb_device_core qrb_device_helpers)
qrb_test(device_wire_test
  SOURCES tests/device/wire/CommandBlockTest.cpp tests/device/wire/CommandSetTest.cpp
  LIBS qrb_device_wire)
