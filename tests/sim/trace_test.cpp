// The access trace: the line forms, in memory and in the trace file.
#include "sim_test_support.h"

#include "firmware_image.h"
#include "library_throws.h"

#include <cstdio>
#include <fstream>
#ifndef _WIN32
#include "sim_environment.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace simtest;

namespace {

[[maybe_unused]] constexpr const char *kPosixOnly =
    "the trace file's tests are POSIX: a child that aborts, /dev/full, a FIFO, SIGPIPE";

std::string Hex(uintptr_t address) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(address));
    return text;
}

#ifndef _WIN32
std::vector<std::string> ReadLines(const std::string &path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}
#endif

} // namespace

TEST_F(SimTest, CallLinesGiveArgumentsStatusAndOutValues) {
    ASSERT_TRUE(oxsim::Configure("0123@2/13;0456@3/5:nobus"));
    uint32_t value = 0, second = 7;
    uintptr_t address = 0;
    OX9162_CardsInSystem(&value);
    OX9162_Card_DID(0, &value);
    OX9162_Card_BUS(0, &value);
    OX9162_Card_SLOT(0, &value);
    OX9162_Card_BUS(1, &value);
    OX9162_Open(0, 0);
    OX9162_BAR4_BaseAdr(0, &address, &second);
    OX9162_Close(0);
    OX9162_Close(0);
    OX9162_Open(9, 0);
    const std::vector<std::string> expected = {
        "call OX9162_CardsInSystem = 0 2",
        "call OX9162_Card_DID 0 = 0 291",
        "call OX9162_Card_BUS 0 = 0 2",
        "call OX9162_Card_SLOT 0 = 0 13",
        "call OX9162_Card_BUS 1 = 1",
        "call OX9162_Open 0 0 = 0",
        "call OX9162_BAR4_BaseAdr 0 = 0 " + Hex(address) + " 0",
        "call OX9162_Close 0 = 0",
        "call OX9162_Close 0 = 1",
        "call OX9162_Open 9 0 = 1",
    };
    EXPECT_EQ(oxsim::Trace(), expected);
    EXPECT_EQ(oxsim::TraceSize(), expected.size());
    oxsim::ClearTrace();
    EXPECT_EQ(oxsim::TraceSize(), 0u);
    EXPECT_TRUE(oxsim::Trace().empty());
}

TEST_F(SimTest, EnumerationFailuresAreTraced) {
    uint32_t count = 0;
    ASSERT_TRUE(oxsim::Configure("fail"));
    OX9162_CardsInSystem(&count);
    EXPECT_EQ(oxsim::Trace(), std::vector<std::string>{"call OX9162_CardsInSystem = 1"});
    OX_SKIP_IF_THROW_CANNOT_CROSS();
    ASSERT_TRUE(oxsim::Configure("throw"));
    EXPECT_ANY_THROW(OX9162_CardsInSystem(&count));
    EXPECT_EQ(oxsim::Trace(), std::vector<std::string>{"call OX9162_CardsInSystem = throw"});
}

TEST_F(SimTest, RegisterLinesOfACounterRead) {
    const uintptr_t w = OpenWindow(2);
    ASSERT_EQ(Download(w, FirmwareImage) & 0x10, 0x10);
    oxsim::SetCounter(2, 5, 0x0A0B0C0D);
    oxsim::ClearTrace();
    Wr(w, SEL, 5);
    for (uint32_t offset : {DATA3, DATA2, DATA1, DATA0}) {
        Rd(w, offset);
    }
    Wr(w, DOUT, 0xE0);
    const std::vector<std::string> expected = {"W 2 420 05", "R 2 40c 0a", "R 2 408 0b",
                                               "R 2 404 0c", "R 2 400 0d", "W 2 004 e0"};
    EXPECT_EQ(oxsim::Trace(), expected);
}

#ifndef _WIN32
namespace {

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
#else
TEST(TraceFile, HoldsEveryEventAsItHappensEvenWhenTheProcessDies) {
    GTEST_SKIP() << kPosixOnly;
}
#endif

TEST(TraceRing, KeepsNothingUnlessAskedAndThenOnlyTheLatestEvents) {
    ASSERT_TRUE(oxsim::KeepTrace(0));
    ASSERT_TRUE(oxsim::Configure("0123@2/13"));
    uint32_t value = 0;
    uintptr_t w = 0;
    OX9162_Open(0, 0);
    OX9162_BAR4_BaseAdr(0, &w, &value);
    Wr(w, SEL, 0);
    EXPECT_TRUE(oxsim::Trace().empty());
    EXPECT_EQ(oxsim::TraceSize() + oxsim::TraceDropped(), 0u);

    ASSERT_TRUE(oxsim::KeepTrace(4));
    Wr(w, SEL, 1);
    OX9162_Card_DID(0, &value);
    Wr(w, SEL, 2);
    Wr(w, SEL, 3);
    OX9162_Card_BUS(0, &value);
    Wr(w, SEL, 4);
    OX9162_Card_SLOT(0, &value);
    const std::vector<std::string> expected = {"trace ring: 3 earlier events dropped", "W 0 420 03",
                                               "call OX9162_Card_BUS 0 = 0 2", "W 0 420 04",
                                               "call OX9162_Card_SLOT 0 = 0 13"};
    EXPECT_EQ(oxsim::Trace(), expected);
    EXPECT_EQ(oxsim::TraceSize(), 4u);
    EXPECT_EQ(oxsim::TraceDropped(), 3u);

    // The ring's size holds across a new configuration, which clears it.
    ASSERT_TRUE(oxsim::Configure("0123@2/13"));
    EXPECT_TRUE(oxsim::Trace().empty());
    for (int i = 0; i < 6; ++i) {
        OX9162_Card_DID(0, &value);
    }
    EXPECT_EQ(oxsim::TraceSize(), 4u);
    EXPECT_EQ(oxsim::TraceDropped(), 2u);
    EXPECT_EQ(oxsim::Trace().back(), "call OX9162_Card_DID 0 = 0 291");
    ASSERT_TRUE(oxsim::KeepTrace(0));
}

#ifndef _WIN32
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
#else
TEST(TraceFileFaults, NeverStopHangOrKillTheProgram) {
    GTEST_SKIP() << kPosixOnly;
}
#endif
