// The humidity quantities the user has chosen to see beside the three readings, and the
// process pressure they are computed at. Kept with QSettings under "Derived/" (the
// window's preferences and the headless recorder's INI file use the same keys).
#pragma once

#include "humidity/quantities.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace hmx {

struct Reading;

// One derived quantity of a reading; none where it lies outside the formulas' range.
struct DerivedValue {
    humidity::Quantity quantity;
    std::optional<double> value;

    friend bool operator==(const DerivedValue&, const DerivedValue&) = default;
};

struct DerivedChoice {
    std::vector<humidity::Quantity> shown;      // in the order of the quantity table
    std::optional<humidity::Quantity> charted;  // one of `shown`, drawn on the chart
    double pressure = 1013.25;                  // in `unit`
    QString unit = QStringLiteral("hPa");       // hPa, bar or psi
    bool gauge = false;                         // above the standard atmosphere

    bool empty() const { return shown.empty(); }
    bool operator==(const DerivedChoice&) const = default;
    // The absolute pressure in Pa.
    double pascals() const;
};

// The units the process pressure may be given in.
inline const QStringList& DerivedPressureUnits()
{
    static const QStringList units{QStringLiteral("hPa"), QStringLiteral("bar"), QStringLiteral("psi")};
    return units;
}

// The quantities a reading (air temperature and dew point) can give that are not
// readings themselves: frost point, ppmV, g/m³ and the like.
std::vector<humidity::Quantity> DerivableQuantities();

// The stable name of a quantity in a JSON payload and a settings file: "absoluteHumidity".
QString JsonName(humidity::Quantity quantity);
// The quantity of a settings key ("absolute-humidity"), if any.
std::optional<humidity::Quantity> QuantityByKey(const QString& key);

// "Derived/quantities" (the keys of the table), "Derived/chart", "Derived/pressure",
// "Derived/pressureUnit" and "Derived/gauge". Unknown or underivable keys are left out.
DerivedChoice LoadDerivedChoice(QSettings& settings);
void SaveDerivedChoice(const DerivedChoice& choice, QSettings& settings);

// The chosen quantities of one reading, in the order of `choice.shown`: a value, or
// nullopt where the reading lies outside the formulas' range.
std::vector<std::optional<double>> DerivedValues(const DerivedChoice& choice, double ambient, double dewPoint);
std::vector<std::optional<double>> DerivedValues(const DerivedChoice& choice, const Reading& reading);
// The same, each with its quantity, as a reading carries them.
std::vector<DerivedValue> DerivedOf(const DerivedChoice& choice, const Reading& reading);

} // namespace hmx
