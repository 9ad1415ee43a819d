// Chart1's configuration: title, flat look, legend below, the three lines and the
// texts of its context menu in the language asked; and the lines of readings it draws.
// The window and hmx700-report draw the same chart with it.
#pragma once

#include "chart/chartwidget.h"
#include "humidity/quantities.h"
#include "limits/limits.h"
#include "log/chartfile.h"
#include "report/language.h"

#include <optional>

namespace hmx {

namespace readings {
class Lines;
}

struct ChartLines {
    chart::LineSeries* dewPoint = nullptr;  // Series1 "°Cdp", blue
    chart::LineSeries* humidity = nullptr;  // Series6 "%Rh", green
    chart::LineSeries* ambient = nullptr;   // Series7 "°C", red
};

// Configures an empty chart as Chart1 and creates its three lines, in legend order,
// each drawing an empty line of its own, joined as live readings are.
ChartLines ConfigureChart1(chart::ChartWidget& chart, Language language);

// The three lines draw those of `lines` (dew point, relative humidity, ambient
// temperature), and the chart redraws whenever `lines` change. The lines' joining
// distances are the filler's: they stay as they are.
void ShowLines(chart::ChartWidget& chart, const ChartLines& series, readings::Lines& lines);

// The legend's title of a measured quantity's line: "°Cdp", "%Rh", "°C".
QString ReadingTitle(limits::QuantityId quantity);

// The quantity of each line of a chart file or log, and of each measured one.
humidity::Quantity QuantityOf(ChartLine line);
humidity::Quantity QuantityOf(limits::QuantityId quantity);
// The measured quantity (and its limits) of a line's quantity; nullopt for a derived one.
std::optional<limits::QuantityId> MeasuredQuantityOf(humidity::Quantity quantity);

} // namespace hmx
