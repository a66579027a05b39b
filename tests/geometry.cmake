grittor_add_test(NAME test_geometry_unit LABEL unit
  SOURCES
    unit/geometry/polygon_test.cpp
    unit/geometry/hpgl_output_test.cpp
    unit/geometry/blow_test.cpp
  LIBS grittor_core)
