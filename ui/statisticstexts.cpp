#include "ui/statisticstexts.h"

#include "ui/language.h"

namespace hmx {

chart::StatisticsTexts StatisticsHeaders()
{
    chart::StatisticsTexts t;
    t.line = ByLanguage(QStringLiteral("Linia"), QStringLiteral("Line"));
    t.count = ByLanguage(QStringLiteral("Odczyty"), QStringLiteral("Readings"));
    t.minimum = ByLanguage(QStringLiteral("Minimum"), QStringLiteral("Minimum"));
    t.minimumAt = ByLanguage(QStringLiteral("Czas minimum"), QStringLiteral("Time of minimum"));
    t.maximum = ByLanguage(QStringLiteral("Maksimum"), QStringLiteral("Maximum"));
    t.maximumAt = ByLanguage(QStringLiteral("Czas maksimum"), QStringLiteral("Time of maximum"));
    t.mean = ByLanguage(QStringLiteral("Średnia"), QStringLiteral("Mean"));
    t.deviation = ByLanguage(QStringLiteral("Odchylenie standardowe"), QStringLiteral("Standard deviation"));
    t.first = ByLanguage(QStringLiteral("Pierwszy odczyt"), QStringLiteral("First reading"));
    t.last = ByLanguage(QStringLiteral("Ostatni odczyt"), QStringLiteral("Last reading"));
    t.gaps = ByLanguage(QStringLiteral("Czas bez odczytów"), QStringLiteral("Time without readings"));
    return t;
}

std::vector<chart::StatisticsLimit> StatisticsLimits(const limits::Limits& limits)
{
    using limits::Bound;
    struct Column {
        Bound bound;
        const char16_t* polish;
        const char16_t* english;
    };
    static constexpr Column Columns[] = {
        {Bound::AlarmHigh, u"Powyżej alarmu górnego", u"Above the upper alarm limit"},
        {Bound::WarningHigh, u"Powyżej ostrzeżenia górnego", u"Above the upper warning limit"},
        {Bound::WarningLow, u"Poniżej ostrzeżenia dolnego", u"Below the lower warning limit"},
        {Bound::AlarmLow, u"Poniżej alarmu dolnego", u"Below the lower alarm limit"},
    };
    std::vector<chart::StatisticsLimit> out;
    for (const Column& c : Columns) {
        if (const std::optional<double>& value = limits[c.bound])
            out.push_back({*value, limits::IsHigh(c.bound), ByLanguage(QString::fromUtf16(c.polish), QString::fromUtf16(c.english))});
    }
    return out;
}

} // namespace hmx
