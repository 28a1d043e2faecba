// The trace file (OX9162_SIM_TRACE): lines streamed to a file, a FIFO or a device as
// they happen, nothing kept. Whatever the file does, the program goes on: opening never
// waits for a reader, a failed write is reported once on standard error and ends the
// tracing, and a reader that goes away raises no SIGPIPE in the program. One
// implementation per system (trace_file_posix.cpp, trace_file_windows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace oxsim::detail {

class TraceFile {
  public:
    TraceFile() = default;
    ~TraceFile();
    TraceFile(const TraceFile &) = delete;
    TraceFile &operator=(const TraceFile &) = delete;

    // Creates the file afresh (a FIFO or device is opened as it is); null or empty
    // closes the trace. Failure is reported on standard error and leaves it closed.
    void Open(const char *path);
    bool IsOpen() const;
    // The whole text or, on failure, nothing more ever. Safe inside the window trap.
    void Write(const char *text, std::size_t length);

  private:
    void Stop(const char *reason);
    void Close();

    // The system's handle of the open file, a descriptor or a Windows HANDLE, held
    // as a number so the class is the same on every system; -1 for none on both.
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t file_ = kClosed;
    bool pipeLike_ = false; // its reader may go away, and a write then raise SIGPIPE
    std::string path_;
};

} // namespace oxsim::detail
