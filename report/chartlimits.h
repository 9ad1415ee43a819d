// The limits on the chart and in its statistics: each measured line's limits (alarm
// solid, warning dashed) and the instrument's thresholds ("A1"/"A2") as lines across
// the plot, and a quantity's limits as the columns of time spent past them.
#pragma once

#include "chart/chartwidget.h"
#include "humidity/quantities.h"
#include "instrument/alarmthresholds.h"
#include "limits/limitsettings.h"
#include "readings/statistics.h"
#include "report/language.h"

#include <utility>
#include <vector>

namespace hmx {

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

// The limits of a line's quantity as its statistics measure the time past them; none
// for a quantity without limits (a derived one).
std::vector<readings::StatisticsLimit> StatisticsLimitsOf(const AlarmPreferences& preferences,
                                                          humidity::Quantity quantity, Language language);

} // namespace hmx
