#include "console.h"
#include "file_io.h"

#include <sys/stat.h>
#include <unistd.h>

Terminal StandardErrorTerminal() {
    return isatty(STDERR_FILENO) != 0 ? Terminal::Escapes : Terminal::None;
}

std::string HostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}

std::string WriteStandardOutput(const std::string &text) {
    const std::string failure = WriteAll(STDOUT_FILENO, text);
    // Only a file on a disk is synced: terminals, pipes and devices need not be, and
    // some refuse.
    struct stat status {};
    if (failure.empty() && fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode)) {
        return SyncFile(STDOUT_FILENO);
    }
    return failure;
}

void WriteStandardError(const std::string &text) {
    WriteAll(STDERR_FILENO, text);
}
