#include "instrument/derived.h"

#include "humidity/formulation.h"
#include "humidity/units.h"
#include "instrument/poller.h"

#include <algorithm>

namespace hmx {

using humidity::Quantity;

namespace {

QString Key(Quantity q)
{
    const std::string_view key = humidity::Info(q).key;
    return QString::fromLatin1(key.data(), qsizetype(key.size()));
}

} // namespace

double DerivedChoice::pascals() const
{
    double unitPascals = 100;
    for (const humidity::PressureUnit& u : humidity::PressureUnits()) {
        if (!u.gauge && unit == QLatin1String(u.name.data(), qsizetype(u.name.size())))
            unitPascals = u.pascals;
    }
    return pressure * unitPascals + (gauge ? humidity::StandardAtmosphere : 0);
}

std::vector<Quantity> DerivableQuantities()
{
    // The readings themselves, the second pressure and the conditions are left out.
    static constexpr Quantity NotDerived[] = {
        Quantity::Temperature,    Quantity::DewPoint,       Quantity::RelativeHumidity,
        Quantity::DewPointAtSecondPressure, Quantity::DewPointAtSecondPressureF,
        Quantity::Pressure,       Quantity::SecondPressure,
    };
    std::vector<Quantity> list;
    for (std::size_t i = 0; i < humidity::QuantityCount; ++i) {
        const Quantity q = Quantity(i);
        if (std::find(std::begin(NotDerived), std::end(NotDerived), q) == std::end(NotDerived))
            list.push_back(q);
    }
    return list;
}

QString JsonName(Quantity quantity)
{
    // "wet-bulb-f" -> "wetBulbF"
    QString name;
    bool upper = false;
    for (const QChar c : Key(quantity)) {
        if (c == QLatin1Char('-')) {
            upper = true;
            continue;
        }
        name += upper ? c.toUpper() : c;
        upper = false;
    }
    return name;
}

std::optional<Quantity> QuantityByKey(const QString& key)
{
    for (const Quantity q : DerivableQuantities()) {
        if (Key(q) == key)
            return q;
    }
    return std::nullopt;
}

DerivedChoice LoadDerivedChoice(QSettings& settings)
{
    DerivedChoice choice;
    settings.beginGroup(QStringLiteral("Derived"));
    const QStringList keys = settings.value(QStringLiteral("quantities")).toStringList();
    for (const Quantity q : DerivableQuantities()) {
        if (keys.contains(Key(q)))
            choice.shown.push_back(q);
    }
    const std::optional<Quantity> charted = QuantityByKey(settings.value(QStringLiteral("chart")).toString());
    if (charted && std::find(choice.shown.begin(), choice.shown.end(), *charted) != choice.shown.end())
        choice.charted = charted;
    bool ok = false;
    const double pressure = settings.value(QStringLiteral("pressure")).toDouble(&ok);
    const QString unit = settings.value(QStringLiteral("pressureUnit")).toString();
    if (DerivedPressureUnits().contains(unit))
        choice.unit = unit;
    if (ok && pressure >= 0)
        choice.pressure = pressure;
    choice.gauge = settings.value(QStringLiteral("gauge"), false).toBool();
    settings.endGroup();
    return choice;
}

void SaveDerivedChoice(const DerivedChoice& choice, QSettings& settings)
{
    QStringList keys;
    for (const Quantity q : choice.shown)
        keys << Key(q);
    settings.beginGroup(QStringLiteral("Derived"));
    settings.setValue(QStringLiteral("quantities"), keys);
    settings.setValue(QStringLiteral("chart"), choice.charted ? Key(*choice.charted) : QString());
    settings.setValue(QStringLiteral("pressure"), choice.pressure);
    settings.setValue(QStringLiteral("pressureUnit"), choice.unit);
    settings.setValue(QStringLiteral("gauge"), choice.gauge);
    settings.endGroup();
}

std::vector<std::optional<double>> DerivedValues(const DerivedChoice& choice, double ambient, double dewPoint)
{
    std::vector<std::optional<double>> values;
    if (choice.empty())
        return values;
    const humidity::State state = humidity::FromReading(ambient, dewPoint, choice.pascals());
    values.reserve(choice.shown.size());
    for (const Quantity q : choice.shown)
        values.push_back(state[q]);
    return values;
}

std::vector<std::optional<double>> DerivedValues(const DerivedChoice& choice, const Reading& reading)
{
    return DerivedValues(choice, reading.ambient / 10.0, reading.dewPoint / 10.0);
}

std::vector<DerivedValue> DerivedOf(const DerivedChoice& choice, const Reading& reading)
{
    const std::vector<std::optional<double>> values = DerivedValues(choice, reading);
    std::vector<DerivedValue> derived;
    derived.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        derived.push_back({choice.shown[i], values[i]});
    return derived;
}

} // namespace hmx
