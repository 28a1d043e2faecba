# The stand-in library's window trap: trapped access cost against a bare signal
# round trip, and a whole emulated firmware download.
ox_benchmark(sim_bench sim_bench.cpp)
target_link_libraries(sim_bench PRIVATE oxsim_control firmware_image)
