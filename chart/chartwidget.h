// Chart engine: a QPainter widget drawing line series of (date-time, value) points
// against a time-of-day axis, with a title, a legend below the plot and automatic
// axis ranging. Stays fast for millions of points: each series keeps a min/max
// summary so a redraw touches about one entry per pixel column.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>
#include <stdexcept>
#include <vector>

namespace hmx::chart {

class ChartWidget;

// Raised when an axis limit would cross the other one.
class AxisError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One line of the chart. X values are date-time values (days since 30 Dec 1899).
class LineSeries {
public:
    QString title() const;
    QColor color() const;
    int lineWidth() const;

    // Keeps X ascending: appends when x is not below the last X (O(1), no search);
    // otherwise inserts after the last point whose X <= x. Schedules a redraw.
    void addXY(double x, double y);
    void clear();

    std::size_t count() const;
    double x(std::size_t index) const;
    double y(std::size_t index) const;

    // Bytes held for the points and their min/max summary (capacity, not size).
    std::size_t memoryBytes() const;

private:
    friend class ChartWidget;
    LineSeries(ChartWidget* chart, QString title, QColor color, int width);
    struct Impl;
    std::shared_ptr<Impl> d;
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
    explicit ChartAxis(ChartWidget* chart) : m_chart(chart) {}
    ChartWidget* m_chart;
    double m_min = 0;
    double m_max = 0;
    bool m_automatic = true;
};

// Where the next drawing puts things, in widget pixels.
struct ChartLayout {
    QRect title;
    QRect legend;                   // legend box, without its shadow
    QRect plot;                     // area inside the axes
    double timeMin = 0, timeMax = 0;    // range drawn on the time axis
    double valueMin = 0, valueMax = 0;  // range drawn on the value axis
    double timeStep = 0;            // days between time labels
    std::vector<double> timeTicks;  // X of each time label
    std::vector<QRect> timeLabels;  // box of each (vertical) time label
    std::vector<QString> timeTexts; // text of each; empty where it would repeat the one before
    double valueStep = 0;
    std::vector<double> valueTicks;
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
    int seriesCount() const;
    LineSeries* series(int index) const;

    ChartAxis* bottomAxis();  // time of day, "hh:mm" labels written at 90 degrees
    ChartAxis* leftAxis();    // values of all series on one scale

    // Recomputes the automatic ranges now, as a drawing would.
    void updateRanges();

    // Layout of a drawing at the current size and axis values (no range update).
    ChartLayout chartLayout() const;

    // "hh:mm" time of day of a date-time value, with the default locale's time separator.
    static QString timeLabel(double x);
    // The default locale's separator between hours and minutes.
    static QString timeSeparator();

    // Large series are drawn from per-column (first, min, max, last) summaries;
    // off draws every point (for comparing the two).
    void setDecimation(bool on);
    bool decimation() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class LineSeries;
    friend class ChartAxis;
    void seriesChanged();
    struct Impl;
    std::unique_ptr<Impl> d;
    ChartAxis m_bottom{this};
    ChartAxis m_left{this};
};

} // namespace hmx::chart
