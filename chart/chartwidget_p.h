// The chart's private state, shared by the files that build, draw, steer and export it.
#pragma once

#include "chart/chartwidget.h"
#include "chart/pointstore.h"
#include "chart/series.h"

#include <QPointF>

#include <vector>

namespace hmx::chart {

struct LineSeriesPrivate {
    QString title;
    QColor color;
    int width = 2;
    bool visible = true;
    bool right = false;    // on the right value axis
    bool plotted = true;   // drawn, ranged and in the legend; else only read out and exported
    PointStore points;
    Gaps gaps;
    std::vector<LimitLine> limits;
    std::vector<ShadedPeriod> shaded;
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
    explicit ChartWidgetPrivate(ChartWidget* chart) : q(chart) {}

    ChartWidget* q;
    QString title;
    std::vector<std::unique_ptr<LineSeries>> series;
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

    static const LineSeriesPrivate& of(const LineSeries& line) { return *line.d; }
    std::size_t lineCount() const { return series.size(); }
    const LineSeriesPrivate& line(std::size_t i) const { return *series[i]->d; }
    LineSeries& lineHandle(std::size_t i) const { return *series[i]; }
    // A line counts in the automatic ranges and the read-out when shown and not empty.
    bool lineCounts(std::size_t i) const { return line(i).visible && !line(i).points.empty(); }
    // A counted line drawn against the left (right = false) or the right value axis.
    bool lineDrawnOn(std::size_t i, bool right) const
    {
        return lineCounts(i) && line(i).plotted && line(i).right == right;
    }
    // After a caller set an axis: a time axis set by hand stops following.
    void axisSetByCaller(bool timeAxis);
    void showMenu(const QPoint& globalPos);
    void reportWriteError(const QString& message);
};

} // namespace hmx::chart
