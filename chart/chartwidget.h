// Chart engine: a QPainter widget drawing line series of (date-time, value) points
// against a time-of-day axis, with a title, a legend below the plot and automatic
// axis ranging. Stays fast for millions of points: each series keeps a min/max
// summary so a redraw touches about one entry per pixel column.
#pragma once

#include <QColor>
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
