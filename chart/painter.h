// Drawing a layout into any QPainter: the widget, an image, SVG or a printer.
#pragma once

#include "chart/layout.h"

#include <QPolygonF>

#include <vector>

namespace hmx::chart {

// The polylines of a line's points in a layout, one per stretch between its breaks,
// in device pixels `scale` times the chart's. With `decimate`, long stretches are
// drawn from each device pixel column's first, lowest, highest and last value, which
// sets the same pixels as every point. With `right`, against the right value axis.
std::vector<QPolygonF> LinePolylines(const PointStore& points, const Gaps& gaps, const ChartLayout& layout,
                                     double scale, bool decimate, bool right = false);

// Everything but the overlays, then (with `overlays`) the zoom rectangle, the read-out
// and the view sign.
void PaintChart(QPainter& p, const ChartWidgetPrivate& d, const ChartLayout& layout, bool overlays);

} // namespace hmx::chart
