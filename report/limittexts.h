// What a limit is called, in the language asked: the quantity watched, the bound, and
// a limit's number as the limits dialog takes it. The window's alarm texts and the run
// report both write limits with these.
#pragma once

#include "limits/limits.h"
#include "report/language.h"

#include <QLocale>
#include <QString>

namespace hmx {

// "Temperatura punktu rosy", "Dew point temperature".
QString QuantityName(limits::QuantityId id, Language language);
// The unit the quantity is shown in: "°C", "%".
QString QuantityUnit(limits::QuantityId id);
// "górny próg alarmu", "upper alarm limit".
QString BoundName(limits::Bound bound, Language language);
// A limit's number as the settings page writes numbers, to a hundredth (what the Limits
// dialog takes): "-10,5", "0,25".
QString LimitNumberText(double value, const QLocale& locale = QLocale());

} // namespace hmx
