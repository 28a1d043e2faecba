// A program run through the shell as a technician runs it, and the files it wrote.
#pragma once

#include "process_run.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

using ShellRun = ProcessRun;

// Runs `command` with no input, its output and errors kept in files of `dir`; `out`
// names another file for the output, which is then not read back.
inline ShellRun RunShell(const std::string &command, const std::filesystem::path &dir,
                         const std::string &out = "") {
    const std::string outFile = out.empty() ? (dir / "out").string() : out;
    const int raw = std::system(
        (command + " >'" + outFile + "' 2>'" + (dir / "err").string() + "' </dev/null").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out.empty() ? FileText(outFile) : "",
            FileText(dir / "err")};
}
