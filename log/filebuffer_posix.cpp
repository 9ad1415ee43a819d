// File buffers on POSIX: a private anonymous mapping, aligned to the huge-page size and
// marked for huge pages where the system knows them (Linux).
#include "log/filebuffer.h"

#include <cstdint>
#include <sys/mman.h>

namespace hmx {

namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;

} // namespace

void FileBufferRelease::operator()(char*) const
{
    if (base)
        ::munmap(base, length);
}

FileBuffer AllocateFileBuffer(std::size_t size)
{
    if (size == 0)
        return FileBuffer(nullptr, FileBufferRelease{});
    // One huge page more, so the room can start on a huge-page boundary.
    const std::size_t length = size + HugePage;
    void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return FileBuffer(nullptr, FileBufferRelease{});
    const auto start = (reinterpret_cast<std::uintptr_t>(base) + HugePage - 1) & ~std::uintptr_t(HugePage - 1);
    char* data = reinterpret_cast<char*>(start);
#ifdef MADV_HUGEPAGE
    ::madvise(base, length, MADV_HUGEPAGE);  // a hint: where refused, the pages stay small
#endif
    return FileBuffer(data, FileBufferRelease{base, length});
}

} // namespace hmx
