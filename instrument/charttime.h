// The chart's X values: days since 30 December 1899 in the local *standard* time, i.e.
// with any summer time taken off. They keep increasing with real time when the clock
// falls back an hour, so a line never runs back over the repeated hour; the labels turn
// them back into the local time of day. Outside summer time they equal the plain local
// date-time value.
#pragma once

#include <QDateTime>
#include <QTime>
#include <QtGlobal>

namespace hmx {

// X of a moment (milliseconds since 1970 UTC), and of now.
double ChartX(qint64 msecsSinceEpoch);
double ChartXNow();

// The local time of day (summer time included) at the moment an X stands for.
QTime LocalTimeOfDay(double chartX);
// That moment, as a local date-time.
QDateTime LocalDateTime(double chartX);

// The moments (ms since 1970 UTC) at which the local clock showed `wall` (a local
// date and time in ms since 1970, as if it were UTC): one; two, earliest first, in the
// hour the clock repeats when it goes back in autumn; none in the hour it skips in
// spring (gapMoment then reads it as if the clock had not yet moved on).
struct ClockMoments {
    int count = 0;
    qint64 moments[2] = {0, 0};
    qint64 gapMoment = 0;
};
ClockMoments MomentsOfClock(qint64 wall);

// X of a local date-time value (days since 30 Dec 1899, local clock time), as a log
// file's date and times give one; in the repeated hour, its first pass.
double ChartXOfLocal(double localX);

// X of local date-time values that follow one another in time, as a log's lines do.
// A clock time in the hour the clock repeats is in its first pass until the times go
// back by more than a clock correction: from there on it is in the second pass.
class ClockTimeline {
public:
    // Set back by at most this much, the clock was corrected (time sync), not moved
    // back to standard time.
    static constexpr qint64 ClockCorrection = 10 * 60 * 1000;

    double chartX(double localX)
    {
        double x = 0;
        qint64 ms = 0;
        chartX(localX, x, ms);
        return x;
    }
    // The same into x, with the count of milliseconds since 1970 it stands for (x is
    // 25569 + ms / 86400000), so it need not be found again; false for a local X that
    // is no time, given back as it is.
    bool chartX(double localX, double& x, qint64& ms);
    // Whether the last X taken had a single moment (or none, in the hour the clock
    // skips): then its answer, and every answer after it, are the same whatever came
    // before it, so a run of times can be taken from there on apart from the run before.
    bool settled() const { return m_settled; }

private:
    qint64 m_previous = 0;
    bool m_started = false;
    bool m_settled = false;
    // The offsets' stretch of the last moment: well inside it a clock time has that one
    // moment, found without asking the zone.
    qint64 m_from = 1, m_to = 0;
    qint64 m_total = 0, m_standard = 0;
};

} // namespace hmx
