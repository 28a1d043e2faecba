// krv5316-check's reports under stress: a failed write, a signal, texts that are no
// UTF-8, cards that share a position.
#include "check_program_fixture.h"
#include "check_report.h"
#include "sim_environment.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <utility>

namespace {

// Polls `done` every 20 ms; false if `seconds` pass first.
template <class Done> bool Within(int seconds, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
    }
    return true;
}

TEST_F(CheckProgram, AFailedReportWriteLeavesTheOldReportAsItWas) {
    const std::string old = "{\"the report of\": \"yesterday\"}\n";
    std::ofstream(jsonPath) << old;
    // A file size limit fails the write part way, as a full disk does.
    const ShellRun r = run("0123@2/13", "--json '" + jsonPath.string() + "'", "/dev/null",
                           "trap '' XFSZ; ulimit -f 2;");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write " + jsonPath.string() + ": File too large"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(FileText(jsonPath), old);
    for (const auto &entry : fs::directory_iterator(dir)) {
        EXPECT_TRUE(entry.path() == jsonPath || entry.path().filename() == "err")
            << "left behind: " << entry.path();
    }
}

// Reports that the folder or their owner forbid to replace are written where they stand,
// as they were before replacing came in; a pipe that nobody reads fails at once.
TEST_F(CheckProgram, AReportThatCannotBeReplacedIsWrittenWhereItStandsOrSaysWhy) {
    const std::string asAnother = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    struct Case {
        const char *what;
        const char *prepare; // run in the folder, which only root may write to
        bool asAnother;
        bool needsRoot;
        int status;
        std::string error;
        uid_t owner;
    };
    const Case cases[] = {
        {"a folder of another", "chown 65534 report.json", true, true, 0, "", 65534},
        {"a sticky folder", "chmod 1777 . && chmod 666 report.json", true, true, 0, "", 0},
        {"root replacing", "chown 65534:65534 report.json", false, true, 0, "", 65534},
        {"nothing writable", "", true, true, 2,
         "Permission denied (no new file can be made in " + dir.string() + ")", 0},
        {"a pipe", "rm report.json && mkfifo report.json", false, false, 2,
         "cannot write " + jsonPath.string() + ": nothing reads from that pipe", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && geteuid() != 0) {
            continue;
        }
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(jsonPath) << "{}\n";
        ASSERT_EQ(RunShell("cd '" + dir.string() + "' && true; " + c.prepare, dir).status, 0);
        const ShellRun r = run("0123@2/13", "--json '" + jsonPath.string() + "'", "/dev/null",
                               "timeout -s KILL 20 " + (c.asAnother ? asAnother : "") + "env");
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        if (c.status == 0) {
            EXPECT_EQ(jsonReport()["cards"].size(), 1u);
            struct stat status {};
            ASSERT_EQ(stat(jsonPath.c_str(), &status), 0);
            EXPECT_EQ(status.st_uid, c.owner);
        }
    }
}

// Ends a run in its count step with a signal, as an operator's Ctrl+C or a cancelled CI
// job does.
TEST_F(CheckProgram, ASignalClosesTheCardAndWritesReportsMarkedInterrupted) {
    const fs::path trace = dir / "trace";
    for (const auto &[signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(signal);
        fs::remove(trace);
        const SimEnvironment environment(
            {"OX9162_SIM_CARDS=0123@2/13", "OX9162_SIM_TRACE=" + trace.string()});
        std::string args[] = {KRV5316_CHECK,     "--run-time", "60000",           "--json",
                              jsonPath.string(), "--junit",    junitPath.string()};
        std::vector<char *> argv;
        for (std::string &arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, (dir / "out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&files, 2, (dir / "err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        pid_t pid = 0;
        ASSERT_EQ(
            posix_spawn(&pid, KRV5316_CHECK, &files, &attributes, argv.data(), environment.data()),
            0);
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);

        // The firmware's version read comes after the download, just before the count.
        Within(60, [&] { return FileText(trace).find("R 0 5fc") != std::string::npos; });
        kill(pid, signal);
        int raw = 0;
        if (!Within(20, [&] { return waitpid(pid, &raw, WNOHANG) != 0; })) {
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
            FAIL() << "no end within 20 s of the signal";
        }
        ASSERT_TRUE(WIFEXITED(raw)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(raw), status) << FileText(dir / "err");
        EXPECT_NE(FileText(trace).find("call OX9162_Close 0 = 0"), std::string::npos);

        const json report = jsonReport();
        EXPECT_EQ(report["error"]["kind"], "interrupted");
        EXPECT_EQ(report["cards"].at(0)["verdict"], "interrupted");
        EXPECT_EQ(StepOf(report["cards"][0], "close")["outcome"], "pass");
        const json root = junitReport();
        ExpectConsistentTotals(root);
        EXPECT_EQ(Attribute(root, "errors"), 1u);
    }
}

TEST_F(CheckProgram, TextsThatAreNoUtf8StillGiveReportsThatParse) {
    CheckRun run;
    run.host = "D\xCDLNA-1"; // a Czech host name in a Windows code page
    run.started = "2026-12-07T08:00:30Z";
    run.errorKind = "library";
    // A stray byte, a cut character, an overlong '/', a surrogate, beyond U+10FFFF, U+FFFF;
    // then the control characters that an attribute keeps only as references.
    run.error = "a\xFF b\xC3 c\xC0\xAF d\xED\xA0\x80 e\xF4\x90\x80\x80 f\xEF\xBF\xBF g\r\n\t";
    std::ofstream(jsonPath, std::ios::binary) << JsonReport(run);
    std::ofstream(junitPath, std::ios::binary) << JUnitReport(run);
    EXPECT_NO_THROW(jsonReport());
    const json suite = Children(junitReport(), "testsuite").at(0);
    EXPECT_EQ(suite["attrib"]["hostname"], "D\uFFFDLNA-1");
    const json error = Children(Children(suite, "testcase").at(0), "error").at(0);
    EXPECT_TRUE(error["attrib"]["message"].get<std::string>().ends_with(" g\r\n\t"));
}

TEST_F(CheckProgram, CardsAtOneBusAndSlotKeepReportNamesOfTheirOwn) {
    // Two PCI domains give two cards at 2/13; another position stays as it was.
    const ShellRun r = run("0123@2/13;0123@4/2;0123@2/13", reports());
    EXPECT_EQ(r.status, 0) << r.err;
    std::set<std::string> names;
    for (const json &suite : Children(junitReport(), "testsuite")) {
        names.insert(suite["attrib"]["name"].get<std::string>());
    }
    EXPECT_EQ(names.size(), 3u);
    EXPECT_TRUE(names.count("krv5316.card_4_2"));
    std::set<unsigned> numbers;
    for (const json report = jsonReport(); const json &card : report["cards"]) {
        numbers.insert(card["library_number"].get<unsigned>());
    }
    EXPECT_EQ(numbers, (std::set<unsigned>{0, 1, 2}));
}

} // namespace
