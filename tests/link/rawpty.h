// A bare pseudo-terminal for tests that put exact bytes on the line themselves.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class RawPty {
public:
    RawPty()
    {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        termios raw {};
        if (tcgetattr(slave, &raw) == 0) {
            cfmakeraw(&raw);
            tcsetattr(slave, TCSANOW, &raw);
        }
        const char* name = ::ttyname(slave);
        path = name ? name : "";
    }
    ~RawPty()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;

    bool valid() const { return master >= 0 && !path.empty(); }

    // Puts bytes on the line towards whoever opened the slave side.
    bool send(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        while (size > 0) {
            const ssize_t n = ::write(master, p, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool send(const std::string& text) { return send(text.data(), text.size()); }

    int master = -1;
    int slave = -1;
    std::string path;
};
