// Where a drawing puts things, as a value: title, legend, plot, ticks and labels, the
// overlays (view sign, zoom rectangle, hover read-out), and the one mapping between
// data and the plot's pixels.
#pragma once

#include "chart/chartwidget_p.h"

namespace hmx::chart {

// Pixels between the parts, shared by the layout and the drawing.
constexpr int Tick = 4;       // axis tick length
constexpr int LabelGap = 2;   // between a tick and its label
constexpr int SampleGap = 4;  // between a legend's colour sample and its text
constexpr int BoxPad = 4;     // inside the read-out box and the view sign

// Data to pixels and back in a layout's plot. The value axis keeps 3 % of the plot's
// height free above and below the drawn range.
struct PlotMap {
    static constexpr double ValueInset = 0.03;

    // Against the left value axis, or with `right` the right one.
    explicit PlotMap(const ChartLayout& layout, bool right = false);
    double timeMin, timeSpan, valueMin, valueSpan, left, base, width, height;
    double sx;  // pixels per day
    double sy;  // pixels per value unit
    double px(double x) const { return left + (x - timeMin) * sx; }
    double py(double y) const { return base - (y - valueMin) * sy; }
    // Data moved by a drag of pixels.
    double timeBy(double pixels) const { return pixels * timeSpan / width; }
    double valueBy(double pixels) const { return pixels * valueSpan / height; }
    double timeAt(double pixel) const { return timeMin + timeBy(pixel - left); }
    double valueAt(double pixel) const { return valueMin + valueBy(base - pixel); }
};

// Pixels of the value axis of a plot `height` pixels high.
double ValueAxisPixels(int height);

QFont TitleFont(const QFont& base);

// The layout at `size` with the current axis ranges (no range update); with
// `overlays` also the view sign, the zoom rectangle and the read-out.
ChartLayout LayoutChart(const ChartWidgetPrivate& d, QSize size, bool overlays);

// The read-out for the cursor at `cursor` inside the layout's plot.
ChartLayout::ReadOut ReadOutAt(const ChartWidgetPrivate& d, const ChartLayout& layout, QPoint cursor);

} // namespace hmx::chart
