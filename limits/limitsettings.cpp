#include "limits/limitsettings.h"

#include <QSettings>

namespace hmx {

namespace {

using limits::Bound;

QString Group(const limits::QuantityInfo& q)
{
    return QStringLiteral("limits/") + QString::fromLatin1(q.key.data(), qsizetype(q.key.size()));
}

} // namespace

QLatin1StringView BoundSettingsKey(Bound b)
{
    switch (b) {
    case Bound::AlarmLow: return QLatin1StringView("alarmLow");
    case Bound::WarningLow: return QLatin1StringView("warningLow");
    case Bound::WarningHigh: return QLatin1StringView("warningHigh");
    case Bound::AlarmHigh: return QLatin1StringView("alarmHigh");
    }
    return {};
}

limits::Limits AlarmPreferences::of(limits::QuantityId id) const
{
    const auto found = limits.find(id);
    return found == limits.end() ? limits::Limits{} : found->second;
}

std::unique_ptr<QSettings> ProgramSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("hmx700"),
                                       QStringLiteral("hmx700"));
}

AlarmPreferences LoadAlarmPreferences(QSettings& settings)
{
    AlarmPreferences p;
    for (const limits::QuantityInfo& q : limits::MeasuredQuantities) {
        settings.beginGroup(Group(q));
        limits::Limits l;
        for (const Bound b : limits::AllBounds) {
            bool ok = false;
            const double value = settings.value(BoundSettingsKey(b)).toDouble(&ok);
            if (ok)
                l[b] = value;
        }
        l.hysteresis = settings.value(QStringLiteral("hysteresis"), 0.0).toDouble();
        l.delaySeconds = settings.value(QStringLiteral("delay"), 0.0).toDouble();
        settings.endGroup();
        // Stored by hand into nonsense: not used, as the dialog would not have taken it.
        if (l.any() && limits::Validate(l))
            p.limits[q.id] = l;
    }
    p.soundForAlarms = settings.value(QStringLiteral("alarms/soundForAlarms"), true).toBool();
    p.soundForWarnings = settings.value(QStringLiteral("alarms/soundForWarnings"), false).toBool();
    return p;
}

void SaveAlarmPreferences(QSettings& settings, const AlarmPreferences& p)
{
    for (const limits::QuantityInfo& q : limits::MeasuredQuantities) {
        settings.remove(Group(q));
        const limits::Limits l = p.of(q.id);
        if (!l.any())
            continue;
        settings.beginGroup(Group(q));
        for (const Bound b : limits::AllBounds) {
            if (l[b])
                settings.setValue(BoundSettingsKey(b), *l[b]);
        }
        settings.setValue(QStringLiteral("hysteresis"), l.hysteresis);
        settings.setValue(QStringLiteral("delay"), l.delaySeconds);
        settings.endGroup();
    }
    settings.setValue(QStringLiteral("alarms/soundForAlarms"), p.soundForAlarms);
    settings.setValue(QStringLiteral("alarms/soundForWarnings"), p.soundForWarnings);
    settings.sync();
}

} // namespace hmx
