# Objects name the build folder as ".", so that the same object is right in any clone
# and the compiler's cache, shared by the clones on a machine, serves a fresh one: with
# the map, ccache hashes the mapped folder instead of the working folder. Paths below the
# checkout reach the compiler relative to the build folder already (ccache's base_dir,
# scripts/settings.sh); debuggers resolve them against it. Included after project() by
# the main build, and by scripts/fuzz.sh through CMAKE_PROJECT_INCLUDE.
add_compile_options("-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
