// The parts of a file handle that are the same on every system.
#include "files/file.h"

#include <utility>

namespace hmx::files {

File::~File()
{
    close();
}

File::File(File&& other) noexcept
    : m_handle(std::exchange(other.m_handle, Closed))
    , m_status(other.m_status)
    , m_type(other.m_type)
    , m_error(std::move(other.m_error))
{
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, Closed);
        m_status = other.m_status;
        m_type = other.m_type;
        m_error = std::move(other.m_error);
    }
    return *this;
}

QByteArray File::readAll()
{
    QByteArray bytes;
    char buffer[65536];
    for (std::int64_t n; (n = read(buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, qsizetype(n));
    return bytes;
}

bool File::appendAll(const QByteArray& bytes)
{
    // No other writer can get in, so the end found here stays the end.
    const std::int64_t before = size();
    if (before < 0 || !seekToEnd())
        return false;
    if (writeAll(bytes))
        return true;
    // Half a line would break every later line of the file. The write's reason is the one told.
    const QString reason = m_error;
    resize(before);
    m_error = reason;
    return false;
}

} // namespace hmx::files
