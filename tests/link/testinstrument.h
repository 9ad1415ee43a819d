// What the serial-link test needs from its platform: the simulated instrument at the far
// end of the test port, how that port is opened, and a look at the port from outside the link.
// POSIX: an in-process simulator on a pseudo-terminal, opened as port 1 of HMX700_PORTS.
// Windows (under Wine): the native hmx700-sim that the test fixture started, commanded over
// its TCP port and reached as COM<HMX700_TEST_COM>.
#pragma once

#include "link/seriallink.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <memory>
#include <vector>

#ifndef _WIN32
namespace hmx::sim {
class Simulator;
}
#endif

using Bytes = std::vector<std::uint8_t>;

// One case's instrument as it starts (default replies and record, nothing received), told
// what to do with the simulator's text commands (hmx::sim::Simulator::CommandHelp).
class TestInstrument {
public:
    TestInstrument();
    ~TestInstrument();
    TestInstrument(const TestInstrument&) = delete;
    TestInstrument& operator=(const TestInstrument&) = delete;

    // False when there is no instrument to talk to; failure() says why.
    bool ready() const;
    const char* failure() const;

    // Opens the port the instrument answers on by its number, as the program's scan does.
    hmx::SerialLink::Opened openPort();

    // The answer to one command; empty when the instrument cannot be reached.
    QByteArray command(const QByteArray& line);
    bool ok(const QByteArray& line) { return command(line) == "ok"; }
    // Whether a command can carry CR or LF (not when commands travel as lines).
    static bool commandsTakeLineBreaks();

    // Puts exactly these bytes on the line at once.
    bool send(const Bytes& bytes)
    {
        const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        return ok("send " + raw.toHex());
    }
    // The journal: every frame received, every byte received, the bytes that formed no frame.
    QList<Bytes> frames()
    {
        QList<Bytes> result;
        for (const QByteArray& hex : command("frames").split(' ')) {
            if (!hex.isEmpty())
                result.append(fromHex(hex));
        }
        return result;
    }
    Bytes receivedBytes() { return fromHex(command("bytes")); }
    int strayBytes()
    {
        bool ok = false;
        const int count = command("stray").toInt(&ok);
        return ok ? count : -1;
    }
    // The settings record as the instrument applied it.
    Bytes settingsRecord() { return fromHex(command("record")); }

#ifndef _WIN32
    hmx::sim::Simulator& simulator();
#endif

private:
    static Bytes fromHex(const QByteArray& hex)
    {
        const QByteArray raw = QByteArray::fromHex(hex);
        return Bytes(raw.begin(), raw.end());
    }

    struct Impl;
    std::unique_ptr<Impl> d;
};

// Bytes received on the port and not read yet; -1 when the port cannot tell.
int BytesWaiting(hmx::PortHandle port);

// Writes to the port, past the link's own routines, until the line takes nothing more.
// Returns how much went out; -1 on an error other than a full line.
long long FillLine(hmx::PortHandle port);

// CPU time the calling thread has used, in milliseconds; -1 when unknown.
long long ThreadCpuMs();
