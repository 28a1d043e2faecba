// A program run with its arguments as given, no shell between, as a technician or a
// CI job starts it: posix_spawn on Linux (process_run_posix.cpp), CreateProcessW with
// the arguments quoted as Windows programs read them on Windows (process_run_windows.cpp).
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// A file's whole content; empty if it cannot be read.
inline std::string FileText(const std::filesystem::path &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct ProcessRun {
    int status = -1;      // the exit status; -1 if the program did not exit by itself
    std::string out, err; // on Windows with "\r\n" read as "\n", as on Linux
};

struct ProcessStart {
    std::filesystem::path program{};
    std::vector<std::string> arguments{}; // UTF-8
    // NAME=VALUE added to this process's environment, less the stand-in's OX9162_SIM_
    // variables, which each run sets afresh.
    std::vector<std::string> environment{};
    // The working folder; standard output and error go to its files out and err.
    std::filesystem::path dir{};
    std::filesystem::path out{}; // another file (a device) for the output, not read back
    std::filesystem::path in{};  // the input's file; none (the null device) if empty
};

class StartedProcess {
  public:
    explicit StartedProcess(const ProcessStart &start);
    ~StartedProcess(); // kills the program if it still runs
    StartedProcess(const StartedProcess &) = delete;
    StartedProcess &operator=(const StartedProcess &) = delete;

    bool started() const;
    unsigned long id() const;
    // The exit status once it ends, at most `seconds` later; -1 if it did not end by
    // itself in time (it is killed then) or a signal ended it.
    int wait(int seconds);

  private:
    struct System;
    std::unique_ptr<System> system_;
};

// A file the program wrote as text: on Windows with "\r\n" read as "\n", as on Linux.
std::string OutputText(const std::filesystem::path &path);

// Runs the program to its end (at most 2 minutes) and reads its output and errors.
inline ProcessRun RunProcess(const ProcessStart &start) {
    StartedProcess process(start);
    ProcessRun run;
    run.status = process.wait(120);
    run.out = start.out.empty() ? OutputText(start.dir / "out") : "";
    run.err = OutputText(start.dir / "err");
    return run;
}
