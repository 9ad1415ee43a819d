#include "instrument/charttime.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

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

Offsets Lookup(qint64 utc);

// A few stretches kept: reading a log near a change of the clock looks on both sides of it.
const Offsets& OffsetsAt(qint64 utc)
{
    thread_local Offsets cached[4];
    thread_local unsigned next = 0;
    for (const Offsets& o : cached) {
        if (utc >= o.from && utc < o.to)
            return o;
    }
    Offsets& slot = cached[next++ % std::size(cached)];
    slot = Lookup(utc);
    return slot;
}

Offsets Lookup(qint64 utc)
{
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
    return found;
}

// llround without the library call, for every time a load takes: the whole part, and
// one more away from zero from a half on. Exact while |days| stays below 10^7, where
// the count stays far below 2^52 and the part after the point is exact.
qint64 Ms(double days)
{
    const double ms = (days - EpochDays) * MsPerDay;
    const qint64 whole = qint64(ms);
    const double part = ms - double(whole);
    return whole + (part >= 0.5) - (part <= -0.5);
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

ClockMoments MomentsOfClock(qint64 wall)
{
    constexpr qint64 Day = 86400000;
    ClockMoments found;
    // Fast: a moment well inside a stretch of one offset is the only one. No offset
    // changes by a day, so another moment for this clock time would lie within a day.
    const Offsets& guess = OffsetsAt(wall - OffsetsAt(wall).total);
    const qint64 utc = wall - guess.total;
    // Compared this way round: a zone that never changes has its stretch open at both ends.
    if (guess.from < utc - Day && guess.to > utc + Day) {
        found.count = 1;
        found.moments[0] = utc;
        return found;
    }
    // Near a change: the offsets in force a day before and a day after, each giving a
    // moment when it is the one in force there.
    const qint64 before = OffsetsAt(wall - Day).total;
    const qint64 after = OffsetsAt(wall + Day).total;
    for (qint64 offset : {before, after}) {
        const qint64 moment = wall - offset;
        if (OffsetsAt(moment).total == offset && (found.count == 0 || found.moments[0] != moment))
            found.moments[found.count++] = moment;
    }
    if (found.count == 2 && found.moments[1] < found.moments[0])
        std::swap(found.moments[0], found.moments[1]);
    // A time the clock skipped: as if the clock had not yet moved on.
    if (found.count == 0)
        found.gapMoment = wall - before;
    return found;
}

double ChartXOfLocal(double localX)
{
    if (!std::isfinite(localX) || std::fabs(localX) > 1e7)
        return localX;
    const ClockMoments moments = MomentsOfClock(Ms(localX));
    return ChartX(moments.count > 0 ? moments.moments[0] : moments.gapMoment);
}

bool ClockTimeline::chartX(double localX, double& x, qint64& ms)
{
    if (!std::isfinite(localX) || std::fabs(localX) > 1e7) {
        m_settled = false;
        x = localX;
        return false;
    }
    // More than a day inside the stretch of one offset, as MomentsOfClock finds it.
    constexpr qint64 Day = 86400000;
    const qint64 wall = Ms(localX);
    const qint64 utc = wall - m_total;
    if (m_started && m_from < utc - Day && m_to > utc + Day) {
        m_previous = utc;
        m_settled = true;
        ms = utc + m_standard;
        x = EpochDays + double(ms) / MsPerDay;
        return true;
    }
    const ClockMoments moments = MomentsOfClock(wall);
    qint64 moment = moments.gapMoment;
    if (moments.count == 1) {
        moment = moments.moments[0];
    } else if (moments.count == 2) {
        // The hour's first pass, unless that lies back before the reading before:
        // then the clock has gone back, and this is the second pass.
        moment = m_started && moments.moments[0] < m_previous - ClockCorrection ? moments.moments[1] : moments.moments[0];
    }
    m_previous = moment;
    m_started = true;
    m_settled = moments.count != 2;
    const Offsets& stretch = OffsetsAt(moment);
    m_from = stretch.from;
    m_to = stretch.to;
    m_total = stretch.total;
    m_standard = stretch.standard;
    ms = moment + m_standard;
    x = EpochDays + double(ms) / MsPerDay;  // ChartX(moment)
    return true;
}

} // namespace hmx
