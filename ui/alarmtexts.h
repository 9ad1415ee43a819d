// What the window says about limits, in the interface language.
#pragma once

#include "limits/limitwatch.h"
#include "report/limittexts.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace hmx {

// In the window's language: "Temperatura punktu rosy", "Dew point temperature".
// (QuantityUnit and LimitNumberText come with report/limittexts.h.)
QString QuantityName(limits::QuantityId id);
// "górny próg alarmu", "upper alarm limit".
QString BoundName(limits::Bound bound);
// A limit value with its unit, in the locale's numbers: "-10,5 °C".
QString LimitValueText(double value, limits::QuantityId id, const QLocale& locale = QLocale());

// Beside a display field while a limit is crossed: "Alarm: górny próg 10 °C\nod 03:12:05".
QString LimitStatusText(limits::QuantityId id, const limits::LimitStatus& status,
                        const QLocale& locale = QLocale());

// A notification: its title and its text.
QString CrossingTitle(limits::Level level);
QString CrossingText(limits::QuantityId id, const limits::LimitEvent& event, const QLocale& locale = QLocale());

// Why the dialog refuses a quantity's limits.
QString LimitCheckText(limits::QuantityId id, const limits::LimitCheck& check, const QLocale& locale = QLocale());

} // namespace hmx
