#include "reserved_pages.h"

#include <sys/mman.h>
#include <unistd.h>

namespace oxsim::detail {

void *ReservePages(std::size_t bytes) {
    void *memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return memory == MAP_FAILED ? nullptr : memory;
}

void ReleasePages(void *memory, std::size_t bytes) {
    if (memory != nullptr) {
        munmap(memory, bytes);
    }
}

void DiscardPages(void *memory, std::size_t bytes) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (memory != nullptr && bytes > 0) {
        madvise(memory, (bytes + page - 1) / page * page, MADV_DONTNEED);
    }
}

} // namespace oxsim::detail
