#include "reserved_pages.h"

#include <windows.h>

namespace oxsim::detail {

// Committed at once: Windows backs committed pages only when they are first touched,
// and a touch of a page merely reserved would fault inside the trap's handler.
void *ReservePages(std::size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void ReleasePages(void *memory, std::size_t) {
    if (memory != nullptr) {
        VirtualFree(memory, 0, MEM_RELEASE);
    }
}

void DiscardPages(void *memory, std::size_t bytes) {
    // Decommitted and committed again, the pages read zero and hold no memory.
    if (memory != nullptr && bytes > 0 && VirtualFree(memory, bytes, MEM_DECOMMIT)) {
        VirtualAlloc(memory, bytes, MEM_COMMIT, PAGE_READWRITE);
    }
}

} // namespace oxsim::detail
