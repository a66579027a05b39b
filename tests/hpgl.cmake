grittor_add_test(NAME test_hpgl_unit LABEL unit
  SOURCES
    unit/hpgl/reader_test.cpp
    unit/hpgl/instructions_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_hpgl_robustness LABEL unit
  SOURCES
    unit/hpgl/robustness_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_hpgl_render LABEL unit
  SOURCES
    unit/hpgl/render_test.cpp
    unit/hpgl/run_deflate_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_hpgl_gui LABEL gui
  SOURCES
    unit/hpgl/canvas_cli_test.cpp
  LIBS grittor_gui)
add_dependencies(test_hpgl_gui grittor-cli)
# The command under test, wherever the tree puts it.
target_compile_definitions(test_hpgl_gui PRIVATE GRITTOR_CLI_PATH="$<TARGET_FILE:grittor-cli>"
                           GRITTOR_CLI_FULL_PATH="$<TARGET_FILE:grittor-cli-full>")
grittor_add_test(NAME test_hpgl_mixed LABEL unit TIMEOUT 120
  SOURCES
    unit/hpgl/mixed_plot_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_hpgl_faults LABEL unit
  SOURCES
    unit/hpgl/reader_faults_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_hpgl_cli LABEL unit
  SOURCES
    unit/hpgl/reader_cli_test.cpp
  LIBS grittor_core)
add_dependencies(test_hpgl_cli grittor-cli)
target_compile_definitions(test_hpgl_cli PRIVATE GRITTOR_CLI_PATH="$<TARGET_FILE:grittor-cli>")
grittor_add_test(NAME test_hpgl_split_render LABEL unit
  SOURCES
    unit/hpgl/split_render_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_hpgl_scan_behind LABEL unit
  SOURCES
    unit/hpgl/scan_behind_test.cpp
  LIBS grittor_core)
