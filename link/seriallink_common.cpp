// The platform-neutral parts of the link: port numbering order, the buffers and the
// bounded send loop.
#include "link/seriallink.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

namespace hmx {

namespace {

// "ttyS2" sorts before "ttyS10": runs of digits compare by value.
bool NaturalLess(std::string_view a, std::string_view b)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            std::string_view na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            while (na.size() > 1 && na.front() == '0')
                na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0')
                nb.remove_prefix(1);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;
}

// Most instruments hang on a USB adapter, so those come first.
int DevicePriority(std::string_view name)
{
    if (name.substr(0, 6) == "ttyUSB")
        return 0;
    if (name.substr(0, 6) == "ttyACM")
        return 1;
    return 2;
}

// A dead port must not hold its caller forever: a few attempts with a pause between
// them, then the caller is told the frame did not go out.
constexpr int SendAttempts = 3;
constexpr std::chrono::milliseconds PauseBetweenAttempts{50};

} // namespace

void SortSerialDeviceNames(std::vector<std::string>& names)
{
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int pa = DevicePriority(a), pb = DevicePriority(b);
        return pa != pb ? pa < pb : NaturalLess(a, b);
    });
}

SerialLink::Opened SerialLink::OpenNumber(int number)
{
    const std::string name = PortName(number);
    if (name.empty())
        return {nullptr, OpenFailure::Absent};
    return Open(name);
}

std::size_t SerialLink::TakeDiscardedCount()
{
    return std::exchange(m_discarded, 0);
}

void SerialLink::ClearBuffers()
{
    std::memset(TransmitBuffer, 0, sizeof TransmitBuffer);
    std::memset(ReceiveBuffer, 0, sizeof ReceiveBuffer);
}

bool SerialLink::SendLoop(std::size_t count)
{
    for (int attempt = 0; attempt < SendAttempts; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(PauseBetweenAttempts);
        if (m_handle == InvalidPort || lost() || interrupted())
            return false;
        // Bytes that came after an earlier read (a late or garbled reply) would be taken
        // for the front of this frame's reply.
        if (attempt == 0) {
            m_discarded += WaitingBytes();
            DiscardInput();
        }
        // A failed wait means the whole frame is written again, not just the wait.
        FlushOutput();
        if (TransmitBytes(count))
            return true;
    }
    return false;
}

bool SerialLink::SendCommand()
{
    // The terminating zero is not part of the frame; a buffer without one is sent whole.
    const void* end = std::memchr(TransmitBuffer, 0, sizeof TransmitBuffer);
    const std::size_t count = end ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - TransmitBuffer)
                                  : sizeof TransmitBuffer;
    return SendLoop(count);
}

bool SerialLink::SendSettingsFrame()
{
    return SendLoop(SettingsFrameSize);
}

} // namespace hmx
