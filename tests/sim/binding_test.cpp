// The programs bind every driver function at start: with a library that lacks one,
// they stop at once with the loader's message naming it.
#include "test_paths.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

TEST(Binding, ProgramsRefuseALibraryMissingAFunction) {
    const std::string errors = testing::TempDir() + "binding_" + std::to_string(getpid());
    for (const char *name : {"CHECK_PROGRAM", "WINDOW_PROGRAM"}) {
        const char *const found = FindTestPath(name);
        if (found == nullptr) {
            continue; // a build without the window
        }
        const std::string program = found;
        SCOPED_TRACE(program);
        // With lazy binding the window would start and wait for its operator.
        const int raw =
            std::system((std::string("LD_LIBRARY_PATH='") + TestPath("PARTIAL_DRIVER_DIR") +
                         "' QT_QPA_PLATFORM=offscreen timeout -s KILL 10 '" + program +
                         "' </dev/null >/dev/null 2>'" + errors + "'")
                            .c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 127) << "status " << raw;
        std::ifstream in(errors);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        EXPECT_NE(text.find("undefined symbol: OX9162_Open"), std::string::npos) << text;
    }
    std::remove(errors.c_str());
}
