// A simulated HMX-700 on the far side of a pseudo-terminal. The client opens
// devicePath() like any serial device. Used by the tests and by hmx700-sim. What the
// instrument answers is InstrumentModel's; this class gives it a line and a thread.
#pragma once

#include "tools/instrumentmodel.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hmx::sim {

class Simulator {
public:
    // Opens the pseudo-terminal and starts answering at once.
    Simulator();
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Path of the terminal device the client opens (e.g. /dev/pts/5). Changes at a replug.
    std::string devicePath() const;
    // A symbolic link to the current terminal that stays the same across replugs, as
    // /dev/serial/by-id does for a USB adapter.
    std::string linkPath() const;

    // --- Instrument state ---
    void setModelName(std::string name);  // reply to 01i?end, default "HMX-700"
    void setVersion(std::uint8_t version, std::uint8_t revision, std::uint16_t serial);
    void setSettingsRecord(const SettingsRecord& record);
    SettingsRecord settingsRecord() const;  // after a write: the record as applied
    // Fixed readings; without them the readings vary smoothly over time.
    void setMeasurement(std::optional<MeasurementTenths> fixed);

    // --- Misbehaviour, for tests and demos ---
    void setSilent(bool silent);                           // ignore every frame
    void setReplyDelay(std::chrono::milliseconds delay);   // answer late
    // Send the first `bytes` bytes of each reply at once and the rest after `gap`.
    void setSplitReply(std::size_t bytes, std::chrono::milliseconds gap);
    void setExtraBytes(std::string extra);                 // appended to every reply
    void setDropAcknowledgement(bool drop);                // no "OK" to a write
    // Stops reading the line, so what the client sends piles up until its writes stall.
    void setStalled(bool stalled);
    // Sends `count` random bytes at once, as a noisy line would.
    void injectNoise(std::size_t count);
    // Sends exactly these bytes at once, unasked.
    void injectBytes(const std::vector<std::uint8_t>& bytes);
    // Like pulling the adapter: the terminal is closed (the client sees a hang-up) and
    // the link removed. The instrument keeps its state and record.
    void unplug();
    // A new terminal behind the same link; answers again.
    void replug();
    // Back to how it starts: a new terminal behind the same link, the built-in defaults
    // and record, and an empty record of what was received.
    void reset();
    bool plugged() const;

    // Text commands, one per call, for scripts and programs that cannot link this
    // library (hmx700-sim reads them from its standard input). Returns the answer:
    // "ok", the value asked for, or "error: ..." . See CommandHelp().
    std::string Control(const std::string& command);
    // One line per command (more where its help runs on), each with its arguments.
    static const std::string& CommandHelp();

    // --- Record of what the client sent ---
    // Every complete frame received, byte for byte, in order.
    std::vector<std::vector<std::uint8_t>> receivedFrames() const;
    // Every byte received, including bytes that formed no frame.
    std::vector<std::uint8_t> receivedBytes() const;
    // Bytes that could not be parsed as part of a frame (0 when the client only sent whole frames).
    std::size_t strayByteCount() const;
    // How many bytes were received in all.
    std::size_t receivedByteCount() const;

    // --- Journal of what it sent, in order: every reply and every unasked burst ---
    std::vector<SentReply> journal() const;
    void clearRecord();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace hmx::sim
