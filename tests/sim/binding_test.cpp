// The programs bind every driver function at start: with a library that lacks one,
// they stop at once with the loader's message naming it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Outcome {
    int status = -1; // from waitpid; -1 when it was still running and had to be killed
    std::string errors;
};

// Runs the program with the partial library first on the library path, for at most
// ten seconds; with lazy binding the window would start and wait for its operator.
Outcome RunWithPartialLibrary(const std::string &program) {
    const std::string errors = testing::TempDir() + "binding_" + std::to_string(getpid());
    std::vector<std::string> variables = {"LD_LIBRARY_PATH=" PARTIAL_DRIVER_DIR,
                                          "QT_QPA_PLATFORM=offscreen"};
    std::vector<char *> env;
    for (std::string &v : variables)
        env.push_back(v.data());
    for (char **e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).find("LD_LIBRARY_PATH=") != 0 &&
            std::string_view(*e).find("QT_QPA_PLATFORM=") != 0)
            env.push_back(*e);
    }
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string name = program;
    char *argv[] = {name.data(), nullptr};
    pid_t child = 0;
    Outcome outcome;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return outcome;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    outcome.status = status;
    std::ifstream in(errors);
    outcome.errors.assign(std::istreambuf_iterator<char>(in), {});
    std::remove(errors.c_str());
    return outcome;
}

} // namespace

TEST(Binding, ProgramsRefuseALibraryMissingAFunction) {
    for (const std::string program : {PROGRAMS}) {
        SCOPED_TRACE(program);
        const Outcome outcome = RunWithPartialLibrary(program);
        EXPECT_TRUE(WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 127)
            << "status " << outcome.status;
        EXPECT_NE(outcome.errors.find("undefined symbol: OX9162_Open"), std::string::npos)
            << outcome.errors;
    }
}
