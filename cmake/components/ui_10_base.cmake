# User-interface pieces without widgets: texts and language.
qrb_component(ui ui_base
  SOURCES ui/Texts.cpp ui/TextTable.cpp)
qrb_test(ui_base_test UI
  SOURCES tests/ui/TextsTest.cpp
  LIBS qrb_ui_base)
