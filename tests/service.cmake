grittor_add_test(NAME test_service_unit LABEL unit
  SOURCES
    unit/service/tuning_tables_test.cpp
    unit/service/capture_test.cpp
    unit/service/motor_records_test.cpp
    unit/service/dump_test.cpp
    unit/service/plot_stash_files_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_service_gui LABEL gui
  SOURCES
    gui/service/jpeg_decoder_test.cpp
  LIBS grittor_gui)
