grittor_add_test(NAME test_pens_unit LABEL unit
  SOURCES
    unit/pens/pen_record_test.cpp
    unit/pens/material_library_test.cpp
    unit/pens/library_store_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_pens_gui LABEL gui
  SOURCES
    gui/pens/pen_form_test.cpp
    gui/pens/select_material_form_test.cpp
  LIBS grittor_gui)
