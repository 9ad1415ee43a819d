#include "ui/chartlimits.h"

#include "instrument/charttime.h"
#include "report/chartlimits.h"
#include "ui/alarmpanel.h"
#include "ui/language.h"

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
