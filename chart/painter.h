// Drawing a layout into any QPainter: the widget, an image, SVG or a printer.
#pragma once

#include "chart/layout.h"

#include <QPolygonF>

namespace hmx::chart {

// The polyline of a line's points in a layout, in device pixels `scale` times the
// chart's. With `decimate`, long stretches are drawn from each device pixel column's
// first, lowest, highest and last value, which sets the same pixels as every point.
QPolygonF LinePolyline(const PointStore& points, const ChartLayout& layout, double scale, bool decimate);

// Everything but the overlays, then (with `overlays`) the zoom rectangle, the read-out
// and the view sign.
void PaintChart(QPainter& p, const ChartWidgetPrivate& d, const ChartLayout& layout, bool overlays);

} // namespace hmx::chart
