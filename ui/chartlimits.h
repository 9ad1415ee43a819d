// The alarms on the chart, kept up to date with the alarm panel: each line's limit
// lines and the periods spent past an alarm limit; and "Limity…" in the chart's menu.
#pragma once

#include "chart/chartwidget.h"

namespace hmx {

class AlarmPanel;

// Connects the panel to the chart, whose lines are in legend order dew point,
// humidity, ambient.
void ShowAlarmsOnChart(chart::ChartWidget& chart, AlarmPanel& alarms);

} // namespace hmx
