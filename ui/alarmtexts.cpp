#include "ui/alarmtexts.h"

#include "instrument/settings.h"
#include "log/measurementlog.h"
#include "ui/language.h"

#include <cmath>

namespace hmx {

using limits::Bound;
using limits::Level;
using limits::QuantityId;

QString QuantityName(QuantityId id)
{
    return QuantityName(id, WindowLanguage);
}

QString BoundName(Bound bound)
{
    return BoundName(bound, WindowLanguage);
}

QString LimitValueText(double value, QuantityId id, const QLocale& locale)
{
    return LimitNumberText(value, locale) + QChar(0x00A0) + QuantityUnit(id);
}

QString LimitStatusText(QuantityId id, const limits::LimitStatus& status, const QLocale& locale)
{
    if (status.level == Level::None)
        return {};
    // The time as the log writes it: the locale's long form without a time zone.
    const QString time = LongTimeText(QDateTime::fromMSecsSinceEpoch(status.since).time(), locale);
    const QString level = status.level == Level::Alarm ? ByLanguage("Alarm", "Alarm")
                                                       : ByLanguage("Ostrzeżenie", "Warning");
    const QString side = limits::IsHigh(status.bound) ? ByLanguage("górny próg", "upper limit")
                                                      : ByLanguage("dolny próg", "lower limit");
    return ByLanguage("%1: %2 %3\nod %4", "%1: %2 %3\nsince %4")
        .arg(level, side, LimitValueText(status.limit, id, locale), time);
}

QString CrossingTitle(Level level)
{
    return level == Level::Alarm ? ByLanguage("HMX-700: alarm", "HMX-700: alarm")
                                 : ByLanguage("HMX-700: ostrzeżenie", "HMX-700: warning");
}

QString CrossingText(QuantityId id, const limits::LimitEvent& event, const QLocale& locale)
{
    const QString text = limits::IsHigh(event.bound) ? ByLanguage("%1 %2 – przekroczony %3 %4", "%1 %2 – above the %3 %4")
                                                     : ByLanguage("%1 %2 – przekroczony %3 %4", "%1 %2 – below the %3 %4");
    return text.arg(QuantityName(id), LimitValueText(event.value, id, locale), BoundName(event.bound),
                    LimitValueText(event.limit, id, locale));
}

QString LimitCheckText(QuantityId id, const limits::LimitCheck& check, const QLocale& locale)
{
    using Problem = limits::LimitCheck::Problem;
    QString what;
    switch (check.problem) {
    case Problem::None:
        return {};
    case Problem::WarningBeyondAlarm:
        what = (limits::IsHigh(check.bound) ? ByLanguage("%1 jest wyższy niż %2", "the %1 is above the %2")
                                            : ByLanguage("%1 jest niższy niż %2", "the %1 is below the %2"))
                   .arg(BoundName(check.bound), BoundName(check.other));
        break;
    case Problem::LowAboveHigh:
        what = ByLanguage("%1 nie jest niższy niż %2", "the %1 is not below the %2")
                   .arg(BoundName(check.bound), BoundName(check.other));
        break;
    case Problem::NegativeHysteresis:
        what = ByLanguage("histereza nie może być ujemna", "the hysteresis cannot be negative");
        break;
    case Problem::NegativeDelay:
        what = ByLanguage("opóźnienie nie może być ujemne", "the delay cannot be negative");
        break;
    case Problem::DelayTooLong:
        what = ByLanguage("opóźnienie może wynosić najwyżej %1 s (dobę)", "the delay can be at most %1 s (a day)")
                   .arg(NumberToText(limits::LongestDelaySeconds, locale));
        break;
    }
    return QuantityName(id) + QStringLiteral(": ") + what + QLatin1Char('.');
}

} // namespace hmx
