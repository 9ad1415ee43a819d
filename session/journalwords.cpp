#include "session/journalwords.h"

#include "log/eventjournal.h"

#include <functional>

namespace hmx {

namespace {

struct SettingsField {
    const char* name;
    std::function<int(const SettingsValues&)> value;
};

// In the record's order.
const SettingsField SettingsFields[] = {
    {"UpperUnit", [](const SettingsValues& s) { return int(s.UpperUnit); }},
    {"LowerUnit", [](const SettingsValues& s) { return int(s.LowerUnit); }},
    {"Alarm1Mode", [](const SettingsValues& s) { return int(s.Alarm1Mode); }},
    {"Alarm2Mode", [](const SettingsValues& s) { return int(s.Alarm2Mode); }},
    {"Alarm1High", [](const SettingsValues& s) { return int(s.Alarm1High); }},
    {"Alarm1HighExp", [](const SettingsValues& s) { return int(s.Alarm1HighExp); }},
    {"Alarm1Low", [](const SettingsValues& s) { return int(s.Alarm1Low); }},
    {"Alarm1LowExp", [](const SettingsValues& s) { return int(s.Alarm1LowExp); }},
    {"Alarm2High", [](const SettingsValues& s) { return int(s.Alarm2High); }},
    {"Alarm2Low", [](const SettingsValues& s) { return int(s.Alarm2Low); }},
    {"Output1Type", [](const SettingsValues& s) { return int(s.Output1Type); }},
    {"Output2Type", [](const SettingsValues& s) { return int(s.Output2Type); }},
    {"Output1Min", [](const SettingsValues& s) { return int(s.Output1Min); }},
    {"Output1MinExp", [](const SettingsValues& s) { return int(s.Output1MinExp); }},
    {"Output1Max", [](const SettingsValues& s) { return int(s.Output1Max); }},
    {"Output1MaxExp", [](const SettingsValues& s) { return int(s.Output1MaxExp); }},
    {"Output2Min", [](const SettingsValues& s) { return int(s.Output2Min); }},
    {"Output2Max", [](const SettingsValues& s) { return int(s.Output2Max); }},
    {"CleaningInterval", [](const SettingsValues& s) { return int(s.CleaningInterval); }},
};

QString BoundWord(limits::Bound b)
{
    switch (b) {
    case limits::Bound::AlarmLow: return QStringLiteral("alarmLow");
    case limits::Bound::WarningLow: return QStringLiteral("warningLow");
    case limits::Bound::WarningHigh: return QStringLiteral("warningHigh");
    case limits::Bound::AlarmHigh: return QStringLiteral("alarmHigh");
    }
    return {};
}

} // namespace

QStringList SettingsChanges(const std::optional<SettingsValues>& before, const SettingsValues& after)
{
    QStringList changes;
    for (const SettingsField& field : SettingsFields) {
        const int value = field.value(after);
        if (!before || field.value(*before) != value)
            changes << Detail(QLatin1String(field.name), QString::number(value));
    }
    return changes;
}

QString LimitEventKind(const limits::LimitEvent& event)
{
    switch (event.kind) {
    case limits::LimitEvent::Kind::Crossed: return QStringLiteral("limit-crossed");
    case limits::LimitEvent::Kind::Cleared: return QStringLiteral("limit-cleared");
    case limits::LimitEvent::Kind::Acknowledged: return QStringLiteral("limit-acknowledged");
    case limits::LimitEvent::Kind::Removed: return QStringLiteral("limit-removed");
    }
    return {};
}

QStringList LimitEventDetails(limits::QuantityId quantity, const limits::LimitEvent& event)
{
    const std::string_view key = limits::QuantityKey(quantity);
    return {
        Detail(QStringLiteral("quantity"), key.empty() ? QString::number(int(quantity))
                                                       : QString::fromLatin1(key.data(), qsizetype(key.size()))),
        Detail(QStringLiteral("level"), limits::LevelOf(event.bound) == limits::Level::Alarm ? QStringLiteral("alarm")
                                                                                             : QStringLiteral("warning")),
        Detail(QStringLiteral("limit"), BoundWord(event.bound)),
        Detail(QStringLiteral("value"), JournalNumber(event.value)),
        Detail(QStringLiteral("limitValue"), JournalNumber(event.limit)),
    };
}

QStringList LogProblemDetails(const LogProblem& problem)
{
    QStringList details{Detail(QStringLiteral("file"), problem.file)};
    if (!problem.reason.isEmpty())
        details << Detail(QStringLiteral("reason"), problem.reason);
    return details;
}

QString JournalNumber(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace hmx
