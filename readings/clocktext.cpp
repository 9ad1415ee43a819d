#include "readings/clocktext.h"

#include <cmath>

namespace hmx::readings {

namespace {

// The literal text between the first hour field and a minute field right after it.
QString SeparatorIn(const QString& format)
{
    bool afterHour = false;
    QString literal;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            // Quoted literal; '' stands for one quote.
            qsizetype j = i + 1;
            for (; j < format.size(); ++j) {
                if (format.at(j) != u'\'') {
                    literal += format.at(j);
                } else if (j + 1 < format.size() && format.at(j + 1) == u'\'') {
                    literal += u'\'';
                    ++j;
                } else {
                    break;
                }
            }
            i = j;
            continue;
        }
        if (!QStringLiteral("hHmsztaAp").contains(c)) {
            literal += c;
            continue;
        }
        if (c == u'm' && afterHour)
            return literal;
        afterHour = c == u'h' || c == u'H';
        while (i + 1 < format.size() && format.at(i + 1) == c)
            ++i;
        literal.clear();
    }
    return {};
}

// A time separator is punctuation, not words such as the CJK hour and minute signs.
bool IsSeparator(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c.isLetterOrNumber() || c.isSpace())
            return false;
    }
    return true;
}

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString TimeSeparator(const QLocale& locale)
{
    for (const QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat}) {
        const QString separator = SeparatorIn(locale.timeFormat(type));
        if (IsSeparator(separator))
            return separator;
    }
    return QStringLiteral(":");
}

QString ClockText(QTime time, bool seconds)
{
    const QString separator = TimeSeparator();
    QString text = TwoDigits(time.hour()) + separator + TwoDigits(time.minute());
    if (seconds)
        text += separator + TwoDigits(time.second());
    return text;
}

QTime FractionOfDay(double x)
{
    double ms = std::round((x - std::floor(x)) * 86400000.0);
    if (!(ms >= 0) || ms >= 86400000.0)
        ms = 0;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

QDate ClockDate(double x, QTime clock)
{
    if (!std::isfinite(x) || std::abs(x) > 1e7)
        return {};
    QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(x)));
    const int shift = clock.msecsSinceStartOfDay() - FractionOfDay(x).msecsSinceStartOfDay();
    if (shift < -43200000)
        date = date.addDays(1);  // the clock is already past midnight
    else if (shift > 43200000)
        date = date.addDays(-1);
    return date;
}

QString ShortDateText(QDate date, bool withYear)
{
    const QLocale locale;
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!withYear) {
        // The year field goes with the text between it and the day or month beside it.
        auto isField = [&format](qsizetype i) { return format.at(i) == u'd' || format.at(i) == u'M'; };
        const qsizetype from = format.indexOf(u'y');
        if (from >= 0) {
            qsizetype to = from;
            while (to < format.size() && format.at(to) == u'y')
                ++to;
            qsizetype next = to;
            while (next < format.size() && !isField(next))
                ++next;
            if (from == 0) {
                format.remove(0, next);
            } else {
                qsizetype before = from;
                while (before > 0 && !isField(before - 1))
                    --before;
                // A year in the middle keeps the text after it; one at the end takes all after it.
                format.remove(before, (next == format.size() ? next : to) - before);
            }
        }
    }
    return locale.toString(date, format);
}

} // namespace hmx::readings
