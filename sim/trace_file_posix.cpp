#include "trace_file.h"

#include "library_name.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace oxsim::detail {
namespace {

// A FIFO reader that takes nothing for this long is taken for gone, so a stalled
// reader costs the program one pause, not a hang.
constexpr int kStalledReaderMs = 2000;
constexpr const char *kStalledReader = "its reader has taken nothing for 2 s";

// Keeps a SIGPIPE that this thread's write raises away from the program: blocked
// while writing and then taken back, unless the program had one pending already.
class SigpipeShield {
  public:
    SigpipeShield() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
        if (sigismember(&saved_, SIGPIPE) == 1) {
            sigset_t pending;
            sigpending(&pending);
            pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
        }
    }
    ~SigpipeShield() {
        if (raised_ && !pendingBefore_) {
            const timespec now{};
            sigtimedwait(&pipe_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
    SigpipeShield(const SigpipeShield &) = delete;
    SigpipeShield &operator=(const SigpipeShield &) = delete;

    void Raised() { raised_ = true; }

  private:
    sigset_t pipe_;
    sigset_t saved_;
    bool pendingBefore_ = false;
    bool raised_ = false;
};

// 0 once everything is written, otherwise why not.
int WriteAll(int fd, const char *text, std::size_t length) {
    while (length > 0) {
        const ssize_t n = write(fd, text, length);
        if (n > 0) {
            text += n;
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            return EIO;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return errno;
        }
        pollfd ready{fd, POLLOUT, 0};
        const int polled = poll(&ready, 1, kStalledReaderMs);
        if (polled == 0) {
            return ETIMEDOUT;
        }
        if (polled < 0 && errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// One line in a fixed buffer, cut short if need be; signal-safe.
class MessageLine {
  public:
    MessageLine &operator<<(const char *text) {
        while (*text != '\0' && length_ + 1 < sizeof text_) {
            text_[length_++] = *text++;
        }
        return *this;
    }
    void WriteTo(int fd) {
        text_[length_++] = '\n';
        [[maybe_unused]] const ssize_t n = write(fd, text_, length_);
    }

  private:
    char text_[512];
    std::size_t length_ = 0;
};

} // namespace

TraceFile::~TraceFile() {
    Close();
}

void TraceFile::Open(const char *path) {
    Close();
    if (path == nullptr || *path == '\0') {
        return;
    }
    // Non-blocking, so a FIFO without a reader is an error now instead of a wait.
    const int fd = open(
        path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        const int error = errno;
        std::fprintf(stderr, "%s: cannot open trace file %s: %s; not tracing\n", kLibraryName, path,
                     error == ENXIO ? "a FIFO that no process reads" : std::strerror(error));
        return;
    }
    struct stat status {};
    pipeLike_ = fstat(fd, &status) == 0 && S_ISFIFO(status.st_mode);
    path_ = path;
    file_ = fd;
}

bool TraceFile::IsOpen() const {
    return file_ != kClosed;
}

void TraceFile::Write(const char *text, std::size_t length) {
    if (file_ == kClosed) {
        return;
    }
    const int fd = static_cast<int>(file_);
    int error = 0;
    if (pipeLike_) {
        SigpipeShield shield;
        error = WriteAll(fd, text, length);
        if (error == EPIPE) {
            shield.Raised();
        }
    } else {
        error = WriteAll(fd, text, length);
    }
    if (error != 0) {
        Stop(error == EPIPE       ? "its reader has gone"
             : error == ETIMEDOUT ? kStalledReader
                                  : strerrordesc_np(error));
    }
}

void TraceFile::Stop(const char *reason) {
    MessageLine message;
    message << kLibraryName << ": cannot write trace file " << path_.c_str() << ": " << reason
            << "; tracing stopped";
    message.WriteTo(STDERR_FILENO);
    Close();
}

void TraceFile::Close() {
    if (file_ != kClosed) {
        close(static_cast<int>(file_));
    }
    file_ = kClosed;
}

} // namespace oxsim::detail
