// krv5316-check's reports under stress: a failed write, a signal, texts that are no
// UTF-8, cards that share a position.
#include "check_program_fixture.h"
#include "check_report.h"
#include "shell_run.h"
#include "sim_environment.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sched.h>
#include <set>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <utility>

namespace {

// The check on one card with its JSON report, through the shell after `prefix` (a limit,
// another user), its output dropped.
ShellRun RunCheckInShell(const CheckProgram &test, const std::string &prefix) {
    return RunShell(prefix + " OX9162_SIM_CARDS=0123@2/13 '" + TestPath("KRV5316_CHECK") +
                        "' --run-time 300 --json '" + test.jsonPath.string() + "'",
                    test.dir, "/dev/null");
}

// The report that stands in until the run writes its own is all a failed write leaves:
// never half a report, never the earlier verdict.
TEST_F(CheckProgram, AFailedReportWriteLeavesNoHalfReportAndNoEarlierVerdict) {
    std::ofstream(jsonPath) << "{\"verdict\": \"pass\"}\n";
    // A file size limit fails the write part way, as a full disk does.
    const ShellRun r = RunCheckInShell(*this, "ulimit -f 2;");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write " + jsonPath.string() + ": File too large"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(jsonReport()["verdict"], "unfinished");
    for (const auto &entry : fs::directory_iterator(dir)) {
        EXPECT_TRUE(entry.path() == jsonPath || entry.path().filename() == "err")
            << "left behind: " << entry.path();
    }
}

// A report goes only where the shell's `>` could write it: what the folder or the owner
// forbids to replace is written where it stands, what the user may not write or the
// kernel will not follow to is refused and kept as it was; a pipe nobody reads fails.
TEST_F(CheckProgram, AReportGoesOnlyWhereTheShellCouldWriteItOrSaysWhy) {
    const std::string asAnother = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    // Debian's default, which keeps the users of a sticky folder from each other's links.
    const char *const protectedLinks = "/proc/sys/fs/protected_symlinks";
    const std::string linkRule = FileText(protectedLinks);
    std::ofstream(protectedLinks) << "1";
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
        {"nothing writable", "", true, true, 2, "Permission denied", 0},
        {"read-only in their folder", "chown -R 65534 . && chmod 444 report.json", true, true, 2,
         "Permission denied", 0},
        {"root's in their folder", "chown 65534 .", true, true, 2, "Permission denied", 0},
        {"another's link in a sticky folder",
         "chmod 1777 . && mv report.json root.json && ln -s root.json report.json && "
         "chown -h 65534 report.json",
         false, true, 2, "Permission denied", 0},
        {"a pipe", "rm report.json && mkfifo report.json", false, false, 2,
         "cannot write " + jsonPath.string() + ": nothing reads from that pipe", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && (geteuid() != 0 || FileText(protectedLinks) != "1\n")) {
            continue;
        }
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(jsonPath) << "{}\n";
        ASSERT_EQ(RunShell("cd '" + dir.string() + "' && true; " + c.prepare, dir).status, 0);
        const ShellRun r =
            RunCheckInShell(*this, "timeout -s KILL 20 " + (c.asAnother ? asAnother : "") + "env");
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        if (c.status == 0) {
            EXPECT_EQ(jsonReport()["cards"].size(), 1u);
            struct stat status {};
            ASSERT_EQ(stat(jsonPath.c_str(), &status), 0);
            EXPECT_EQ(status.st_uid, c.owner);
        }
        for (const auto &entry : fs::directory_iterator(dir)) {
            EXPECT_TRUE(c.status == 0 || entry.path().extension() != ".json" ||
                        !fs::is_regular_file(entry.symlink_status()) ||
                        FileText(entry.path()) == "{}\n")
                << "changed: " << entry.path();
        }
    }
    std::ofstream(protectedLinks) << linkRule;
}

// What is no file to replace takes a report as a stream where it stands: standard output
// appended to a file, a pipe, null devices. A reader that goes away, a socket or a link
// loop is an error, and the other reports are still written. A report written in place
// is not cut by a full disk.
TEST_F(CheckProgram, StreamsTakeAReportWhereTheyStandAndLostOnesSayWhy) {
    const std::string check = "OX9162_SIM_CARDS=0123@2/13 '" +
                              std::string(TestPath("KRV5316_CHECK")) + "' --run-time 300 ";
    std::vector<std::vector<std::string>> cases = {
        {"echo earlier >h.log; " + check + "--json /dev/stdout >>h.log; echo $?; cat h.log",
         "0\nearlier\nKRV-5316 check", "Summary: 1 card", "\"schema\": 1"},
        {"{ " + check + "--json /dev/stdout; echo status $?; } | cat", "\"schema\": 1", "status 0"},
        {check + "--json /dev/null --junit /dev/null; echo status $?", "status 0"},
        // Standard error's own file is appended to through standard error, as output's is.
        {"echo earlier >e.log; " + check + "--json /dev/stderr 2>>e.log >/dev/null; cat e.log",
         "earlier\n{"},
        // Started without standard output: the report is lost, said so, and no file that
        // the check opens takes the descriptor's place.
        {"OX9162_SIM_TRACE=t " + check + ">&-; echo status $?; grep -c KRV-5316 t",
         "cannot write to standard output: Bad file descriptor", "status 2\n0"},
        {"{ " + check +
             "--json r.json --junit r.xml 2>e; echo status $? >s; } | true; cat s e; "
             "head -c1 r.json r.xml",
         "status 2", "standard output: Broken pipe", "\n{", "\n<"},
        {std::string(TestPath("PYTHON3")) +
             " -c \"import socket; socket.socket(socket.AF_UNIX).bind('s')\"; " + check +
             "--json s; echo status $?",
         "cannot write s: that is a socket", "status 2"},
        {"ln -s loop loop; " + check + "--json loop; echo status $?",
         "cannot write loop: Too many levels of symbolic links", "status 2"},
    };
    if (geteuid() == 0) { // a report of the user's in a folder of root's, and no room left
        cases.push_back(
            {"mkdir d && mount -t tmpfs -o size=64k,mode=755 tmpfs d && echo '{}' "
             ">d/r.json && chown 65534 d/r.json && { head -c 1M /dev/zero >d/fill; "
             "true; } 2>/dev/null; setpriv --reuid=65534 --regid=65534 --clear-groups env " +
                 check + "--json d/r.json >/dev/null; echo status $?; cat d/r.json; umount d",
             "No space left on device", "status 2\n{", "\"verdict\": \"unfinished\""});
    }
    for (const std::vector<std::string> &c : cases) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        const ShellRun r = RunShell("cd '" + dir.string() + "' && (" + c[0] + ")", dir);
        for (std::size_t k = 1; k < c.size(); ++k) {
            EXPECT_NE((r.out + r.err).find(c[k]), std::string::npos) << c[0] << ":\n" << r.err;
        }
    }
}

// Starts the check with its output and errors in files of dir; SIGINT and SIGTERM at
// their defaults, whatever the test runner has.
pid_t StartCheck(std::vector<std::string> args, const SimEnvironment &environment,
                 const fs::path &dir) {
    args.insert(args.begin(), TestPath("KRV5316_CHECK"));
    std::vector<char *> argv;
    for (std::string &arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, (dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&files, 2, (dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, TestPath("KRV5316_CHECK"), &files, &attributes, argv.data(),
                          environment.data()),
              0);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// Waits at most 20 s for pid's end, then kills it; whether it ended by itself.
bool Ended(pid_t pid, int &raw) {
    if (Within(20, [&] { return waitpid(pid, &raw, WNOHANG) != 0; })) {
        return true;
    }
    kill(pid, SIGKILL);
    waitpid(pid, &raw, 0);
    return false;
}

// Ends a run in its count step with a signal, as an operator's Ctrl+C or a cancelled CI
// job does.
TEST_F(CheckProgram, ASignalClosesTheCardAndWritesReportsMarkedInterrupted) {
    const fs::path trace = dir / "trace";
    for (const auto &[signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143},
                                         std::pair{SIGHUP, 129}, std::pair{SIGQUIT, 131}}) {
        SCOPED_TRACE(signal);
        fs::remove(trace);
        const SimEnvironment environment(
            {"OX9162_SIM_CARDS=0123@2/13", "OX9162_SIM_TRACE=" + trace.string()});
        const pid_t pid = StartCheck(
            {"--run-time", "60000", "--json", jsonPath.string(), "--junit", junitPath.string()},
            environment, dir);

        // The firmware's version read comes after the download, just before the count.
        Within(60, [&] { return FileText(trace).find("R 0 5fc") != std::string::npos; });
        kill(pid, signal);
        int raw = 0;
        ASSERT_TRUE(Ended(pid, raw)) << "no end within 20 s of the signal";
        ASSERT_TRUE(WIFEXITED(raw)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(raw), status) << FileText(dir / "err");
        EXPECT_NE(FileText(trace).find("call OX9162_Close 0 = 0"), std::string::npos);

        const json report = jsonReport();
        EXPECT_EQ(report["error"]["kind"], "interrupted");
        EXPECT_EQ(report["cards"].at(0)["verdict"], "interrupted");
        EXPECT_EQ(StepOf(report["cards"][0], "count")["outcome"], "interrupted");
        EXPECT_EQ(StepOf(report["cards"][0], "close")["outcome"], "pass");
        const json root = junitReport();
        ExpectConsistentTotals(root);
        EXPECT_EQ(Attribute(root, "errors"), 1u);
    }
}

// What nothing can catch (SIGKILL, a power cut) leaves the report that says the run has
// not finished, never the verdict of the run before.
TEST_F(CheckProgram, AKilledRunLeavesNoEarlierVerdict) {
    EXPECT_EQ(run("0123@2/13", reports()).status, 0);
    EXPECT_EQ(jsonReport()["verdict"], "pass");
    const fs::path trace = dir / "trace";
    const SimEnvironment environment(
        {"OX9162_SIM_CARDS=0123@2/13:deadcnt=20", "OX9162_SIM_TRACE=" + trace.string()});
    const pid_t pid = StartCheck(
        {"--run-time", "60000", "--json", jsonPath.string(), "--junit", junitPath.string()},
        environment, dir);
    Within(60, [&] { return FileText(trace).find("R 0 5fc") != std::string::npos; });
    kill(pid, SIGKILL);
    int raw = 0;
    ASSERT_TRUE(Ended(pid, raw));
    EXPECT_EQ(jsonReport()["verdict"], "unfinished");
    EXPECT_EQ(Attribute(junitReport(), "errors"), 1u);
}

// A report whose name cannot take it is known before any card is touched, and named in
// a message that outside characters cannot split or turn into terminal commands.
TEST_F(CheckProgram, AReportThatCannotBeWrittenIsRefusedBeforeTheCards) {
    const fs::path trace = dir / "trace";
    const ProcessRun r =
        run("0123@2/13", {"--junit", junitPath.string(), "--json", "nodir/a\nb\x1b[2J"},
            {"OX9162_SIM_TRACE=" + trace.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write nodir/a\\nb\\x1b[2J: No such file"), std::string::npos)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(FileText(trace).find("call "), std::string::npos) << "no card touched";
    const json root = junitReport();
    EXPECT_EQ(Children(Children(Children(root, "testsuite").at(0), "testcase").at(0), "error")
                  .at(0)["attrib"]["type"],
              "krv5316.report");
}

// A report replaced keeps what the file had: its second name, its extended attributes
// (an ACL is one), the mount it stands on; a folder deeper than any full name still
// takes a new one.
TEST_F(CheckProgram, AReportKeepsWhatItsFileHad) {
    const std::string check = "OX9162_SIM_CARDS=0123@2/13 '" +
                              std::string(TestPath("KRV5316_CHECK")) + "' --run-time 300 ";
    const std::string xattr = std::string(TestPath("PYTHON3")) + " -c \"import os; ";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"echo old >a; ln a r.json; " + check + "--json r.json >/dev/null; head -c1 a", "{"},
        {"echo old >r.json; " + xattr + "os.setxattr('r.json', 'user.kept', b'yes')\" && " + check +
             "--json r.json >/dev/null; " + xattr + "print(os.getxattr('r.json', 'user.kept'))\"",
         "b'yes'"},
        {"deep=$(printf 'd%.0s' $(seq 200)); for k in $(seq 25); do mkdir $deep; cd $deep; "
         "done; " +
             check + "--json new.json >/dev/null; echo status $?; head -c1 new.json",
         "status 0\n{"},
    };
    if (geteuid() == 0) { // as a container's bind mount puts a host's file
        cases.push_back({"echo old >host.json; echo old >r.json; mount --bind host.json r.json "
                         "&& " +
                             check +
                             "--json r.json >/dev/null; echo status $?; umount "
                             "r.json; head -c1 host.json",
                         "status 0\n{"});
    }
    for (const auto &[script, expected] : cases) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        const ShellRun r = RunShell("cd '" + dir.string() + "' && (" + script + ")", dir);
        EXPECT_NE(r.out.find(expected), std::string::npos) << script << ":\n" << r.out << r.err;
    }
}

// A second signal the moment a new name appears in the report's folder: the check then
// runs at the lowest priority on this test's CPU, so the test runs, and signals, first.
TEST_F(CheckProgram, ASecondSignalWhileAReportIsWrittenLeavesNoTemporaryFile) {
    const fs::path trace = dir / "trace";
    const SimEnvironment environment(
        {"OX9162_SIM_CARDS=0123@2/13", "OX9162_SIM_TRACE=" + trace.string()});
    std::ofstream(jsonPath) << "{}\n"; // the one name then made is a temporary one
    const pid_t pid =
        StartCheck({"--run-time", "60000", "--json", jsonPath.string()}, environment, dir);
    Within(60, [&] { return FileText(trace).find("R 0 5fc") != std::string::npos; });
    pollfd created{inotify_init1(IN_CLOEXEC), POLLIN, 0};
    inotify_add_watch(created.fd, dir.c_str(), IN_CREATE);
    cpu_set_t before, one;
    sched_getaffinity(0, sizeof before, &before);
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    const sched_param idle{};
    for (const pid_t each : {0, pid}) {
        sched_setaffinity(each, sizeof one, &one);
    }
    sched_setscheduler(pid, SCHED_IDLE, &idle);
    kill(pid, SIGINT);
    poll(&created, 1, 20000);
    kill(pid, SIGTERM);
    int raw = 0;
    EXPECT_TRUE(Ended(pid, raw));
    sched_setaffinity(0, sizeof before, &before);
    close(created.fd);
    for (const auto &entry : fs::directory_iterator(dir)) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << "left behind: " << entry.path();
    }
    EXPECT_EQ(jsonReport()["cards"].size(), 1u) << "the report in hand is finished first";
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
    const ProcessRun r = run("0123@2/13;0123@4/2;0123@2/13", reports());
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
