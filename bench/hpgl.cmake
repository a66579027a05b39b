add_executable(bench_hpgl ${CMAKE_CURRENT_SOURCE_DIR}/hpgl_bench.cpp)
target_link_libraries(bench_hpgl PRIVATE grittor_gui benchmark::benchmark)
target_compile_definitions(bench_hpgl PRIVATE GRITTOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
