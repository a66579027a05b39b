add_executable(bench_open_plot ${CMAKE_CURRENT_SOURCE_DIR}/operation/open_plot_bench.cpp)
target_link_libraries(bench_open_plot PRIVATE grittor_gui)

# A 1 MB job through the window to grittor-sim at 38400 baud: line share,
# event-loop stalls, processor time while sending and while waiting.
add_executable(bench_job_send ${CMAKE_CURRENT_SOURCE_DIR}/operation/job_send_bench.cpp)
target_link_libraries(bench_job_send PRIVATE grittor_gui)
target_compile_definitions(bench_job_send PRIVATE GRITTOR_SHARED_PLOTS="${CMAKE_SOURCE_DIR}/../shared/plots")
add_dependencies(bench_job_send grittor-sim)

# The main window's timer tick and the load-key poll against grittor-sim.
add_executable(bench_load_key ${CMAKE_CURRENT_SOURCE_DIR}/operation/load_key_bench.cpp)
target_link_libraries(bench_load_key PRIVATE grittor_gui)
add_dependencies(bench_load_key grittor-sim)
