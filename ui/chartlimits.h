// The alarms on the chart: each line's limits (alarm solid, warning dashed), the
// instrument's thresholds ("A1"/"A2") and the periods spent past an alarm limit,
// kept up to date with the alarm panel; and "Limity…" in the chart's menu.
#pragma once

#include "chart/chartwidget.h"
#include "chart/statistics.h"
#include "instrument/alarmthresholds.h"
#include "limits/alarmpreferences.h"

#include <utility>
#include <vector>

namespace hmx {

class AlarmPanel;

// The chart's line of each measured quantity, as ConfigureChart1 adds them.
inline constexpr std::pair<limits::QuantityId, int> ChartLineOf[] = {
    {limits::QuantityId::DewPoint, 0},
    {limits::QuantityId::Humidity, 1},
    {limits::QuantityId::Ambient, 2},
};

// The lines drawn for a quantity's limits and the instrument alarms on its line.
std::vector<chart::LimitLine> ChartLimitLines(limits::QuantityId quantity, const limits::Limits& limits,
                                              const std::vector<InstrumentAlarm>& instrumentAlarms);

// Every measured line's limit lines on the chart.
void ShowLimitLines(chart::ChartWidget& chart, const AlarmPreferences& preferences,
                    const std::vector<InstrumentAlarm>& instrumentAlarms);

// The limits of a chart line as its statistics measure the time past them; none for
// a line without a quantity's limits.
std::vector<chart::StatisticsLimit> ChartStatisticsLimits(const AlarmPanel& alarms, int line);
std::vector<chart::StatisticsLimit> ChartStatisticsLimits(const AlarmPreferences& preferences, int line);

// Connects the panel to the chart, whose lines are in legend order dew point,
// humidity, ambient.
void ShowAlarmsOnChart(chart::ChartWidget& chart, AlarmPanel& alarms);

} // namespace hmx
