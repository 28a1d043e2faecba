# Start-up of the window: the real program from process start until its window is
# mapped on a virtual X display, with its resident memory then; and the window's own
# creation and first show inside one process.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets Test)
ox_benchmark(window_bench window_bench.cpp)
target_link_libraries(window_bench PRIVATE ox_window oxsim_control Qt6::Test ox_virtual_display)
target_include_directories(window_bench PRIVATE "${PROJECT_SOURCE_DIR}/tests/common")
ox_test_paths(window_bench "OX_PROGRAM=$<TARGET_FILE:ox_krv5316>")
add_dependencies(window_bench ox_krv5316)
