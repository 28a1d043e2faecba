#include "console.h"
#include "file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Which of the standard streams the program was started without.
bool closedAtStart[3] = {};

// Writes text to standard output (1) or error (2), and syncs a file on a disk:
// terminals, pipes and devices need not be, and some refuse.
std::string WriteStandard(int fd, const std::string &text) {
    if (closedAtStart[fd]) {
        return ErrorText(EBADF);
    }
    const std::string failure = WriteAll(fd, text);
    struct stat status {};
    if (failure.empty() && fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        return SyncFile(fd);
    }
    return failure;
}

// Opens the null device on each standard stream the program was started without, before
// the libraries' own initialisers, which may open files of their own (the stand-in's
// trace): the program's pre-initialisers run before any of them.
extern "C" void OpenStandardStreams(int, char **, char **) {
    for (int fd = 0; fd < 3; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            closedAtStart[fd] = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) == fd;
        }
    }
}
[[gnu::section(".preinit_array"),
  gnu::used]] void (*const openFirst)(int, char **, char **) = OpenStandardStreams;

} // namespace

Terminal StandardErrorTerminal() {
    return isatty(STDERR_FILENO) != 0 ? Terminal::Escapes : Terminal::None;
}

std::string HostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}

std::string WriteStandardOutput(const std::string &text) {
    return WriteStandard(STDOUT_FILENO, text);
}

std::string WriteStandardError(const std::string &text) {
    return WriteStandard(STDERR_FILENO, text);
}
