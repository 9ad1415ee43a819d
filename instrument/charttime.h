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

// X of a local date-time value (days since 30 Dec 1899, local clock time), as a log
// file's date and times give one.
double ChartXOfLocal(double localX);

} // namespace hmx
