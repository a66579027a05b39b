# Machine link: a 1 MB job streamed to grittor-sim at 38400 baud, and the
# round trip of a position query.  Needs grittor-sim beside the benchmark's
# folder (the build does that).
add_executable(bench_link link_bench.cpp)
target_link_libraries(bench_link PRIVATE grittor_core benchmark::benchmark)
add_dependencies(bench_link grittor-sim)
