# Blast geometry: job text, run ordering and path emission.
add_executable(bench_geometry geometry/geometry_bench.cpp)
target_link_libraries(bench_geometry PRIVATE grittor_core benchmark::benchmark)
