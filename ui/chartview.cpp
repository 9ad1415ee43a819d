#include "ui/chartview.h"

#include "instrument/charttime.h"
#include "ui/language.h"

namespace hmx {

ChartLines ConfigureChart1(chart::ChartWidget& chart)
{
    chart.setTitle(ByLanguage(QStringLiteral("Wykres wilgotności i temperatury"), QStringLiteral("Humidity and temperature chart")));
    chart.bottomAxis()->setAutomatic(true);
    chart.leftAxis()->setAutomatic(true);
    chart::ChartTexts texts;
    texts.resetView = ByLanguage(QStringLiteral("Przywróć widok automatyczny"), QStringLiteral("Reset view"));
    texts.saveImage = ByLanguage(QStringLiteral("Zapisz obraz…"), QStringLiteral("Save image…"));
    texts.copyImage = ByLanguage(QStringLiteral("Kopiuj obraz do schowka"), QStringLiteral("Copy image to clipboard"));
    texts.print = ByLanguage(QStringLiteral("Drukuj…"), QStringLiteral("Print…"));
    texts.exportCsv = ByLanguage(QStringLiteral("Eksportuj widoczne dane do CSV…"), QStringLiteral("Export visible data as CSV…"));
    texts.imageFilter = ByLanguage(QStringLiteral("Obraz PNG (*.png);;Obraz SVG (*.svg)"),
                                   QStringLiteral("PNG image (*.png);;SVG image (*.svg)"));
    texts.csvFilter = ByLanguage(QStringLiteral("Plik CSV (*.csv)"), QStringLiteral("CSV file (*.csv)"));
    texts.defaultFileName = ByLanguage(QStringLiteral("wykres"), QStringLiteral("chart"));
    texts.imageSizeTitle = ByLanguage(QStringLiteral("Rozmiar obrazu"), QStringLiteral("Image size"));
    texts.imageSizeLabel = ByLanguage(QStringLiteral("Rozmiar w pikselach:"), QStringLiteral("Size in pixels:"));
    texts.errorTitle = QStringLiteral("HMX-700");  // every box of the program bears its name
    texts.cannotWrite = ByLanguage(QStringLiteral("Nie można zapisać pliku %1: %2"), QStringLiteral("Cannot write %1: %2"));
    texts.notRegularFile = ByLanguage(QStringLiteral("to nie jest zwykły plik; wykres zapisuje się tylko w miejsce zwykłego pliku"),
                                      QStringLiteral("it is not a regular file; the chart is saved over a regular file only"));
    texts.keptFile = ByLanguage(QStringLiteral("to plik %1, który program właśnie czyta lub zapisuje; wybierz inną nazwę"),
                                QStringLiteral("it is %1, which the program is reading or writing; choose another name"));
    texts.timeColumn = ByLanguage(QStringLiteral("Czas"), QStringLiteral("Time"));
    texts.dateTimeColumn = ByLanguage(QStringLiteral("Data i czas (ISO 8601)"), QStringLiteral("Date and time (ISO 8601)"));
    texts.manualView = ByLanguage(QStringLiteral("Widok powiększony · kliknij, aby przywrócić"),
                                  QStringLiteral("Zoomed view · click to reset"));
    texts.noReading = ByLanguage(QStringLiteral("brak odczytu"), QStringLiteral("no reading"));
    chart.setTexts(texts);
    // Live X values run in local standard time; labels and read-out show the clock's time.
    chart.setTimeOfDay(&LocalTimeOfDay);
    ChartLines lines;
    lines.dewPoint = chart.addSeries(QStringLiteral("°Cdp"), QColor(0, 0, 255), 2);
    lines.humidity = chart.addSeries(QStringLiteral("%Rh"), QColor(0, 128, 0), 2);
    lines.ambient = chart.addSeries(QStringLiteral("°C"), QColor(255, 0, 0), 2);
    for (chart::LineSeries* line : {lines.dewPoint, lines.humidity, lines.ambient})
        line->setJoiningDistance(LiveJoiningDistance);
    return lines;
}

} // namespace hmx
