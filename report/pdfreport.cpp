#include "report/pdfreport.h"

#include "chart/chartwidget.h"
#include "files/savewhole.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace hmx::report {

namespace {

constexpr double MarginMm = 15;
constexpr double TitlePoints = 15;
constexpr double HeadingPoints = 11.5;
constexpr double TextPoints = 8.5;
constexpr double ChartAspect = 0.62;  // the chart's height over its width

// Ligatures and other shaping would turn "ff" in a hash or a file name into one
// character of another code, so a copied hash would not match; Latin text needs none.
QFont Unshaped(QFont font)
{
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    return font;
}

// A pen that moves down the pages, starting a new one when what comes does not fit.
// Laid out once without drawing to count the pages, then again to draw them with
// their numbers at the foot.
class PageFlow {
public:
    PageFlow(QPdfWriter& writer, QPainter& painter, QFont base, bool drawing, QString pageNumbers, int pages)
        : m_writer(writer), m_p(painter), m_base(Unshaped(std::move(base))), m_area(painter.viewport()),
          m_drawing(drawing), m_pageNumbers(std::move(pageNumbers)), m_pages(pages)
    {
        m_y = m_area.top();
        // Room for the page number below the text.
        if (!m_pageNumbers.isEmpty())
            m_bottom = m_area.bottom() - 2 * metrics(font(TextPoints)).height();
        else
            m_bottom = m_area.bottom();
    }

    double width() const { return m_area.width(); }
    double left() const { return m_area.left(); }
    double y() const { return m_y; }
    bool drawing() const { return m_drawing; }
    int page() const { return m_page; }
    QPainter& painter() { return m_p; }

    // Moves to a new page unless `height` fits below the pen (or the page is fresh).
    void need(double height)
    {
        if (m_y + height > m_bottom && m_y > m_area.top()) {
            endPage();
            m_writer.newPage();
            ++m_page;
            m_y = m_area.top();
        }
    }
    void advance(double height) { m_y += height; }

    // The page number at the foot of the page being written.
    void endPage()
    {
        if (!m_drawing || m_pageNumbers.isEmpty())
            return;
        const QFont f = font(TextPoints);
        const double h = metrics(f).height();
        m_p.setFont(f);
        m_p.setPen(Qt::black);
        m_p.drawText(QRectF(left(), m_area.bottom() - h, width(), h), Qt::AlignHCenter | Qt::AlignBottom,
                     m_pageNumbers.arg(m_page).arg(m_pages));
    }

    QFont font(double points, bool bold = false) const
    {
        QFont f = m_base;
        f.setPointSizeF(points);
        f.setBold(bold);
        return f;
    }
    QFont fixedFont(double points) const
    {
        QFont f = Unshaped(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        f.setPointSizeF(points);
        return f;
    }
    QFontMetricsF metrics(const QFont& f) const { return QFontMetricsF(f, &m_writer); }

    // A paragraph across the page, wrapped at words.
    void text(const QString& text, const QFont& f, double spaceAfter)
    {
        const QRectF box = metrics(f).boundingRect(QRectF(0, 0, width(), 1e6), Qt::TextWordWrap, text);
        need(box.height());
        if (m_drawing) {
            m_p.setFont(f);
            m_p.setPen(Qt::black);
            m_p.drawText(QRectF(left(), m_y, width(), box.height()), Qt::TextWordWrap, text);
        }
        advance(box.height() + spaceAfter);
    }

private:
    QPdfWriter& m_writer;
    QPainter& m_p;
    QFont m_base;
    QRect m_area;
    double m_bottom = 0;
    double m_y = 0;
    bool m_drawing;
    QString m_pageNumbers;
    int m_pages;
    int m_page = 1;
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
        if (!flow.drawing()) {
            flow.advance(height);
            return;
        }
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
    if (flow.drawing()) {
        QPainter& p = flow.painter();
        p.save();
        p.translate(flow.left(), flow.y());
        chart.renderChart(p, size);
        p.restore();
    }
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

namespace {

// Lays the document out on the writer's pages; draws them only when `drawing`. The
// number of pages, or 0 when the painter could not be started.
int LayOut(QPdfWriter& writer, const ReportDocument& document, chart::ChartWidget& chart, bool drawing, int pages)
{
    // The screen's resolution, so the chart's texts have the size its layout gave them.
    writer.setResolution(chart.logicalDpiY());
    writer.setPageSize(ReportPageSize());
    writer.setPageMargins(QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter);
    writer.setTitle(document.title);
    writer.setCreator(QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion());
    QPainter p;
    if (!p.begin(&writer))
        return 0;
    PageFlow flow(writer, p, chart.font(), drawing, document.pageNumbers, pages);
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
        for (const QString& text : section.code)
            flow.text(text, flow.fixedFont(TextPoints), line * 0.3);
        flow.advance(line);
    }
    flow.endPage();
    p.end();
    return flow.page();
}

} // namespace

bool WriteReportPdf(const ReportDocument& document, chart::ChartWidget& chart, const QString& fileName, QString* error)
{
    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    // Pages counted first, then the PDF made in memory and written whole.
    int pages = 0;
    {
        QBuffer counting;
        counting.open(QIODevice::WriteOnly);
        QPdfWriter writer(&counting);
        pages = LayOut(writer, document, chart, false, 0);
    }
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        if (pages == 0 || LayOut(writer, document, chart, true, pages) == 0)
            return fail(QStringLiteral("PDF"));
    }
    QString reason;
    if (!files::SaveWhole(fileName, pdf.data(), reason))
        return fail(reason);
    return true;
}

} // namespace hmx::report
