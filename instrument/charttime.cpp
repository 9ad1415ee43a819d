#include "instrument/charttime.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>
#include <limits>

namespace hmx {

namespace {

constexpr double MsPerDay = 86400000.0;
constexpr double EpochDays = 25569.0;  // 30 Dec 1899 to 1 Jan 1970

// The zone's offsets around a moment, kept for the whole stretch between two of its
// transitions: a log or a live line asks about neighbouring moments again and again.
struct Offsets {
    qint64 from = 1, to = 0;  // [from, to) in ms since 1970 UTC
    qint64 total = 0;         // local clock minus UTC, ms
    qint64 standard = 0;      // the same without summer time
};

const Offsets& OffsetsAt(qint64 utc)
{
    thread_local Offsets cached;
    if (utc >= cached.from && utc < cached.to)
        return cached;
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(utc, Qt::UTC);
    Offsets found;
    found.total = qint64(zone.offsetFromUtc(at)) * 1000;
    found.standard = qint64(zone.standardTimeOffset(at)) * 1000;
    found.from = std::numeric_limits<qint64>::min();
    found.to = std::numeric_limits<qint64>::max();
    if (zone.hasTransitions()) {
        const QTimeZone::OffsetData previous = zone.previousTransition(at.addMSecs(1));
        const QTimeZone::OffsetData next = zone.nextTransition(at);
        if (previous.atUtc.isValid())
            found.from = previous.atUtc.toMSecsSinceEpoch();
        if (next.atUtc.isValid())
            found.to = next.atUtc.toMSecsSinceEpoch();
    }
    // Only a stretch that holds the moment is worth keeping.
    if (!(utc >= found.from && utc < found.to)) {
        found.from = utc;
        found.to = utc + 1;
    }
    cached = found;
    return cached;
}

qint64 Ms(double days)
{
    return qint64(std::llround((days - EpochDays) * MsPerDay));
}

} // namespace

double ChartX(qint64 msecsSinceEpoch)
{
    return EpochDays + double(msecsSinceEpoch + OffsetsAt(msecsSinceEpoch).standard) / MsPerDay;
}

double ChartXNow()
{
    return ChartX(QDateTime::currentMSecsSinceEpoch());
}

namespace {

// The moment (ms since 1970 UTC) of a finite, plausible X.
qint64 MomentOf(double chartX)
{
    const qint64 standardClock = Ms(chartX);
    // The standard offset hardly ever changes, so one correction finds the moment.
    const qint64 utc = standardClock - OffsetsAt(standardClock).standard;
    return standardClock - OffsetsAt(utc).standard;
}

bool Plausible(double chartX)
{
    return std::isfinite(chartX) && std::fabs(chartX) <= 1e7;
}

} // namespace

QDateTime LocalDateTime(double chartX)
{
    return Plausible(chartX) ? QDateTime::fromMSecsSinceEpoch(MomentOf(chartX)) : QDateTime();
}

QTime LocalTimeOfDay(double chartX)
{
    if (!Plausible(chartX))
        return QTime(0, 0);
    const qint64 utc = MomentOf(chartX);
    const qint64 local = utc + OffsetsAt(utc).total;
    const qint64 day = qint64(MsPerDay);
    return QTime::fromMSecsSinceStartOfDay(int(((local % day) + day) % day));
}

double ChartXOfLocal(double localX)
{
    if (!std::isfinite(localX) || std::fabs(localX) > 1e7)
        return localX;
    const qint64 wall = Ms(localX);
    qint64 utc = wall - OffsetsAt(wall).total;
    utc = wall - OffsetsAt(utc).total;
    return ChartX(utc);
}

} // namespace hmx
