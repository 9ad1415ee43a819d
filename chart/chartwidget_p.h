// The chart's private state, shared by the files that build, draw, steer and export it.
// Below the widget: it knows the widget only as a QWidget.
#pragma once

#include "chart/chartvalues.h"
#include "readings/clocktext.h"
#include "readings/lines.h"

#include <QColor>
#include <QPoint>
#include <QPointF>
#include <QTime>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;

namespace hmx::chart {

// The readings' units the engine draws from, and the clock's texts, by their short names.
using readings::Gaps;
using readings::Line;
using readings::MinMax;
using readings::PointStore;
using readings::Span;
using readings::DrawnSpan;
using readings::Interpolate;
using readings::Nearest;
using readings::SpanOf;
using readings::ValueExtent;
using readings::ClockDate;
using readings::ClockText;
using readings::FractionOfDay;
using readings::ShortDateText;
using readings::TimeSeparator;

struct LineSeriesPrivate {
    QString title;
    QColor color;
    int width = 2;
    bool visible = true;
    bool right = false;    // on the right value axis
    bool plotted = true;   // drawn, ranged and in the legend; else only read out and exported
    std::shared_ptr<Line> data = std::make_shared<Line>();  // the line drawn
    std::vector<LimitLine> limits;
    std::vector<ShadedPeriod> shaded;

    const PointStore& points() const { return data->points(); }
    const Gaps& gaps() const { return data->gaps(); }
};

struct AxisRange {
    double min = 0;
    double max = 0;
    bool automatic = true;
};

// Zoom, pan and follow, the drag in progress and the hover.
struct ViewState {
    AxisRange time;
    AxisRange value;
    AxisRange right;  // the right value axis: only its own lines, never zoomed or panned

    // A zoomed or panned time axis whose right end keeps this distance from the newest point.
    bool following = false;
    double followGap = 0;

    // Mouse drag: pending until it moves past the drag distance, then a pan or a zoom rectangle.
    enum class Drag { None, Pending, Pan, Zoom };
    Drag drag = Drag::None;
    Qt::MouseButton dragButton = Qt::NoButton;
    bool dragZooms = false;
    QPoint pressPos;
    QPoint dragPos;
    ChartLayout pressLayout;
    bool pressValueAutomatic = true;

    bool hover = false;
    QPoint hoverPos;
    QRect drawnPlot;  // the plot of the last drawing: moves elsewhere need no redraw
};

struct ChartWidgetPrivate {
    explicit ChartWidgetPrivate(QWidget* chart) : q(chart) {}

    QWidget* q;
    QString title;
    std::vector<std::shared_ptr<LineSeriesPrivate>> lines;  // in legend order
    QMetaObject::Connection linesChanged;  // redraws on the model's changes
    bool decimation = true;
    std::function<QTime(double)> timeOfDay;
    ChartTexts texts;
    std::function<QString(const QString&)> csvFooter;
    std::function<QStringList(const QString&)> keptFiles;  // what an export never writes over
    ViewState view;
    // The painter's buffer for a line's polylines, kept from one redraw to the next.
    mutable std::vector<QPointF> polyline;

    QAction* resetView = nullptr;
    QAction* saveImage = nullptr;
    QAction* copyImage = nullptr;
    QAction* print = nullptr;
    QAction* exportCsv = nullptr;
    QList<QAction*> extraActions;
    QMenu* menu = nullptr;

    std::size_t lineCount() const { return lines.size(); }
    const LineSeriesPrivate& line(std::size_t i) const { return *lines[i]; }
    LineSeriesPrivate& line(std::size_t i) { return *lines[i]; }
    // A line counts in the automatic ranges and the read-out when shown and not empty.
    bool lineCounts(std::size_t i) const { return line(i).visible && !line(i).points().empty(); }
    // A counted line drawn against the left (right = false) or the right value axis.
    bool lineDrawnOn(std::size_t i, bool right) const
    {
        return lineCounts(i) && line(i).plotted && line(i).right == right;
    }
    // Local time of day of x: the mapping set, else the fraction of the day of x.
    QTime timeOfDayAt(double x) const;
    // After a caller set an axis: a time axis set by hand stops following.
    void axisSetByCaller(bool timeAxis);
    void showMenu(const QPoint& globalPos);
    void reportWriteError(const QString& message);
};

} // namespace hmx::chart
