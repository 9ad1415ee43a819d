// The chart out of the window: image, SVG, clipboard, printer and CSV, with their
// dialogs. Callers bring the ranges up to date first.
#pragma once

#include "chart/painter.h"

class QPrinter;

namespace hmx::chart {

QImage RenderImage(const ChartWidgetPrivate& d, double scale);
bool SaveImage(const ChartWidgetPrivate& d, const QString& fileName, double scale, QString* error);
bool PrintChart(const ChartWidgetPrivate& d, QPrinter& printer);
bool ExportCsv(const ChartWidgetPrivate& d, const QString& fileName, QString* error);

// Ask for a file (and a size) and write it; a failure is reported in a message box.
void SaveImageDialog(ChartWidgetPrivate& d);
void ExportCsvDialog(ChartWidgetPrivate& d);
void PrintDialog(ChartWidgetPrivate& d);

} // namespace hmx::chart
