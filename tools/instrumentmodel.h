// The simulated HMX-700 without its line: bytes in, replies out. It holds what the
// instrument answers with (settings record, readings, identity), the faults it is told to
// show, and its record of what it received and sent. It knows no terminal and no thread:
// the owner serialises every call.
#pragma once

#include "instrument/settingsrecord.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace hmx::sim {

using SettingsRecord = std::array<std::uint8_t, SettingsRecordSize>;

// A plausible default configuration: upper unit °Cdp, lower °C, both alarms off,
// 4-20 mA outputs, cleaning every 24 hours.
SettingsRecord DefaultSettingsRecord();

struct MeasurementTenths {
    std::int16_t humidity = 0;
    std::int16_t dewPoint = 0;
    std::int16_t ambient = 0;
};

// One entry of the journal of what the simulator sent.
struct SentReply {
    char command = 0;                 // the query letter answered ('t' for a measurement); 0: sent unasked
    std::vector<std::uint8_t> bytes;  // the whole reply as built
    bool whole = true;                // sent in one piece (not split)
};

// How the instrument answers and misbehaves; a reset goes back to these values.
struct Behaviour {
    std::string modelName {"HMX-700"};  // reply to 01i?end
    std::uint8_t version = 1;
    std::uint8_t revision = 0;
    std::uint16_t serial = 12345;
    SettingsRecord settings = DefaultSettingsRecord();  // after a write: the record as applied
    std::optional<MeasurementTenths> fixed;  // without: the readings vary smoothly over time
    bool silent = false;                     // ignore every frame
    std::chrono::milliseconds delay {0};     // answer late
    std::size_t splitBytes = 0;              // 0: each reply whole; else the first bytes at once...
    std::chrono::milliseconds splitGap {0};  // ...and the rest this much later
    std::string extra;                       // appended to every reply
    bool dropAck = false;                    // no "OK" to a write
};

class InstrumentModel {
public:
    using Clock = std::chrono::steady_clock;
    // Bytes to put on the line once `due` has come.
    struct Chunk {
        Clock::time_point due;
        std::vector<std::uint8_t> data;
    };

    // `started` is where the varying readings begin.
    explicit InstrumentModel(Clock::time_point started = Clock::now());

    Behaviour behaviour;

    // Takes bytes that arrived at `now` and returns the replies the frames they complete
    // call for, in the order they were asked. A byte that cannot belong to a frame is stray;
    // an incomplete frame waits for the next bytes.
    std::vector<Chunk> receive(const std::uint8_t* data, std::size_t size, Clock::time_point now);
    // Notes bytes sent unasked in the journal.
    void sentUnasked(const std::vector<std::uint8_t>& bytes);
    // `count` random bytes, as a noisy line would carry.
    std::vector<std::uint8_t> noise(std::size_t count);
    // Forgets a frame half received: the line it was coming on is gone.
    void dropPartialFrame() { m_pending.clear(); }

    // The readings the instrument reports at `now`.
    MeasurementTenths measurement(Clock::time_point now) const;

    // Every complete frame received, byte for byte, in order.
    const std::vector<std::vector<std::uint8_t>>& frames() const { return m_frames; }
    // Every byte received, including bytes that formed no frame.
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::size_t strayCount() const { return m_stray; }
    // Every reply and every unasked burst, in the order sent.
    const std::vector<SentReply>& journal() const { return m_sent; }

    // Forgets what was received and sent.
    void clearRecord();
    // Back to the starting behaviour, with nothing received or sent.
    void reset();

private:
    std::vector<std::uint8_t> answer(const std::vector<std::uint8_t>& frame, Clock::time_point now);
    void schedule(std::vector<std::uint8_t> reply, char command, Clock::time_point now, std::vector<Chunk>& out);

    Clock::time_point m_started;
    std::mt19937 m_random {std::random_device {}()};
    std::vector<std::uint8_t> m_pending;  // received, not yet a whole frame
    std::vector<std::vector<std::uint8_t>> m_frames;
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_stray = 0;
    std::vector<SentReply> m_sent;
};

} // namespace hmx::sim
