// A program run through the shell as a technician runs it, and the files it wrote.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

// A file's whole content; empty if it cannot be read.
inline std::string FileText(const std::filesystem::path &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct ShellRun {
    int status = -1; // the exit status; -1 if the command did not exit
    std::string out, err;
};

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
