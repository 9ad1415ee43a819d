#include "report/pdfreport.h"

#include "chart/chartwidget.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

namespace hmx::report {

namespace {

constexpr double MarginMm = 15;
constexpr double TitlePoints = 15;
constexpr double HeadingPoints = 11.5;
constexpr double TextPoints = 8.5;
constexpr double ChartAspect = 0.62;  // the chart's height over its width

// A pen that moves down the pages, starting a new one when what comes does not fit.
class PageFlow {
public:
    PageFlow(QPdfWriter& writer, QPainter& painter, QFont base)
        : m_writer(writer), m_p(painter), m_base(std::move(base)), m_area(painter.viewport())
    {
        m_y = m_area.top();
    }

    double width() const { return m_area.width(); }
    double left() const { return m_area.left(); }
    double y() const { return m_y; }
    QPainter& painter() { return m_p; }

    // Moves to a new page unless `height` fits below the pen (or the page is fresh).
    void need(double height)
    {
        if (m_y + height > m_area.bottom() && m_y > m_area.top()) {
            m_writer.newPage();
            m_y = m_area.top();
        }
    }
    void advance(double height) { m_y += height; }

    QFont font(double points, bool bold = false) const
    {
        QFont f = m_base;
        f.setPointSizeF(points);
        f.setBold(bold);
        return f;
    }
    QFontMetricsF metrics(const QFont& f) const { return QFontMetricsF(f, &m_writer); }

    // A paragraph across the page, wrapped at words.
    void text(const QString& text, const QFont& f, double spaceAfter)
    {
        const QRectF box = metrics(f).boundingRect(QRectF(0, 0, width(), 1e6), Qt::TextWordWrap, text);
        need(box.height());
        m_p.setFont(f);
        m_p.setPen(Qt::black);
        m_p.drawText(QRectF(left(), m_y, width(), box.height()), Qt::TextWordWrap, text);
        advance(box.height() + spaceAfter);
    }

private:
    QPdfWriter& m_writer;
    QPainter& m_p;
    QFont m_base;
    QRect m_area;
    double m_y = 0;
};

// Column widths: each as wide as its widest cell when they all fit; else shared in
// proportion to those widths, the cells wrapping at words.
std::vector<double> ColumnWidths(const ReportTable& table, const QFontMetricsF& fm, const QFontMetricsF& bold,
                                 double total, double pad)
{
    std::size_t columns = static_cast<std::size_t>(table.header.size());
    for (const QStringList& row : table.rows)
        columns = std::max(columns, static_cast<std::size_t>(row.size()));
    std::vector<double> widths(columns, 0.0);
    for (std::size_t c = 0; c < columns && c < static_cast<std::size_t>(table.header.size()); ++c)
        widths[c] = bold.horizontalAdvance(table.header[static_cast<qsizetype>(c)]) + 2 * pad;
    for (const QStringList& row : table.rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            const std::size_t i = static_cast<std::size_t>(c);
            widths[i] = std::max(widths[i], fm.horizontalAdvance(row[c]) + 2 * pad);
        }
    }
    double sum = 0;
    for (double w : widths)
        sum += w;
    if (sum > total) {
        for (double& w : widths)
            w *= total / sum;
    }
    return widths;
}

void DrawTable(PageFlow& flow, const ReportTable& table)
{
    const QFont plain = flow.font(TextPoints);
    const QFont bold = flow.font(TextPoints, true);
    const QFontMetricsF fm = flow.metrics(plain);
    const double pad = fm.height() * 0.3;
    const std::vector<double> widths = ColumnWidths(table, fm, flow.metrics(bold), flow.width(), pad);
    QPainter& p = flow.painter();

    auto rowHeight = [&](const QStringList& cells, const QFontMetricsF& m) {
        double h = m.height();
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const double w = widths[static_cast<std::size_t>(c)] - 2 * pad;
            h = std::max(h, m.boundingRect(QRectF(0, 0, w, 1e6), Qt::TextWordWrap, cells[c]).height());
        }
        return h + 2 * pad;
    };
    auto drawRow = [&](const QStringList& cells, const QFont& f, double height, bool shaded) {
        double x = flow.left();
        if (shaded)
            p.fillRect(QRectF(x, flow.y(), flow.width(), height), QColor(235, 235, 235));
        p.setFont(f);
        p.setPen(Qt::black);
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const double w = widths[static_cast<std::size_t>(c)];
            p.drawText(QRectF(x + pad, flow.y() + pad, w - 2 * pad, height - 2 * pad),
                       Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, cells[c]);
            x += w;
        }
        p.setPen(QPen(QColor(170, 170, 170), 0));
        p.drawLine(QPointF(flow.left(), flow.y() + height), QPointF(flow.left() + flow.width(), flow.y() + height));
        flow.advance(height);
    };

    const double headerHeight = table.header.isEmpty() ? 0 : rowHeight(table.header, flow.metrics(bold));
    bool first = true;
    for (const QStringList& row : table.rows) {
        const double height = rowHeight(row, fm);
        const double before = flow.y();
        flow.need((first ? headerHeight : 0) + height);
        // The header again at the top of every page the table runs onto.
        if (!table.header.isEmpty() && (first || flow.y() < before))
            drawRow(table.header, bold, headerHeight, true);
        drawRow(row, plain, height, false);
        first = false;
    }
}

void DrawChart(PageFlow& flow, chart::ChartWidget& chart, const QString& heading)
{
    if (!heading.isEmpty())
        flow.text(heading, flow.font(HeadingPoints, true), flow.metrics(flow.font(TextPoints)).height() * 0.3);
    const QSize size(static_cast<int>(flow.width()), static_cast<int>(flow.width() * ChartAspect));
    flow.need(size.height());
    QPainter& p = flow.painter();
    p.save();
    p.translate(flow.left(), flow.y());
    chart.renderChart(p, size);
    p.restore();
    flow.advance(size.height() + flow.metrics(flow.font(TextPoints)).height());
}

} // namespace

QPageSize ReportPageSize(const QLocale& locale)
{
    static constexpr QLocale::Territory LetterCountries[] = {
        QLocale::UnitedStates, QLocale::Canada,     QLocale::Mexico,   QLocale::Philippines,
        QLocale::Chile,        QLocale::Colombia,   QLocale::Venezuela, QLocale::PuertoRico,
        QLocale::Guatemala,    QLocale::CostaRica,  QLocale::Panama,    QLocale::DominicanRepublic,
        QLocale::ElSalvador,   QLocale::Nicaragua,
    };
    const bool letter = locale.measurementSystem() == QLocale::ImperialUSSystem
        || std::find(std::begin(LetterCountries), std::end(LetterCountries), locale.territory()) != std::end(LetterCountries);
    return QPageSize(letter ? QPageSize::Letter : QPageSize::A4);
}

bool WriteReportPdf(const ReportDocument& document, chart::ChartWidget& chart, const QString& fileName, QString* error)
{
    QSaveFile file(fileName);
    auto fail = [&](const QString& reason) {
        file.cancelWriting();
        if (error)
            *error = reason;
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    {
        QPdfWriter writer(&file);
        // The screen's resolution, so the chart's texts have the size its layout gave them.
        writer.setResolution(chart.logicalDpiY());
        writer.setPageSize(ReportPageSize());
        writer.setPageMargins(QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter);
        writer.setTitle(document.title);
        writer.setCreator(QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion());
        QPainter p;
        if (!p.begin(&writer))
            return fail(file.errorString());
        PageFlow flow(writer, p, chart.font());
        const double line = flow.metrics(flow.font(TextPoints)).height();
        flow.text(document.title, flow.font(TitlePoints, true), line * 0.5);
        ReportTable facts;
        for (const auto& [label, value] : document.facts)
            facts.rows.push_back({label, value});
        DrawTable(flow, facts);
        flow.advance(line);
        DrawChart(flow, chart, document.chartHeading);
        for (const ReportSection& section : document.sections) {
            flow.need(4 * line);  // a heading is not left alone at a page's foot
            flow.text(section.heading, flow.font(HeadingPoints, true), line * 0.3);
            if (!section.table.rows.empty())
                DrawTable(flow, section.table);
            for (const QString& text : section.lines)
                flow.text(text, flow.font(TextPoints), line * 0.3);
            flow.advance(line);
        }
        if (!p.end())
            return fail(file.errorString());
    }
    if (file.error() != QFileDevice::NoError || !file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace hmx::report
