grittor_add_test(NAME test_operation_unit LABEL unit
  SOURCES
    unit/operation/command_gate_test.cpp
    unit/operation/terminal_screen_test.cpp
    unit/operation/load_key_test.cpp
    unit/operation/queue_store_test.cpp
  LIBS grittor_gui)
grittor_add_test(NAME test_operation_gui LABEL gui
  SOURCES
    gui/operation/main_form_test.cpp
    gui/operation/port_hint_test.cpp
    gui/operation/chart_view_test.cpp
    gui/operation/progress_window_test.cpp
    gui/operation/main_form_service_test.cpp
  LIBS grittor_gui Qt6::Test z)
grittor_add_test(NAME test_operation_e2e LABEL e2e WIDGETS
  SOURCES
    e2e/operation/simulate_test.cpp
    e2e/operation/blast_test.cpp
    e2e/operation/load_key_e2e_test.cpp
    e2e/operation/queue_e2e_test.cpp
  LIBS grittor_gui Qt6::Test)
add_dependencies(test_operation_e2e grittor grittor-sim)
