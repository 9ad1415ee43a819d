// What publishing is doing, for a status line: the connection's state and the instrument's
// queue. Told by each instrument's publisher.
#pragma once

#include <QMetaType>
#include <QString>

namespace hmx {

struct PublishState {
    enum class Link { Off, Connecting, Connected, Failed };
    Link link = Link::Off;
    QString reason;         // Failed: the broker's or the system's words
    QString refused;        // topics whose messages the broker refuses ("a/reading: Not authorized"); they wait
    qint64 queued = 0;      // messages not yet delivered
    quint64 dropped = 0;    // oldest messages dropped because the queue was full (told once a minute)
    quint64 setAside = 0;   // damaged messages moved out of the queue, to setAsideFile
    QString setAsideFile;
    QString setAsideWhy;    // what was wrong with the last of them
    QString queueProblem;   // the queue file cannot be written (messages kept in memory)
    bool operator==(const PublishState&) const = default;
};

enum class InstrumentStatus { Measuring, Searching };

} // namespace hmx

Q_DECLARE_METATYPE(hmx::PublishState)
