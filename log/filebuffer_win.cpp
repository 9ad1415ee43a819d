// File buffers on Windows: the heap's (large pages need a privilege users lack).
#include "log/filebuffer.h"

#include <new>

namespace hmx {

void FileBufferRelease::operator()(char* data) const
{
    delete[] data;
}

FileBuffer AllocateFileBuffer(std::size_t size)
{
    return FileBuffer(size > 0 ? new (std::nothrow) char[size] : nullptr, FileBufferRelease{});
}

} // namespace hmx
