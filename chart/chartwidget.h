// Chart engine: a QPainter widget drawing lines of (date-time, value) points (lines of
// readings, readings/lines.h) against a time-of-day axis, with a title, a legend below
// the plot and automatic axis ranging. Stays fast for millions of points: each line
// keeps a min/max summary so a redraw touches about one entry per pixel column.
// The user explores it with mouse and keyboard (zoom, pan, hover read-out, legend
// clicks, a context menu to save, copy, print and export what is shown).
#pragma once

#include "chart/chartvalues.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTime>
#include <QWidget>

#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

class QAction;
class QImage;
class QMenu;
class QPainter;
class QPrinter;

namespace hmx::readings {
class Line;
class Lines;
}

namespace hmx::chart {

class ChartWidget;
struct AxisRange;
struct ChartWidgetPrivate;
struct LineSeriesPrivate;

// Raised when an axis limit would cross the other one.
class AxisError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One line of the chart: how it draws a line of readings. X values are date-time
// values (days since 30 Dec 1899).
class LineSeries {
public:
    QString title() const;
    // The legend, the read-out and the CSV header take it at once (a line's owner renamed).
    void setTitle(const QString& title);
    QColor color() const;
    int lineWidth() const;

    // The line of readings drawn: the series' own empty line until it is given one (a
    // line of a readings::Lines, shared with whoever fills it); nullptr gives it an
    // empty one of its own again. The points below (addXY, clear, count, x, y, the
    // joining distance) are those of the line drawn. Schedules a redraw.
    void setData(std::shared_ptr<readings::Line> line);
    const std::shared_ptr<readings::Line>& data() const;

    // Keeps X ascending: appends when x is not below the last X (O(1), no search);
    // otherwise inserts after the last point whose X <= x. Schedules a redraw.
    void addXY(double x, double y);
    void clear();
    // Kept for callers that know how many points come: growing never moves the points
    // held (they live in chunks of their own), so there is nothing to set aside.
    void reserve(std::size_t points);

    // A hidden line is neither drawn, nor ranged, nor read out, nor exported; its
    // legend entry is greyed out. Clicking the entry toggles it.
    bool visible() const;
    void setVisible(bool on);

    // A point added further in X than this from its neighbour is not joined to it:
    // the line breaks there and the read-out says there is no reading. Holds for the
    // points added from now on (a loaded log and live readings may differ); 0 (the
    // default) joins every point. O(1).
    double joiningDistance() const;
    void setJoiningDistance(double days);

    // A line on the right value axis is ranged and labelled there, on its own; the left
    // axis then leaves it out. The right axis is drawn only while such a line is shown.
    bool onRightAxis() const;
    void setRightAxis(bool on);

    // A line that is not plotted is neither drawn, nor ranged, nor in the legend, but is
    // read out and exported like the others: a value shown beside the drawn ones.
    bool plotted() const;
    void setPlotted(bool on);

    std::size_t count() const;
    double x(std::size_t index) const;
    double y(std::size_t index) const;

    // Bytes held for the series, its points and their min/max summary (capacity, not size).
    std::size_t memoryBytes() const;

private:
    friend class ChartWidget;
    friend struct ChartWidgetPrivate;
    LineSeries(ChartWidget* chart, QString title, QColor color, int width);
    std::shared_ptr<LineSeriesPrivate> d;
    ChartWidget* m_chart;
};

class ChartAxis {
public:
    double minimum() const;
    double maximum() const;
    bool automatic() const;

    // Throw AxisError("Axis Minimum Value must be <= Maximum") / ("... Maximum Value must be >= Minimum")
    // and keep the old value when the new one would cross the other limit.
    void setMinimum(double value);
    void setMaximum(double value);
    // In automatic mode the range is recomputed from the data at every drawing.
    void setAutomatic(bool on);

private:
    friend class ChartWidget;
    ChartAxis(ChartWidget* chart, AxisRange* range) : m_chart(chart), m_range(range) {}
    ChartWidget* m_chart;
    AxisRange* m_range;  // kept with the view's state
};

class ChartWidget : public QWidget {
    Q_OBJECT
public:
    explicit ChartWidget(QWidget* parent = nullptr);
    ~ChartWidget() override;

    // One-line title above the plot.
    QString title() const;
    void setTitle(const QString& title);

    LineSeries* addSeries(const QString& title, const QColor& color, int lineWidth = 2);
    // Redraws whenever `lines` change (a model whose lines the series draw), until it is
    // destroyed or another is given; nullptr: none. Points added through a series'
    // addXY redraw the chart in any case.
    void setLines(const readings::Lines* lines);
    // Deletes the line (the pointer is dangling afterwards); the lines after it move up
    // one index, with their limit lines and shaded periods.
    void removeSeries(LineSeries* series);
    int seriesCount() const;
    LineSeries* series(int index) const;

    ChartAxis* bottomAxis();  // time of day, "hh:mm" labels written at 90 degrees
    ChartAxis* leftAxis();    // values of all series on one scale (but those on the right axis)
    ChartAxis* rightAxis();   // values of the series put on the right axis

    // Recomputes the automatic ranges now, as a drawing would.
    void updateRanges();

    // Layout of a drawing at the current size and axis values (no range update).
    ChartLayout chartLayout() const;

    // "hh:mm" time of day of a date-time value, with the default locale's time separator.
    static QString timeLabel(double x);
    // The default locale's separator between hours and minutes.
    static QString timeSeparator();

    // Local time of day of an X value, used for the texts of the time-axis labels
    // ("hh:mm"), the hover read-out ("hh:mm:ss") and the CSV export. Labels stay at
    // whole steps of X; only their texts go through this mapping. The default (and
    // an empty function) is the fraction of the day of x, to the millisecond.
    void setTimeOfDay(std::function<QTime(double x)> mapping);
    QTime timeOfDay(double x) const;

    void setTexts(const ChartTexts& texts);
    const ChartTexts& texts() const;

    // Both axes back to automatic mode; ends any zoom, pan or rectangle being dragged.
    void resetView();
    // True while the time axis is zoomed or panned and its right end keeps the same
    // distance from the newest point of the visible lines as new points arrive.
    bool followsNewest() const;

    // The chart as a picture at `scale` times its size (overlays such as the read-out
    // are left out). SVG files get a viewBox of the chart's size.
    QImage toImage(double scale = 1);
    // By the suffix: ".svg" writes SVG, anything else an image format Qt knows (PNG
    // when it knows none). False with `error` set when the file cannot be written.
    bool saveImage(const QString& fileName, double scale = 1, QString* error = nullptr);
    // Time of day, then one column per visible line, then the date and time (ISO 8601,
    // the clock's local time), of the points in the shown time range; points of
    // different lines less than a millisecond apart share a row.
    // Numbers use the default locale's decimal separator; fields are separated by ';'
    // where that is ',', else by ','. UTF-8 with a byte-order mark, CR LF line ends.
    bool exportCsv(const QString& fileName, QString* error = nullptr);
    // Text written after the CSV's table and an empty line, given its field separator;
    // an empty function (the default) writes none.
    void setCsvFooter(std::function<QString(const QString& separator)> footer);
    // Files an image or CSV is never written over (another name or a link to one of them
    // included); asked at each save, given the file to be written. Anything but a regular
    // file is never written over either, with or without them.
    void setKeptFiles(std::function<QStringList(const QString& output)> files);
    void copyImage();
    // Fitted to the printer's page, keeping the chart's proportions.
    bool print(QPrinter& printer);
    // The chart laid out at `size` (without overlays) into `p` from its origin, drawn
    // as lines and text, so a vector device (a PDF, SVG) keeps it sharp. Fonts are the
    // widget's: the device should have the screen's resolution, as an SVG is given.
    void renderChart(QPainter& p, const QSize& size);

    // Drawn with a line while it is shown; a limit line only when its value is inside
    // the value axis's range (the ranging does not reach out for it).
    void setLimitLines(int series, std::vector<LimitLine> lines);
    std::vector<LimitLine> limitLines(int series) const;
    void setShadedPeriods(int series, std::vector<ShadedPeriod> periods);
    std::vector<ShadedPeriod> shadedPeriods(int series) const;

    // The context-menu actions: reset view, save image, copy image, print, export CSV,
    // then those added by the chart's user.
    QList<QAction*> menuActions() const;
    // Appended to the context menu after a separator; the chart does not take it over.
    void addMenuAction(QAction* action);

    // Large series are drawn from per-column (first, min, max, last) summaries;
    // off draws every point (for comparing the two).
    void setDecimation(bool on);
    bool decimation() const;

signals:
    // After each drawing on the screen: the shown range, the lines shown or their
    // points may have changed since the one before.
    void drawn();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    friend class ChartAxis;
    friend struct ChartWidgetPrivate;
    std::unique_ptr<ChartWidgetPrivate> d;
    std::vector<std::unique_ptr<LineSeries>> m_series;  // the handles of d's lines, in order
    ChartAxis m_bottom;
    ChartAxis m_left;
    ChartAxis m_right;
};

} // namespace hmx::chart
