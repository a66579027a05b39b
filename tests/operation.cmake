grittor_add_test(NAME test_operation_gui LABEL gui
  SOURCES
    gui/operation/main_form_test.cpp
  LIBS grittor_gui z)
