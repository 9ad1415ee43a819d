// Values the chart engine shares with its users and its own parts: where a drawing
// puts things (the layout), the limit lines and shaded periods drawn over a line, and
// the texts it shows. Plain values, apart from the widget.
#pragma once

#include <QRect>
#include <QString>

#include <cstddef>
#include <limits>
#include <vector>

namespace hmx::chart {

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
    bool rightAxis = false;             // a shown line is on the right value axis
    double rightMin = 0, rightMax = 0;  // range drawn on it
    double rightStep = 0;
    std::vector<double> rightTicks;
    std::vector<QRect> legendEntries;  // per series: colour sample and title (click target)
    std::vector<QRect> legendSamples;  // per series: colour sample
    QRect manualSign;               // "not automatic" sign in the plot's corner; null when automatic
    QRect zoomRect;                 // rectangle being dragged out; null when none

    // Hover read-out: a vertical line at the moment read and a box of texts.
    struct Value {
        int series = 0;             // index of the line
        std::size_t index = 0;      // its point read
        QString text;               // value and line title, in the line's colour
    };
    struct ReadOut {
        bool shown = false;
        double x = 0;               // X of the moment read (the point nearest the cursor)
        int pixel = 0;              // column of the vertical line
        QRect box;
        QString time;               // "hh:mm:ss", after the date when the range spans over a day
        std::vector<Value> values;  // one per visible line that reaches into the plot
    } readOut;
};

// A horizontal line across the plot at a value of one chart line, in its colour.
struct LimitLine {
    enum class Kind {
        Alarm,      // solid
        Warning,    // dashed
        Threshold,  // thin, short dashes, labelled (a limit the instrument keeps)
    };
    double value = 0;
    Kind kind = Kind::Alarm;
    QString label;  // written at the plot's right end; empty: none

    friend bool operator==(const LimitLine&, const LimitLine&) = default;
};

// A stretch of time shaded lightly in a chart line's colour. One without an end
// (infinity) lasts until the line's newest point.
struct ShadedPeriod {
    double from = 0;
    double to = std::numeric_limits<double>::infinity();

    friend bool operator==(const ShadedPeriod&, const ShadedPeriod&) = default;
};

// Texts of the context menu, the dialogs and the view sign. The engine does not know
// the interface language; its user sets them.
struct ChartTexts {
    QString resetView = QStringLiteral("Reset view");
    QString saveImage = QStringLiteral("Save image…");
    QString copyImage = QStringLiteral("Copy image to clipboard");
    QString print = QStringLiteral("Print…");
    QString exportCsv = QStringLiteral("Export visible data as CSV…");
    QString imageFilter = QStringLiteral("PNG image (*.png);;SVG image (*.svg)");
    QString csvFilter = QStringLiteral("CSV file (*.csv)");
    QString defaultFileName = QStringLiteral("chart");
    QString imageSizeTitle = QStringLiteral("Image size");
    QString imageSizeLabel = QStringLiteral("Size in pixels:");
    QString errorTitle = QStringLiteral("Error");
    QString cannotWrite = QStringLiteral("Cannot write %1: %2");  // file name, reason
    // Reasons an export refuses a file: not a regular one (a FIFO, a device), or one the
    // program reads or writes (%1: that file).
    QString notRegularFile = QStringLiteral("it is not a regular file; the chart is saved over a regular file only");
    QString keptFile = QStringLiteral("it is %1, which the program is reading or writing; choose another name");
    QString timeColumn = QStringLiteral("Time");
    QString dateTimeColumn = QStringLiteral("Date and time (ISO 8601)");
    QString manualView = QStringLiteral("Zoomed view · click to reset");
    QString noReading = QStringLiteral("no reading");  // read-out inside a break of a line
};

} // namespace hmx::chart
