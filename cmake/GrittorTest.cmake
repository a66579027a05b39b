find_package(GTest REQUIRED)
include(GoogleTest)

# grittor_add_test(NAME <target> LABEL <unit|gui|e2e> SOURCES ... [LIBS ...] [TIMEOUT s] [WIDGETS])
# One GoogleTest binary; every test case becomes a CTest test carrying the
# label and the offscreen Qt platform; the test mains add the checkout's paths.  "gui" suites get
# a QApplication (so do suites marked WIDGETS), the others a QCoreApplication.
function(grittor_add_test)
  cmake_parse_arguments(T "WIDGETS" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(T_LABEL STREQUAL "gui" OR T_WIDGETS)
    set(main grittor_testmain_gui)
  else()
    set(main grittor_testmain_core)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${main} grittor_testsupport ${T_LIBS} GTest::gtest GTest::gmock)
  set_target_properties(${T_NAME} PROPERTIES ENABLE_EXPORTS ON)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES
      LABELS ${T_LABEL}
      TIMEOUT ${T_TIMEOUT}
      # One variable only: a list here would be split into property names.
      # The test mains set the checkout's paths (TestEnvironment.h).
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
