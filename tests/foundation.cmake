grittor_add_test(NAME test_foundation_unit LABEL unit
  SOURCES
    unit/foundation/utils_test.cpp
    unit/foundation/string_utils_test.cpp
    unit/foundation/option_test.cpp
    unit/foundation/plain_settings_test.cpp
    unit/foundation/log_output_test.cpp
    unit/foundation/exception_reporting_test.cpp
    unit/foundation/data_files_test.cpp
    unit/foundation/side_thread_test.cpp
    unit/foundation/large_pages_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_foundation_gui LABEL gui
  SOURCES
    gui/foundation/exception_report_form_test.cpp
    gui/foundation/window_rect_test.cpp
  LIBS grittor_gui)
