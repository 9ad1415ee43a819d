#include "report/statisticstexts.h"

namespace hmx {

readings::StatisticsTexts StatisticsHeaders(Language language)
{
    const Wording w{language};
    readings::StatisticsTexts t;
    t.line = w(QStringLiteral("Linia"), QStringLiteral("Line"));
    t.count = w(QStringLiteral("Odczyty"), QStringLiteral("Readings"));
    t.minimum = w(QStringLiteral("Minimum"), QStringLiteral("Minimum"));
    t.minimumAt = w(QStringLiteral("Czas minimum"), QStringLiteral("Time of minimum"));
    t.maximum = w(QStringLiteral("Maksimum"), QStringLiteral("Maximum"));
    t.maximumAt = w(QStringLiteral("Czas maksimum"), QStringLiteral("Time of maximum"));
    t.mean = w(QStringLiteral("Średnia"), QStringLiteral("Mean"));
    t.deviation = w(QStringLiteral("Odchylenie standardowe"), QStringLiteral("Standard deviation"));
    t.first = w(QStringLiteral("Pierwszy odczyt"), QStringLiteral("First reading"));
    t.last = w(QStringLiteral("Ostatni odczyt"), QStringLiteral("Last reading"));
    t.gaps = w(QStringLiteral("Czas bez odczytów"), QStringLiteral("Time without readings"));
    return t;
}

std::vector<readings::StatisticsLimit> StatisticsLimits(const limits::Limits& limits, Language language)
{
    const Wording w{language};
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
    std::vector<readings::StatisticsLimit> out;
    for (const Column& c : Columns) {
        if (const std::optional<double>& value = limits[c.bound])
            out.push_back({*value, limits::IsHigh(c.bound), w(QString::fromUtf16(c.polish), QString::fromUtf16(c.english))});
    }
    return out;
}

} // namespace hmx
