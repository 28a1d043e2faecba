// Address space reserved up front and backed by memory only where it is touched, so
// a store can grow inside the window trap's handler without allocating. One
// implementation per system.
#pragma once

#include <cstddef>

namespace oxsim::detail {

// Readable and writable, reading zero until written; null when it cannot be had.
void *ReservePages(std::size_t bytes);
void ReleasePages(void *memory, std::size_t bytes);
// Gives the memory behind the pages of the first bytes back; they stay usable.
void DiscardPages(void *memory, std::size_t bytes);

} // namespace oxsim::detail
