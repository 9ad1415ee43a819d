// Writing a report document as a PDF: the chart drawn as vector graphics, the tables
// across as many pages as they need.
#pragma once

#include "report/reportdocument.h"

#include <QLocale>
#include <QPageSize>

namespace hmx::chart {
class ChartWidget;
}

namespace hmx::report {

// Letter where the locale's country uses it (the United States, Canada and their
// neighbours that kept US paper), A4 everywhere else.
QPageSize ReportPageSize(const QLocale& locale = QLocale());

// Writes `document` with `chart` as it is now (its time range, lines, limit lines and
// shading) after the facts. The file appears under `fileName` only once the whole PDF
// is written; before that it is a temporary file beside it. False with `error` set to
// the system's reason when it cannot be written.
bool WriteReportPdf(const ReportDocument& document, chart::ChartWidget& chart, const QString& fileName,
                    QString* error = nullptr);

} // namespace hmx::report
