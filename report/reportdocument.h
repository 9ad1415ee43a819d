// A run report as a value: a title, facts about the run, the chart, then sections of
// tables and lines. Every text is given in the interface language by the caller.
#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace hmx::report {

struct ReportTable {
    QStringList header;  // empty: none
    std::vector<QStringList> rows;
};

struct ReportSection {
    QString heading;
    ReportTable table;  // no rows: none
    QStringList lines;  // paragraphs after the table
    QStringList code;   // after the lines, in a fixed-pitch font: texts read character by character
};

struct ReportDocument {
    QString title;
    std::vector<std::pair<QString, QString>> facts;  // label and value, under the title
    QString chartHeading;
    std::vector<ReportSection> sections;  // after the chart
    QString pageNumbers;  // at the foot of every page, "%1" the page and "%2" their count; empty: none
};

} // namespace hmx::report
