grittor_add_test(NAME test_geometry_unit LABEL unit
  SOURCES
    unit/geometry/polygon_test.cpp
    unit/geometry/hpgl_output_test.cpp
    unit/geometry/blow_test.cpp
    unit/geometry/plot_outlines_test.cpp
    unit/geometry/placement_test.cpp
  LIBS grittor_core)
grittor_add_test(NAME test_geometry_cli LABEL unit
  SOURCES
    unit/geometry/cli_test.cpp
  LIBS grittor_core)
add_dependencies(test_geometry_cli grittor-cli)
target_compile_definitions(test_geometry_cli PRIVATE GRITTOR_CLI_PATH="$<TARGET_FILE:grittor-cli>")
