// Chart1's configuration: title, flat look, legend below, the three lines and the
// texts of its context menu in the interface language.
#pragma once

#include "chart/chartwidget.h"

namespace hmx {

struct ChartLines {
    chart::LineSeries* dewPoint = nullptr;  // Series1 "°Cdp", blue
    chart::LineSeries* humidity = nullptr;  // Series6 "%Rh", green
    chart::LineSeries* ambient = nullptr;   // Series7 "°C", red
};

// Configures an empty chart as Chart1 and creates its three lines, in legend order.
ChartLines ConfigureChart1(chart::ChartWidget& chart);

} // namespace hmx
