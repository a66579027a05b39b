grittor_add_test(NAME test_link_unit LABEL unit
  SOURCES
    unit/link/char_queue_test.cpp
    unit/link/serial_link_test.cpp
    unit/link/xmodem_test.cpp
    unit/link/link_hammer_test.cpp
    unit/link/job_wait_test.cpp
    unit/link/machine_ops_test.cpp
    unit/link/port_permission_test.cpp
    unit/link/machine_numbers_test.cpp
    unit/link/serial_device_list_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_link_sim LABEL unit
  SOURCES
    unit/link/sim_test.cpp
  LIBS grittor_sim_core)
grittor_add_test(NAME test_link_e2e LABEL e2e TIMEOUT 120
  SOURCES
    e2e/link/link_e2e_test.cpp
    e2e/link/sim_process_test.cpp
    e2e/link/cli_link_test.cpp
    e2e/link/cli_run_test.cpp
  LIBS grittor_core)
add_dependencies(test_link_e2e grittor-sim grittor-cli)
