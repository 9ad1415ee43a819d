// Room for the bytes of a whole chart file, written once and read once.
#pragma once

#include <cstddef>
#include <memory>

namespace hmx {

// Gives the room back to the system as it was taken.
struct FileBufferRelease {
    void* base = nullptr;
    std::size_t length = 0;
    void operator()(char* data) const;
};
using FileBuffer = std::unique_ptr<char[], FileBufferRelease>;

// Room for `size` bytes, or null when the system has none. Where the system has
// them, in huge pages: tens of megabytes are then filled with a fault every 2 MiB
// instead of every 4 KiB, which is much of the cost of reading a file into memory.
FileBuffer AllocateFileBuffer(std::size_t size);

} // namespace hmx
