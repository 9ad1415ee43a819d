// The instrument's command protocol: frames, waits, and the decoding of replies.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace hmx {

class SerialLink;

inline constexpr std::string_view IdentifyCommand = "01i?end";
inline constexpr std::string_view VersionCommand = "01v?end";
inline constexpr std::string_view SettingsReadCommand = "01s?end";
inline constexpr std::string_view MeasureCommand = "01t?end";

inline constexpr std::chrono::milliseconds IdentifyWait{200};
inline constexpr std::chrono::milliseconds VersionWait{300};
inline constexpr std::chrono::milliseconds SettingsReadWait{300};
inline constexpr std::chrono::milliseconds MeasureWait{500};
inline constexpr std::chrono::milliseconds SettingsWriteWait{100};

inline constexpr std::string_view ModelName = "HMX-700";
inline constexpr std::string_view WriteAcknowledgement = "OK";

// The text of a reply: bytes from the start up to the first zero byte, at most size.
std::string_view ReplyText(const std::uint8_t* buffer, std::size_t size);

// Exact match of ReplyText with expected: same length, same bytes, no trimming.
bool ReplyTextIs(const std::uint8_t* buffer, std::size_t size, std::string_view expected);

// High byte first, both bytes unsigned.
std::uint16_t BigEndian16(const std::uint8_t* bytes);

struct VersionInfo {
    std::uint8_t version = 0;
    std::uint8_t revision = 0;
    std::uint16_t serialNumber = 0;
};

// Bytes 5..8 of the version reply.
VersionInfo DecodeVersion(const std::uint8_t* reply);

// The Measurement record: three signed 16-bit tenths, in wire order.
struct Measurement {
    std::int16_t humidity = 0;
    std::int16_t dewPoint = 0;
    std::int16_t ambient = 0;
};

Measurement DecodeMeasurement(const std::uint8_t* reply);

// Copies a query frame and a terminating zero to the start of the link's TransmitBuffer.
void PutQuery(SerialLink& link, std::string_view frame);

// Sleeps for the given time; returns false when the sleep was cut short by a stop request.
using SleepFunction = std::function<bool(std::chrono::milliseconds)>;

enum class ExchangeResult {
    Reply,       // at least one byte was read into ReceiveBuffer
    NoReply,     // nothing had arrived by the end of the wait
    SendFailed,  // the frame did not go out (port gone); treated like NoReply
    Interrupted  // the wait was cut short; nothing was read
};

enum class ClearAfterSend { No, Yes };

// One query exchange on the link: PutQuery, SendCommand, optionally ClearBuffers, sleep,
// one ReadReply(512). Without a sleep function the thread simply sleeps. `received`,
// when given, gets the number of bytes the read delivered (0 without a reply).
ExchangeResult QueryExchange(SerialLink& link, std::string_view frame, std::chrono::milliseconds wait,
                             ClearAfterSend clear = ClearAfterSend::No,
                             const SleepFunction& sleep = {}, std::size_t* received = nullptr);

// After a reply of the wrong length: throws away what is waiting and whatever still
// comes in, until the line has been quiet for `quiet` (at most `limit`), so the rest
// of a late or split reply cannot become the front of the next one. Returns false when
// the sleep was cut short.
bool DiscardUntilQuiet(SerialLink& link, std::chrono::milliseconds quiet, std::chrono::milliseconds limit,
                       const SleepFunction& sleep = {});
// The rest of a split reply comes within about a measure wait of its first part.
inline constexpr std::chrono::milliseconds QuietAfterBadReply{500};
inline constexpr std::chrono::milliseconds QuietLimit{2000};

// A reply read throughout its wait rather than once at its end, so that bytes that
// came apart (a reply cut in two, noise beside it) are told from one that came whole.
struct WatchedReply {
    ExchangeResult result = ExchangeResult::NoReply;
    std::size_t count = 0;  // bytes received in the wait; the first ReceiveBufferSize are in ReceiveBuffer
    std::chrono::milliseconds longestSilence {0};  // the longest pause between two arrivals of its bytes
    std::chrono::milliseconds firstArrival {0};    // from the send to its first byte
    // The longest time the line went unwatched before a look that found bytes (the
    // thread was not scheduled): bytes found after such a blind spot may have come in
    // pieces that could not be seen apart.
    std::chrono::milliseconds longestBlindSpot {0};
};

// A reply's bytes come as one burst: at 19200 baud a character takes 0.52 ms, and a
// USB adapter hands bytes on at the latest when its latency timer (16 ms by default)
// runs out. 16 ms + 3 character times + one look at the line (WatchStep), rounded up
// for the scheduler: a longer silence inside a reply means it came in pieces.
inline constexpr std::chrono::milliseconds MaxSilenceInReply{25};
inline constexpr std::chrono::milliseconds WatchStep{4};

// One query exchange read throughout its wait: PutQuery, SendCommand, then the line
// is read every WatchStep until `wait` has passed since the send, noting when bytes
// arrive. The bytes thrown away before the send are counted for the link's
// TakeDiscardedCount().
WatchedReply WatchedExchange(SerialLink& link, std::string_view frame, std::chrono::milliseconds wait, const SleepFunction& sleep = {});

// True when a watched reply is one whole Measurement record that came as one burst.
bool IsWholeMeasurement(const WatchedReply& reply);

// Reply lengths: a reply counts only when exactly this many bytes came in its exchange.
inline constexpr std::size_t VersionReplySize = 9;
inline constexpr std::size_t MeasurementSize = 6;

} // namespace hmx
