find_package(GTest REQUIRED)
include(GoogleTest)

# grittor_add_test(NAME <target> LABEL <unit|gui|e2e> SOURCES ... [LIBS ...] [TIMEOUT s])
# One GoogleTest binary; every test case becomes a CTest test carrying the
# label, the offscreen Qt platform and the checkout's paths.  "gui" suites get
# a QApplication, the others a QCoreApplication.
function(grittor_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(T_LABEL STREQUAL "gui")
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
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;GRITTOR_SOURCE_DIR=${PROJECT_SOURCE_DIR};GRITTOR_BINARY_DIR=${PROJECT_BINARY_DIR};GRITTOR_LOG_DIR=${PROJECT_BINARY_DIR}/test-logs;ASAN_OPTIONS=detect_leaks=0:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1")
endfunction()
