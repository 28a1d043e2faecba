# Card access on the stand-in library: a whole firmware download and one refresh.
ox_benchmark(cardaccess_bench cardaccess_bench.cpp)
target_link_libraries(cardaccess_bench PRIVATE cardaccess oxsim_control)
