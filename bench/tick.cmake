# One refresh tick of the window with a simulated card open, and the CPU share of the
# running window over a stretch of real time.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets Test)
ox_benchmark(tick_bench tick_bench.cpp)
target_link_libraries(tick_bench PRIVATE ox_window oxsim_control Qt6::Test)
