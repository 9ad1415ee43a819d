#include "chart/export.h"

#include "chart/scale.h"
#include "chart/view.h"
#include "files/outputcheck.h"
#include "files/savewhole.h"
#include "readings/clocktext.h"
#include "readings/spans.h"
#include "readings/statistics.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QInputDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#if HMX700_SVG
#include <QSvgGenerator>
#endif

#include <cmath>

namespace hmx::chart {

namespace {

QString CannotWrite(const ChartWidgetPrivate& d, const QString& fileName, const QString& reason)
{
    return d.texts.cannotWrite.arg(QDir::toNativeSeparators(fileName), reason);
}

// True, with the message in `error`, for a file an export must not write over.
bool Refused(const ChartWidgetPrivate& d, const QString& fileName, QString* error)
{
    const files::OutputCheck check = files::CheckOutput(fileName, d.keptFiles ? d.keptFiles(fileName) : QStringList());
    QString reason;
    switch (check.verdict) {
    case files::OutputVerdict::Free:
        return false;
    case files::OutputVerdict::NotRegular:
        reason = d.texts.notRegularFile;
        break;
    case files::OutputVerdict::Kept:
        reason = d.texts.keptFile.arg(QDir::toNativeSeparators(check.keptFile));
        break;
    case files::OutputVerdict::Unknown:
        reason = check.reason;
        break;
    }
    if (error)
        *error = CannotWrite(d, fileName, reason);
    return true;
}

QString WithoutEllipsis(QString text)
{
    while (text.endsWith(QChar(0x2026)) || text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text.trimmed();
}

// The CSV of the points in the shown time range of the visible lines.
QString CsvText(const ChartWidgetPrivate& d, const ChartLayout& L)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    const QString decimal = locale.decimalPoint();
    const QString separator = decimal == QLatin1String(",") ? QStringLiteral(";") : QStringLiteral(",");
    auto field = [&separator](const QString& text) { return readings::CsvField(text, separator); };

    struct Cursor {
        const PointStore* points;
        Span span;
    };
    std::vector<Cursor> lines;
    QString out = QStringLiteral("\uFEFF") + field(d.texts.timeColumn);
    for (std::size_t i = 0; i < d.lineCount(); ++i) {
        const LineSeriesPrivate& line = d.line(i);
        if (!line.visible)
            continue;
        lines.push_back({&line.points(), SpanOf(line.points(), L.timeMin, L.timeMax)});
        out += separator + field(line.title);
    }
    out += separator + field(d.texts.dateTimeColumn) + QLatin1String("\r\n");
    // Merge the lines by time: each row takes the next point of every line that lies
    // within a millisecond of the earliest one.
    for (;;) {
        double t = std::numeric_limits<double>::infinity();
        for (const Cursor& c : lines) {
            if (!c.span.empty())
                t = std::min(t, c.points->x(c.span.lo));
        }
        if (!std::isfinite(t))
            break;
        const QTime time = d.timeOfDayAt(t);
        out += ClockText(time, true) + decimal + QStringLiteral("%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
        for (Cursor& c : lines) {
            out += separator;
            if (!c.span.empty() && c.points->x(c.span.lo) - t < Millisecond)
                out += locale.toString(c.points->y(c.span.lo++), 'f', QLocale::FloatingPointShortest);
        }
        out += separator + ClockDate(t, time).toString(Qt::ISODate) + QLatin1Char('T') + time.toString(Qt::ISODateWithMs)
            + QLatin1String("\r\n");
    }
    if (d.csvFooter)
        out += QLatin1String("\r\n") + d.csvFooter(separator);
    return out;
}

} // namespace

QImage RenderImage(const ChartWidgetPrivate& d, double scale)
{
    scale = std::clamp(scale, 0.1, 16.0);
    QImage image((QSizeF(d.q->size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    QPainter p(&image);
    PaintChart(p, d, LayoutChart(d, d.q->size(), false), false);
    p.end();
    return image;
}

bool SaveImage(const ChartWidgetPrivate& d, const QString& fileName, double scale, QString* error)
{
    auto fail = [&](const QString& reason) {
        if (error)
            *error = CannotWrite(d, fileName, reason);
        return false;
    };
    if (Refused(d, fileName, error))
        return false;
    const QByteArray suffix = QFileInfo(fileName).suffix().toLower().toLatin1();
    // Made in memory, then written whole: a full disk is told in the system's words.
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (suffix == "svg") {
#if !HMX700_SVG
        return fail(QStringLiteral("SVG"));  // no SVG writer in this build
#else
        QBuffer& svg = out;
        svg.open(QIODevice::WriteOnly);
        QSvgGenerator generator;
        generator.setOutputDevice(&svg);
        generator.setResolution(d.q->logicalDpiX());  // text the size it has on screen
        generator.setSize((QSizeF(d.q->size()) * scale).toSize());
        generator.setViewBox(QRect(QPoint(0, 0), d.q->size()));
        generator.setTitle(d.title);
        QPainter p(&generator);
        PaintChart(p, d, LayoutChart(d, d.q->size(), false), false);
        p.end();
#endif
    } else {
        const QByteArray format = QImageWriter::supportedImageFormats().contains(suffix) ? suffix : QByteArray("png");
        QImage image = RenderImage(d, scale);
        image.setDevicePixelRatio(1);
        if (!image.save(&out, format.constData()))
            return fail(QString::fromLatin1(format));
    }
    QString reason;
    return files::SaveWhole(fileName, out.data(), reason) || fail(reason);
}

bool PrintChart(const ChartWidgetPrivate& d, QPrinter& printer)
{
    QPainter p;
    if (!p.begin(&printer))
        return false;
    // Drawn as a picture at the printer's resolution (fonts on a printer scale by its
    // own resolution, not by the painter's), fitted into the page.
    const QRect page = p.viewport();
    const QSize size = d.q->size();
    const double fit = std::min(page.width() / double(std::max(1, size.width())), page.height() / double(std::max(1, size.height())));
    const QImage image = RenderImage(d, std::clamp(fit, 1.0, 4.0));
    p.drawImage(QRectF(QPointF(0, 0), QSizeF(size) * fit), image);
    return p.end();
}

bool ExportCsv(const ChartWidgetPrivate& d, const QString& fileName, QString* error)
{
    if (Refused(d, fileName, error))
        return false;
    const QByteArray bytes = CsvText(d, LayoutChart(d, d.q->size(), false)).toUtf8();
    QString reason;
    if (!files::SaveWhole(fileName, bytes, reason)) {
        if (error)
            *error = CannotWrite(d, fileName, reason);
        return false;
    }
    return true;
}

void SaveImageDialog(ChartWidgetPrivate& d)
{
    QString filter;
    QString filters = d.texts.imageFilter;
#if !HMX700_SVG
    QStringList offered = filters.split(QStringLiteral(";;"));
    offered.removeIf([](const QString& f) { return f.contains(QLatin1String("*.svg")); });
    filters = offered.join(QStringLiteral(";;"));
#endif
    QString name = QFileDialog::getSaveFileName(d.q, WithoutEllipsis(d.texts.saveImage),
                                                d.texts.defaultFileName + QStringLiteral(".png"), filters, &filter);
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += filter.contains(QLatin1String("*.svg")) ? QStringLiteral(".svg") : QStringLiteral(".png");
    QStringList sizes;
    for (int k = 1; k <= 4; ++k)
        sizes << QStringLiteral("%1 × %2").arg(d.q->width() * k).arg(d.q->height() * k);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(d.q, d.texts.imageSizeTitle, d.texts.imageSizeLabel, sizes, 0, false, &ok);
    if (!ok)
        return;
    QString error;
    UpdateRanges(d);
    if (!SaveImage(d, name, sizes.indexOf(chosen) + 1.0, &error))
        d.reportWriteError(error);
}

void ExportCsvDialog(ChartWidgetPrivate& d)
{
    QString name = QFileDialog::getSaveFileName(d.q, WithoutEllipsis(d.texts.exportCsv),
                                                d.texts.defaultFileName + QStringLiteral(".csv"), d.texts.csvFilter);
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".csv");
    QString error;
    UpdateRanges(d);
    if (!ExportCsv(d, name, &error))
        d.reportWriteError(error);
}

void PrintDialog(ChartWidgetPrivate& d)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(d.q->width() > d.q->height() ? QPageLayout::Landscape : QPageLayout::Portrait);
    QPrintDialog dialog(&printer, d.q);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // Printed into a file: the same rule as a saved image.
    QString error;
    if (!printer.outputFileName().isEmpty() && Refused(d, printer.outputFileName(), &error)) {
        d.reportWriteError(error);
        return;
    }
    UpdateRanges(d);
    PrintChart(d, printer);
}

} // namespace hmx::chart
