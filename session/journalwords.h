// The journal's words for what happens: the kinds and the detail columns of a measuring
// session's events. Fixed English words and C-locale numbers, whatever the interface
// language, so a spreadsheet and a script read every journal the same way.
#pragma once

#include "instrument/settings.h"
#include "limits/limitwatch.h"
#include "log/measurementlog.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace hmx {

// "UpperUnit=0" for each field that differs from `before` (every field without it).
QStringList SettingsChanges(const std::optional<SettingsValues>& before, const SettingsValues& after);

// "limit-crossed", "limit-cleared", "limit-acknowledged", "limit-removed".
QString LimitEventKind(const limits::LimitEvent& event);
// quantity, level, limit (which one), value, limit value.
QStringList LimitEventDetails(limits::QuantityId quantity, const limits::LimitEvent& event);

// file and the system's reason.
QStringList LogProblemDetails(const LogProblem& problem);

// A number as the journal writes it: "-10.5".
QString JournalNumber(double value);

} // namespace hmx
