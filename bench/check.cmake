# krv5316-check's cards side by side and its burn-in, in process on the stand-in.
ox_benchmark(check_bench check_bench.cpp)
target_link_libraries(check_bench PRIVATE krv5316check oxsim_control)
