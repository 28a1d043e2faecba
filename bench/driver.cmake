# The driver library for real cards on a fake sysfs tree: enumeration and taking a card.
ox_benchmark(driver_bench driver_bench.cpp)
target_link_libraries(driver_bench PRIVATE ox9162_pci fake_sysfs)
