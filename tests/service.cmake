grittor_add_test(NAME test_service_unit LABEL unit
  SOURCES
    unit/service/tuning_tables_test.cpp
    unit/service/capture_test.cpp
    unit/service/motor_records_test.cpp
    unit/service/dump_test.cpp
    unit/service/plot_stash_files_test.cpp
    unit/service/settings_apply_test.cpp
    unit/service/jog_test.cpp
  LIBS grittor_gui)
grittor_add_test(NAME test_service_gui LABEL gui
  SOURCES
    gui/service/jpeg_decoder_test.cpp
    gui/service/engineering_form_test.cpp
    gui/service/memory_form_test.cpp
    gui/service/read_and_display_test.cpp
    gui/service/job_dialogs_keyboard_test.cpp
    gui/service/main_menu_test.cpp
    gui/service/joystick_test.cpp
    gui/service/serial_devices_test.cpp
  LIBS grittor_gui Qt6::Test)
grittor_add_test(NAME test_service_e2e LABEL e2e WIDGETS TIMEOUT 180
  SOURCES
    e2e/service/service_e2e_test.cpp
    e2e/service/panels_e2e_test.cpp
  LIBS grittor_gui grittor_sim_core Qt6::Test)
add_dependencies(test_service_e2e grittor-sim)
