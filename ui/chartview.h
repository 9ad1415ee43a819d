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

// X distances past which a line breaks: ten cycles without a reading for live
// readings, a minute for a loaded log (it may have been written at a slower pace).
inline constexpr double LiveJoiningDistance = 5.0 / 86400;
inline constexpr double LogJoiningDistance = 60.0 / 86400;

// Configures an empty chart as Chart1 and creates its three lines, in legend order.
ChartLines ConfigureChart1(chart::ChartWidget& chart);

} // namespace hmx
