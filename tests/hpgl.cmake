grittor_add_test(NAME test_hpgl_unit LABEL unit
  SOURCES
    unit/hpgl/reader_test.cpp
    unit/hpgl/instructions_test.cpp
  LIBS grittor_core)
