#include "report/chartview.h"

#include "instrument/charttime.h"
#include "readings/lines.h"

namespace hmx {

using humidity::Quantity;

ChartLines ConfigureChart1(chart::ChartWidget& chart, Language language)
{
    const Wording w{language};
    chart.setTitle(w(QStringLiteral("Wykres wilgotności i temperatury"), QStringLiteral("Humidity and temperature chart")));
    chart.bottomAxis()->setAutomatic(true);
    chart.leftAxis()->setAutomatic(true);
    chart::ChartTexts texts;
    texts.resetView = w(QStringLiteral("Przywróć widok automatyczny"), QStringLiteral("Reset view"));
    texts.saveImage = w(QStringLiteral("Zapisz obraz…"), QStringLiteral("Save image…"));
    texts.copyImage = w(QStringLiteral("Kopiuj obraz do schowka"), QStringLiteral("Copy image to clipboard"));
    texts.print = w(QStringLiteral("Drukuj…"), QStringLiteral("Print…"));
    texts.exportCsv = w(QStringLiteral("Eksportuj widoczne dane do CSV…"), QStringLiteral("Export visible data as CSV…"));
    texts.imageFilter = w(QStringLiteral("Obraz PNG (*.png);;Obraz SVG (*.svg)"),
                                   QStringLiteral("PNG image (*.png);;SVG image (*.svg)"));
    texts.csvFilter = w(QStringLiteral("Plik CSV (*.csv)"), QStringLiteral("CSV file (*.csv)"));
    texts.defaultFileName = w(QStringLiteral("wykres"), QStringLiteral("chart"));
    texts.imageSizeTitle = w(QStringLiteral("Rozmiar obrazu"), QStringLiteral("Image size"));
    texts.imageSizeLabel = w(QStringLiteral("Rozmiar w pikselach:"), QStringLiteral("Size in pixels:"));
    texts.errorTitle = QStringLiteral("HMX-700");  // every box of the program bears its name
    texts.cannotWrite = w(QStringLiteral("Nie można zapisać pliku %1: %2"), QStringLiteral("Cannot write %1: %2"));
    texts.notRegularFile = w(QStringLiteral("to nie jest zwykły plik; wykres zapisuje się tylko w miejsce zwykłego pliku"),
                                      QStringLiteral("it is not a regular file; the chart is saved over a regular file only"));
    texts.keptFile = w(QStringLiteral("to plik %1, który program właśnie czyta lub zapisuje; wybierz inną nazwę"),
                                QStringLiteral("it is %1, which the program is reading or writing; choose another name"));
    texts.timeColumn = w(QStringLiteral("Czas"), QStringLiteral("Time"));
    texts.dateTimeColumn = w(QStringLiteral("Data i czas (ISO 8601)"), QStringLiteral("Date and time (ISO 8601)"));
    texts.manualView = w(QStringLiteral("Widok powiększony · kliknij, aby przywrócić"),
                                  QStringLiteral("Zoomed view · click to reset"));
    texts.noReading = w(QStringLiteral("brak odczytu"), QStringLiteral("no reading"));
    chart.setTexts(texts);
    // Live X values run in local standard time; labels and read-out show the clock's time.
    chart.setTimeOfDay(&LocalTimeOfDay);
    ChartLines lines;
    lines.dewPoint = chart.addSeries(ReadingTitle(limits::QuantityId::DewPoint), QColor(0, 0, 255), 2);
    lines.humidity = chart.addSeries(ReadingTitle(limits::QuantityId::Humidity), QColor(0, 128, 0), 2);
    lines.ambient = chart.addSeries(ReadingTitle(limits::QuantityId::Ambient), QColor(255, 0, 0), 2);
    for (chart::LineSeries* line : {lines.dewPoint, lines.humidity, lines.ambient})
        line->setJoiningDistance(readings::LiveJoiningDistance);
    return lines;
}

void ShowLines(chart::ChartWidget& chart, const ChartLines& series, readings::Lines& lines)
{
    series.dewPoint->setData(lines.line(Quantity::DewPoint));
    series.humidity->setData(lines.line(Quantity::RelativeHumidity));
    series.ambient->setData(lines.line(Quantity::Temperature));
    chart.setLines(&lines);
}

QString ReadingTitle(limits::QuantityId quantity)
{
    switch (quantity) {
    case limits::QuantityId::DewPoint: return QStringLiteral("°Cdp");
    case limits::QuantityId::Humidity: return QStringLiteral("%Rh");
    case limits::QuantityId::Ambient: return QStringLiteral("°C");
    }
    return {};
}

Quantity QuantityOf(ChartLine line)
{
    switch (line) {
    case ChartLine::Humidity: return Quantity::RelativeHumidity;
    case ChartLine::Ambient: return Quantity::Temperature;
    case ChartLine::DewPoint: break;
    }
    return Quantity::DewPoint;
}

Quantity QuantityOf(limits::QuantityId quantity)
{
    switch (quantity) {
    case limits::QuantityId::Humidity: return Quantity::RelativeHumidity;
    case limits::QuantityId::Ambient: return Quantity::Temperature;
    case limits::QuantityId::DewPoint: break;
    }
    return Quantity::DewPoint;
}

std::optional<limits::QuantityId> MeasuredQuantityOf(Quantity quantity)
{
    for (const limits::QuantityInfo& measured : limits::MeasuredQuantities) {
        if (QuantityOf(measured.id) == quantity)
            return measured.id;
    }
    return std::nullopt;
}

} // namespace hmx
