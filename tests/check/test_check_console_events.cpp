// krv5316-check ended from its console as an operator ends it on Windows: Ctrl+C,
// Ctrl+Break, closing the console. Linux's signals are in test_check_reports.cpp.
#include "check_program_fixture.h"

#include <windows.h>

namespace {

// The test outlives the Ctrl+C that it sends to its own console.
BOOL WINAPI KeepRunning(DWORD event) {
    return event == CTRL_C_EVENT;
}

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Sends `event` to the check in its count step, on a console that the test shares with
// it: to every process there for Ctrl+C, which a process group of its own ignores, and
// to the check's group alone for Ctrl+Break. The check must close the card, write both
// reports marked interrupted and exit with `status`.
void ExpectInterrupted(CheckProgram &test, DWORD event, int status) {
    // ctest gives the test no console; a new one takes the events.
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << "error " << GetLastError();
    SetConsoleCtrlHandler(KeepRunning, TRUE);
    const fs::path trace = test.dir / "trace";
    StartedProcess check(
        {.program = TestPath("KRV5316_CHECK"),
         .arguments = test.withReports({"--run-time", "60000"}),
         .environment = {"OX9162_SIM_CARDS=0123@2/13", "OX9162_SIM_TRACE=" + trace.string()},
         .dir = test.dir,
         .newProcessGroup = event != CTRL_C_EVENT});
    ASSERT_TRUE(check.started());
    // The firmware's version read comes after the download, just before the count.
    Within(60, [&] { return FileText(trace).find("R 0 5fc") != std::string::npos; });
    const bool sent =
        GenerateConsoleCtrlEvent(event, event == CTRL_C_EVENT ? 0 : check.id()) != FALSE;
    const DWORD error = GetLastError();
    if (!sent && UnderWine()) {
        GTEST_SKIP() << "Wine's server passes Ctrl+C alone to a process group and answers any "
                        "other event NOT_IMPLEMENTED (GenerateConsoleCtrlEvent: error "
                     << error << ")";
    }
    ASSERT_TRUE(sent) << "error " << error;
    EXPECT_EQ(check.wait(20), status) << OutputText(test.dir / "err");
    SetConsoleCtrlHandler(KeepRunning, FALSE);
    EXPECT_NE(FileText(trace).find("call OX9162_Close 0 = 0"), std::string::npos);

    const json report = test.jsonReport();
    EXPECT_EQ(report["error"]["kind"], "interrupted");
    EXPECT_EQ(report["cards"].at(0)["verdict"], "interrupted");
    EXPECT_EQ(StepOf(report["cards"][0], "count")["outcome"], "interrupted");
    EXPECT_EQ(StepOf(report["cards"][0], "close")["outcome"], "pass");
    const json root = test.junitReport();
    ExpectConsistentTotals(root);
    EXPECT_EQ(Attribute(root, "errors"), 1u);
}

// The statuses of the check's --help.
TEST_F(CheckProgram, CtrlCClosesTheCardAndWritesReportsMarkedInterrupted) {
    ExpectInterrupted(*this, CTRL_C_EVENT, 130);
}

TEST_F(CheckProgram, CtrlBreakClosesTheCardAndWritesReportsMarkedInterrupted) {
    ExpectInterrupted(*this, CTRL_BREAK_EVENT, 149);
}

TEST_F(CheckProgram, ClosingTheConsoleClosesTheCardAndWritesReportsMarkedInterrupted) {
    // Windows sends CTRL_CLOSE_EVENT (143) to the processes of a console whose window is
    // closed; no program's call can send it.
    GTEST_SKIP() << "Wine's console, its window closed, ends its processes without "
                    "CTRL_CLOSE_EVENT: their handlers never run; checked on Windows by hand";
}

} // namespace
