#include "report/limittexts.h"

#include "instrument/settings.h"

#include <cmath>

namespace hmx {

using limits::Bound;
using limits::QuantityId;

QString QuantityName(QuantityId id, Language language)
{
    const Wording w{language};
    switch (id) {
    case QuantityId::DewPoint: return w("Temperatura punktu rosy", "Dew point temperature");
    case QuantityId::Humidity: return w("Wilgotność względna", "Relative humidity");
    case QuantityId::Ambient: return w("Temperatura otoczenia", "Ambient temperature");
    }
    return QString::number(int(id));
}

QString QuantityUnit(QuantityId id)
{
    return id == QuantityId::Humidity ? QStringLiteral("%") : QStringLiteral("°C");
}

QString BoundName(Bound bound, Language language)
{
    const Wording w{language};
    switch (bound) {
    case Bound::AlarmLow: return w("dolny próg alarmu", "lower alarm limit");
    case Bound::WarningLow: return w("dolny próg ostrzeżenia", "lower warning limit");
    case Bound::WarningHigh: return w("górny próg ostrzeżenia", "upper warning limit");
    case Bound::AlarmHigh: return w("górny próg alarmu", "upper alarm limit");
    }
    return {};
}

QString LimitNumberText(double value, const QLocale& locale)
{
    return NumberToText(std::round(value * 100.0) / 100.0, locale);
}

} // namespace hmx
