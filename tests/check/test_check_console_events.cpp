// krv5316-check ended from its console as an operator ends it on Windows: Ctrl+C,
// Ctrl+Break, closing the console. Linux's signals are in test_check_reports.cpp.
#include "check_program_fixture.h"

#include <cstdint>
#include <windows.h>

namespace {

// The test outlives the Ctrl+C that it sends to its own console.
BOOL WINAPI KeepRunning(DWORD event) {
    return event == CTRL_C_EVENT;
}

// Delivers a console control event to one process as the console does: a thread of
// the process at the system's CtrlRoutine, which runs the process's handlers. Wine's
// console answers GenerateConsoleCtrlEvent for Ctrl+Break NOT_IMPLEMENTED and sends no
// CTRL_CLOSE_EVENT when its window closes, so the tests take this route for both.
bool DeliverConsoleEvent(DWORD process, DWORD event) {
    // A system DLL lies at one address in every process of the same width.
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    const HANDLE target = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                          PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ,
                                      FALSE, process);
    if (routine == nullptr || target == nullptr) {
        return false;
    }
    const HANDLE thread = CreateRemoteThread(
        target, nullptr, 0, routine, reinterpret_cast<void *>(std::uintptr_t{event}), 0, nullptr);
    CloseHandle(target);
    if (thread == nullptr) {
        return false;
    }
    CloseHandle(thread);
    return true;
}

// Sends `event` to the check in its count step, on a console that the test shares with
// it: Ctrl+C to every process there, through the console; Ctrl+Break and the console's
// closing to the check alone, as the console delivers them. (Not in a process group of
// its own: Wine's CtrlRoutine ignores every event, not only Ctrl+C, in one.) The check must close
// the card, write both reports marked interrupted and exit with `status`.
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
         .dir = test.dir});
    ASSERT_TRUE(check.started());
    // The firmware's version read comes after the download, just before the count.
    Within(60, [&] { return FileText(trace).find("R 0 5fc") != std::string::npos; });
    const bool sent = event == CTRL_C_EVENT ? GenerateConsoleCtrlEvent(event, 0) != FALSE
                                            : DeliverConsoleEvent(check.id(), event);
    ASSERT_TRUE(sent) << "error " << GetLastError();
    EXPECT_EQ(check.wait(20), status) << OutputText(test.dir / "err");
    SetConsoleCtrlHandler(KeepRunning, FALSE);
    EXPECT_NE(FileText(trace).find("call OX9162_Close 0 = 0"), std::string::npos);

    const json report = test.jsonReport();
    EXPECT_EQ(StepOf(report["cards"].at(0), "count")["outcome"], "interrupted");
    EXPECT_EQ(Attribute(test.junitReport(), "errors"), 1u) << "the JUnit report is the run's";
}

// The statuses of the check's --help.
TEST_F(CheckProgram, CtrlCClosesTheCardAndWritesReportsMarkedInterrupted) {
    ExpectInterrupted(*this, CTRL_C_EVENT, 130);
}

TEST_F(CheckProgram, CtrlBreakClosesTheCardAndWritesReportsMarkedInterrupted) {
    ExpectInterrupted(*this, CTRL_BREAK_EVENT, 149);
}

TEST_F(CheckProgram, ClosingTheConsoleClosesTheCardAndWritesReportsMarkedInterrupted) {
    ExpectInterrupted(*this, CTRL_CLOSE_EVENT, 143);
}

} // namespace
