// The command protocol: query frames, the exchange pattern and reply decoding.
#include "link/protocol.h"
#include "link/seriallink.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace hmx {

std::string_view ReplyText(const std::uint8_t* buffer, std::size_t size)
{
    const auto* chars = reinterpret_cast<const char*>(buffer);
    const void* zero = std::memchr(chars, 0, size);
    const std::size_t length = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - chars) : size;
    return {chars, length};
}

bool ReplyTextIs(const std::uint8_t* buffer, std::size_t size, std::string_view expected)
{
    return ReplyText(buffer, size) == expected;
}

std::uint16_t BigEndian16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] * 256u + bytes[1]);
}

VersionInfo DecodeVersion(const std::uint8_t* reply)
{
    VersionInfo info;
    info.version = reply[5];
    info.revision = reply[6];
    info.serialNumber = BigEndian16(reply + 7);
    return info;
}

Measurement DecodeMeasurement(const std::uint8_t* reply)
{
    // Two's complement from the unsigned 16-bit value; well defined since C++20.
    Measurement m;
    m.humidity = static_cast<std::int16_t>(BigEndian16(reply));
    m.dewPoint = static_cast<std::int16_t>(BigEndian16(reply + 2));
    m.ambient = static_cast<std::int16_t>(BigEndian16(reply + 4));
    return m;
}

void PutQuery(SerialLink& link, std::string_view frame)
{
    // Leave room for the terminating zero; queries are 7 bytes, far below the buffer size.
    const std::size_t length = std::min(frame.size(), TransmitBufferSize - 1);
    std::memcpy(link.TransmitBuffer, frame.data(), length);
    link.TransmitBuffer[length] = 0;
}

bool DiscardUntilQuiet(SerialLink& link, std::chrono::milliseconds quiet, std::chrono::milliseconds limit, const SleepFunction& sleep)
{
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds slice{20};
    const auto start = Clock::now();
    auto lastByte = start;
    link.DiscardInput();
    while (Clock::now() - lastByte < quiet && Clock::now() - start < limit && !link.lost()) {
        if (sleep) {
            if (!sleep(slice))
                return false;
        } else {
            std::this_thread::sleep_for(slice);
        }
        if (link.ReadReply(ReceiveBufferSize) > 0)
            lastByte = Clock::now();
    }
    std::memset(link.ReceiveBuffer, 0, ReceiveBufferSize);
    return true;
}

WatchedReply WatchedExchange(SerialLink& link, std::string_view frame, std::chrono::milliseconds wait,
                             const SleepFunction& sleep)
{
    using Clock = std::chrono::steady_clock;
    WatchedReply reply;
    PutQuery(link, frame);
    const bool sent = link.SendCommand();
    const auto deadline = Clock::now() + wait;
    std::uint8_t bytes[ReceiveBufferSize];
    const auto sentAt = Clock::now();
    Clock::time_point lastArrival {};
    Clock::time_point lastLook = sentAt;
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const auto step = std::clamp(left, std::chrono::milliseconds(0), WatchStep);
        if (sleep) {
            if (!sleep(step)) {
                reply.result = ExchangeResult::Interrupted;
                return reply;
            }
        } else {
            std::this_thread::sleep_for(step);
        }
        if (!sent) {
            if (left <= WatchStep)
                break;
            continue;
        }
        const std::size_t n = link.ReadReply(ReceiveBufferSize);
        const auto now = Clock::now();
        const auto blind = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastLook);
        lastLook = now;
        if (n > 0) {
            reply.longestBlindSpot = std::max(reply.longestBlindSpot, blind);
            if (reply.count == 0)
                reply.firstArrival = std::chrono::duration_cast<std::chrono::milliseconds>(now - sentAt);
            else
                reply.longestSilence = std::max(reply.longestSilence,
                                                std::chrono::duration_cast<std::chrono::milliseconds>(now - lastArrival));
            lastArrival = now;
            const std::size_t kept = std::min(n, ReceiveBufferSize - std::min(reply.count, ReceiveBufferSize));
            std::memcpy(bytes + std::min(reply.count, ReceiveBufferSize), link.ReceiveBuffer, kept);
            reply.count += n;
        }
        if (left <= WatchStep)
            break;
    }
    std::memcpy(link.ReceiveBuffer, bytes, std::min(reply.count, ReceiveBufferSize));
    reply.result = !sent ? ExchangeResult::SendFailed : reply.count > 0 ? ExchangeResult::Reply : ExchangeResult::NoReply;
    return reply;
}

bool IsWholeMeasurement(const WatchedReply& reply)
{
    return reply.result == ExchangeResult::Reply && reply.count == MeasurementSize
        && reply.longestSilence <= MaxSilenceInReply && reply.longestBlindSpot <= MaxSilenceInReply;
}

ExchangeResult QueryExchange(SerialLink& link, std::string_view frame, std::chrono::milliseconds wait,
                             ClearAfterSend clear, const SleepFunction& sleep, std::size_t* received)
{
    if (received)
        *received = 0;
    PutQuery(link, frame);
    const bool sent = link.SendCommand();
    if (clear == ClearAfterSend::Yes)
        link.ClearBuffers();
    // The wait is kept after a failed send too, so a caller's cycle keeps its pace on a dead port.
    if (sleep) {
        if (!sleep(wait))
            return ExchangeResult::Interrupted;
    } else {
        std::this_thread::sleep_for(wait);
    }
    if (!sent)
        return ExchangeResult::SendFailed;
    const std::size_t count = link.ReadReply(ReceiveBufferSize);
    if (received)
        *received = count;
    return count > 0 ? ExchangeResult::Reply : ExchangeResult::NoReply;
}

} // namespace hmx
