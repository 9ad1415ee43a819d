// Chart loading: a million-line file of the loader's layout and a million-line own
// log, loaded through Button1Click into Chart1's lines; time and peak memory growth.
#include "bench.h"

#include "log/measurementlog.h"
#include "ui/mainwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr int Lines = 1000000;

// Resident set size and its peak, in bytes (Linux; 0 elsewhere).
double statusBytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::strlen(key))) * 1024.0;
    }
    return 0;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void writeLoaderLayout(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QByteArray chunk;
    chunk += "header\r\nheader\r\n";
    for (int i = 0; i < Lines; ++i) {
        const int second = i / 2;
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%d\t%02d:%02d:%02d\t%05d\r\n", i % 100000,
                                    second / 3600 % 24, second / 60 % 60, second % 60, 1000 + i % 2000);
        chunk.append(line, n);
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
}

void writeOwnLog(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QByteArray chunk;
    hmx::LogLine line;
    for (int i = 0; i < Lines; ++i) {
        const int second = i / 2;
        line.number = i + 1;
        line.time = QTime(second / 3600 % 24, second / 60 % 60, second % 60);
        line.dewPoint = std::int16_t(-105 + i % 300);
        line.humidity = std::int16_t(450 + i % 100);
        line.ambient = std::int16_t(235 + i % 50);
        const auto shown = [](int tenths) {
            return QString::number(tenths / 10.0, 'f', 2);
        };
        line.dewPointText = shown(line.dewPoint);
        line.humidityText = shown(line.humidity);
        line.ambientText = shown(line.ambient);
        chunk += hmx::FormatLogLine(line, QLocale::c());
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
}

void loadThroughButton(const std::string& what, const QString& name)
{
    TForm1 form;
    OpenDialog::setChooserForTesting([name] { return name; });
    const double before = statusBytes("VmRSS:");
    resetPeak();
    QElapsedTimer timer;
    timer.start();
    form.Button1Click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double peak = statusBytes("VmHWM:");
    OpenDialog::setChooserForTesting({});
    const std::size_t points = form.Series1->count() + form.Series6->count() + form.Series7->count();
    const double held = double(form.Series1->memoryBytes() + form.Series6->memoryBytes() + form.Series7->memoryBytes());
    bench::report(what + ": load time", seconds, "s");
    bench::report(what + ": points loaded", double(points), "points");
    bench::report(what + ": peak memory growth", (peak - before) / (1024.0 * 1024.0), "MiB");
    bench::report(what + ": held by the series", held / (1024.0 * 1024.0), "MiB");
}

} // namespace

HMX_BENCH("chart load, 10^6 lines of the loader layout")
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("chart.txt"));
    writeLoaderLayout(name);
    loadThroughButton("loader layout, 10^6 lines", name);
}

HMX_BENCH("chart load, 10^6 lines of the own measurement log")
{
    QLocale::setDefault(QLocale::c());
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("jrt1.txt"));
    writeOwnLog(name);
    loadThroughButton("own log, 10^6 lines", name);
    QLocale::setDefault(QLocale::system());
}
