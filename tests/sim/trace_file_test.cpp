// The trace file: every event written as it happens, and the file's faults, which
// never stop, hang or kill the program.
#include "sim_test_support.h"

#include "firmware_image.h"
#include "sim_environment.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace simtest;

namespace {

std::vector<std::string> ReadLines(const std::string &path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The child half of the test below, run in a process of its own that has a trace
// file; it dies without any chance to flush.
[[noreturn]] void TraceThenDie(const char *memoryCopy) {
    oxsim::KeepTrace();
    uint32_t count = 0;
    uintptr_t w = 0;
    OX9162_CardsInSystem(&count);
    OX9162_Open(0, 0);
    OX9162_BAR4_BaseAdr(0, &w, &count);
    Download(w, std::span(FirmwareImage).first(100));
    asm volatile("movw (%0), %%ax" : : "r"(w + CONF) : "memory", "rax");
    OX9162_Close(0);
    Rd(w, DIN);
    std::ofstream out(memoryCopy);
    for (const std::string &line : oxsim::Trace()) {
        out << line << '\n';
    }
    out.close();
    std::abort();
}

} // namespace

TEST(TraceFile, HoldsEveryEventAsItHappensEvenWhenTheProcessDies) {
    if (const char *memoryCopy = std::getenv("OX_TRACE_CHILD_COPY")) {
        TraceThenDie(memoryCopy);
    }
    const std::string path = testing::TempDir() + "sim_trace_" + std::to_string(getpid());
    const std::string copy = path + ".memory";
    std::ofstream(path) << "stale content\n";
    const SimEnvironment env(
        {"OX9162_SIM_TRACE=" + path, "OX_TRACE_CHILD_COPY=" + copy, "OX9162_SIM_CARDS=0123@7/1"});
    std::string program = "/proc/self/exe", filter = "--gtest_filter=TraceFile.*";
    char *argv[] = {program.data(), filter.data(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, env.data()), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;

    const std::vector<std::string> file = ReadLines(path), memory = ReadLines(copy);
    std::remove(path.c_str());
    std::remove(copy.c_str());
    ASSERT_EQ(file.size(), 3 + 3 + 2 * 100 + 2 + 1 + 1 + 1);
    EXPECT_EQ(file, memory);
    EXPECT_EQ(file[0], "call OX9162_CardsInSystem = 0 1");
    EXPECT_EQ(file[3], "W 0 3fc 01");
    EXPECT_EQ(file[file.size() - 3], "R 0 3fc ff20 (2)");
    EXPECT_EQ(file[file.size() - 2], "call OX9162_Close 0 = 0");
    EXPECT_EQ(file.back(), "R! 0 000 ff");
}

namespace {

// The library's one line on standard error while `action` runs.
template <class Action> std::string Complaint(Action action) {
    testing::internal::CaptureStderr();
    action();
    return testing::internal::GetCapturedStderr();
}

void Enumerate() {
    uint32_t count = 0;
    OX9162_CardsInSystem(&count);
}

} // namespace

TEST(TraceFileFaults, NeverStopHangOrKillTheProgram) {
    alarm(20); // a hang fails the test instead of holding the run
    ASSERT_TRUE(oxsim::KeepTrace(0));
    ASSERT_TRUE(oxsim::Configure("0123@2/13"));

    // A full disk: said once, with the file and the reason, and tracing stops.
    EXPECT_EQ(Complaint([] {
                  oxsim::TraceToFile("/dev/full");
                  Enumerate();
                  Enumerate();
              }),
              "libzovak_ox9162: cannot write trace file /dev/full: No space left on device; "
              "tracing stopped\n");

    // A FIFO that nobody reads: an error at once, not a wait for a reader.
    const std::string fifo = testing::TempDir() + "sim_trace_fifo_" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Complaint([&] { oxsim::TraceToFile(fifo); }),
              "libzovak_ox9162: cannot open trace file " + fifo +
                  ": a FIFO that no process reads; not tracing\n");

    // A reader that goes away: no SIGPIPE, neither delivered (it would kill this
    // process) nor left pending.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    oxsim::TraceToFile(fifo);
    Enumerate();
    char line[64] = {};
    EXPECT_EQ(read(reader, line, sizeof line - 1), 32);
    EXPECT_STREQ(line, "call OX9162_CardsInSystem = 0 1\n");
    close(reader);
    EXPECT_EQ(Complaint(Enumerate), "libzovak_ox9162: cannot write trace file " + fifo +
                                        ": its reader has gone; tracing stopped\n");
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    EXPECT_TRUE(oxsim::Trace().empty()) << "the file trace keeps nothing in memory";

    oxsim::TraceToFile("");
    std::remove(fifo.c_str());
    alarm(0);
}
