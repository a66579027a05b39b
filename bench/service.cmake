# The service windows at the line rate: a 65,536-word memory dump from
# grittor-sim, and a 4,499-pair motion test onto the chart.
add_executable(bench_service ${CMAKE_CURRENT_SOURCE_DIR}/service/service_bench.cpp)
target_link_libraries(bench_service PRIVATE grittor_gui)
add_dependencies(bench_service grittor-sim)
# The machine panels at 38400 baud: LoadPanel, a jog click, an idle link.
add_executable(bench_panels ${CMAKE_CURRENT_SOURCE_DIR}/service/panels_bench.cpp)
target_link_libraries(bench_panels PRIVATE grittor_gui)
add_dependencies(bench_panels grittor-sim)
