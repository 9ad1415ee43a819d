// Texts of the clock: the locale's time separator, "hh:mm" and "hh:mm:ss", and the
// time of day and date of a date-time value (days since 30 Dec 1899). Qt Core only,
// so the log writer and reader use the same separator as the chart.
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace hmx::readings {

// What stands between hours and minutes in the locale's long time format, else in
// its short one (some long formats use words such as the CJK hour sign), else ':'.
QString TimeSeparator(const QLocale& locale = QLocale());

// "hh:mm" or "hh:mm:ss", 24-hour, with the default locale's time separator.
QString ClockText(QTime time, bool seconds);

// The fraction of the day of x, to the millisecond.
QTime FractionOfDay(double x);

// The date on the clock at x, given the clock's time of day there: the day of x,
// moved by one where the clock's time has crossed midnight against x's own.
QDate ClockDate(double x, QTime clock);

// The date in the default locale's short form, without its year unless asked for:
// "07.12" for "07.12.2026", "12/7" for "12/7/26", "12-07" for "2026-12-07".
QString ShortDateText(QDate date, bool withYear);

} // namespace hmx::readings
