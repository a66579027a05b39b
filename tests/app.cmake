grittor_add_test(NAME test_app_e2e LABEL e2e TIMEOUT 120
  SOURCES
    e2e/app/install_test.cpp
  LIBS grittor_core)
target_compile_definitions(test_app_e2e PRIVATE
  GRITTOR_CMAKE_COMMAND="${CMAKE_COMMAND}"
  GRITTOR_INSTALL_PREFIX="${CMAKE_INSTALL_PREFIX}")
add_dependencies(test_app_e2e grittor grittor-cli grittor-sim grittor_man)
