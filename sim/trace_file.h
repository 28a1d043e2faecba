// The trace file: created afresh and written straight through, without buffering,
// so it is complete up to the moment the process dies. Write is safe inside the
// window trap's handler. One implementation per system.
#pragma once

#include <cstddef>

namespace oxsim::detail {

class TraceFile {
  public:
    TraceFile() = default;
    ~TraceFile();
    TraceFile(const TraceFile &) = delete;
    TraceFile &operator=(const TraceFile &) = delete;

    // Closes the file open so far; then creates the one at path, unless it is null
    // or empty. A file that cannot be created is named on standard error.
    void Open(const char *path);
    bool IsOpen() const;
    void Write(const char *text, std::size_t length);

  private:
    void Close();

#ifdef _WIN32
    void *handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

} // namespace oxsim::detail
