# Resident memory over long runs: the window with a card open and over opens and
# closes, and krv5316-check on a slow card against a healthy one.
ox_benchmark(memory_bench memory_bench.cpp)
target_link_libraries(memory_bench PRIVATE ox_window oxsim_control Qt6::Test)
ox_test_paths(memory_bench "KRV5316_CHECK=$<TARGET_FILE:krv5316-check>")
add_dependencies(memory_bench krv5316-check)
target_include_directories(memory_bench PRIVATE "${PROJECT_SOURCE_DIR}/tests/common")
