// Link state and the platform-neutral routines: buffers, lock and the bounded send loop.
#include "link/seriallink.h"
#include "link/seriallink_platform.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace hmx {

PortHandle Port = InvalidPort;
std::uint8_t TransmitBuffer[TransmitBufferSize] = {};
std::uint8_t ReceiveBuffer[ReceiveBufferSize] = {};

namespace {

// A dead port must not hold its caller forever: a few attempts with a pause between
// them, then the caller is told the frame did not go out.
constexpr int SendAttempts = 3;
constexpr std::chrono::milliseconds PauseBetweenAttempts{50};

bool SendLoop(std::size_t count)
{
    for (int attempt = 0; attempt < SendAttempts; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(PauseBetweenAttempts);
        const PortHandle handle = Port;
        if (handle == InvalidPort)
            return false;
        // A failed wait means the whole frame is written again, not just the wait.
        detail::FlushOutput(handle);
        if (TransmitBytes(handle, count))
            return true;
    }
    return false;
}

} // namespace

std::mutex& LinkLock()
{
    static std::mutex lock;
    return lock;
}

void ClearBuffers()
{
    std::memset(TransmitBuffer, 0, sizeof TransmitBuffer);
    std::memset(ReceiveBuffer, 0, sizeof ReceiveBuffer);
}

bool SendCommand()
{
    // The terminating zero is not part of the frame; a buffer without one is sent whole.
    const void* end = std::memchr(TransmitBuffer, 0, sizeof TransmitBuffer);
    const std::size_t count = end ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - TransmitBuffer)
                                  : sizeof TransmitBuffer;
    return SendLoop(count);
}

bool SendSettingsFrame()
{
    return SendLoop(SettingsFrameSize);
}

} // namespace hmx
