#include "ui/chartlimits.h"

#include "instrument/charttime.h"
#include "ui/alarmpanel.h"
#include "ui/language.h"
#include "ui/statisticstexts.h"

#include <QAction>

namespace hmx {

namespace {

void ShowAlarmPeriods(chart::ChartWidget& chart, const AlarmPanel& alarms)
{
    for (const auto& [quantity, line] : ChartLineOf) {
        std::vector<chart::ShadedPeriod> shaded;
        for (const limits::Period& period : alarms.alarmPeriods(quantity)) {
            chart::ShadedPeriod s{ChartX(period.start)};
            if (period.end)
                s.to = ChartX(*period.end);
            shaded.push_back(s);
        }
        if (shaded != chart.shadedPeriods(line))
            chart.setShadedPeriods(line, std::move(shaded));
    }
}

} // namespace

void ShowLimitLines(chart::ChartWidget& chart, const AlarmPreferences& preferences,
                    const std::vector<InstrumentAlarm>& instrumentAlarms)
{
    for (const auto& [quantity, line] : ChartLineOf)
        chart.setLimitLines(line, ChartLimitLines(quantity, preferences.of(quantity), instrumentAlarms));
}

std::vector<chart::LimitLine> ChartLimitLines(limits::QuantityId quantity, const limits::Limits& limits,
                                              const std::vector<InstrumentAlarm>& instrumentAlarms)
{
    using Kind = chart::LimitLine::Kind;
    std::vector<chart::LimitLine> lines;
    for (limits::Bound bound : {limits::Bound::AlarmLow, limits::Bound::WarningLow, limits::Bound::WarningHigh,
                                limits::Bound::AlarmHigh}) {
        if (const std::optional<double>& value = limits[bound]) {
            const bool alarm = bound == limits::Bound::AlarmLow || bound == limits::Bound::AlarmHigh;
            lines.push_back({*value, alarm ? Kind::Alarm : Kind::Warning, {}});
        }
    }
    for (const InstrumentAlarm& a : instrumentAlarms) {
        if (a.quantity != quantity)
            continue;
        const QString label = QStringLiteral("A%1").arg(a.number);
        lines.push_back({a.high, Kind::Threshold, label});
        lines.push_back({a.low, Kind::Threshold, label});
    }
    return lines;
}

std::vector<chart::StatisticsLimit> ChartStatisticsLimits(const AlarmPreferences& preferences, int line)
{
    for (const auto& [quantity, at] : ChartLineOf) {
        if (at == line)
            return StatisticsLimits(preferences.of(quantity));
    }
    return {};
}

std::vector<chart::StatisticsLimit> ChartStatisticsLimits(const AlarmPanel& alarms, int line)
{
    return ChartStatisticsLimits(alarms.preferences(), line);
}

void ShowAlarmsOnChart(chart::ChartWidget& chart, AlarmPanel& alarms)
{
    ShowLimitLines(chart, alarms.preferences(), alarms.instrumentAlarms());
    ShowAlarmPeriods(chart, alarms);
    QObject::connect(&alarms, &AlarmPanel::limitsChanged, &chart, [&chart, &alarms] {
        ShowLimitLines(chart, alarms.preferences(), alarms.instrumentAlarms());
        ShowAlarmPeriods(chart, alarms);
    });
    // A period begins or ends only with an event.
    QObject::connect(&alarms, &AlarmPanel::limitEventsShown, &chart, [&chart, &alarms] { ShowAlarmPeriods(chart, alarms); });

    auto* open = new QAction(ByLanguage("Limity…", "Limits…"), &chart);
    open->setObjectName(QStringLiteral("ChartLimitsAction"));
    QObject::connect(open, &QAction::triggered, &alarms, &AlarmPanel::openLimitsDialog);
    chart.addMenuAction(open);
}

} // namespace hmx
