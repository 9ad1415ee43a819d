// hmx700-report: the run report of one of our measurement logs as a PDF, without a
// window (for scripts, and for reports made later on another machine). The report is
// in the interface language; the messages here are English, as hmx700-calc's are.
// Every failure ends with status 2, a message on standard error and no file under the
// requested name.
#include "chart/chartwidget.h"
#include "instrument/charttime.h"
#include "log/chartfile.h"
#include "report/pdfreport.h"
#include "ui/alarmpreferences.h"
#include "ui/chartlimits.h"
#include "ui/chartview.h"
#include "ui/runreport.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>
#include <optional>
#include <tuple>

namespace {

using namespace hmx;

constexpr int Failed = 2;

const char Usage[] =
    "Usage: hmx700-report LOG -o REPORT.pdf [--from TIME] [--to TIME]\n"
    "Writes the run report of the measurement log LOG (a jrt1.txt written by hmx700) as\n"
    "a PDF: the chart of the period, its statistics, the limits in force and, when the\n"
    "event journal hmx700-events.txt lies beside LOG, the events of the period.\n"
    "  -o, --output FILE  the PDF to write (replaced only once it is complete)\n"
    "  --from TIME        start of the period (default: the log's first reading)\n"
    "  --to TIME          end of the period (default: the log's last reading)\n"
    "  -h, --help         this text\n"
    "TIME is an ISO 8601 date and time in the computer's local time, such as\n"
    "2026-12-07T14:30, 2026-12-07T14:30:15 or 2026-12-07 14:30 (a blank for the T),\n"
    "optionally with a UTC offset (2026-12-07T14:30+01:00, or Z); a date alone\n"
    "(2026-12-07) means the start of that day for --from and its end for --to.\n"
    "Exit status: 0 written, 2 failed (the message says why).\n";

int Fail(const QString& message)
{
    std::fprintf(stderr, "hmx700-report: %s\n", qPrintable(message));
    return Failed;
}

QString Native(const QString& fileName) { return QDir::toNativeSeparators(fileName); }

// The moment a TIME text stands for; `end` makes a date alone the end of its day.
std::optional<QDateTime> ParseTime(QString text, bool end)
{
    text = text.trimmed();
    if (text.size() == 10) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid())
            return std::nullopt;
        return end ? date.addDays(1).startOfDay().addMSecs(-1) : date.startOfDay();
    }
    if (text.size() > 10 && text[10] == u' ')
        text[10] = u'T';
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid() || text.size() < 16)
        return std::nullopt;
    return time;
}

// Points of a log straight into the chart's lines, on the chart's X (summer time left out).
class ChartLinesSink : public ChartSink {
public:
    explicit ChartLinesSink(const ChartLines& lines) : m_lines(lines) {}
    void clearSeries(ChartLine line) override { series(line)->clear(); }
    void setTimeAxisAutomatic() override {}
    void addPoint(ChartLine line, double x, double y) override { series(line)->addXY(ChartXOfLocal(x), y); }

private:
    chart::LineSeries* series(ChartLine line) const
    {
        return line == ChartLine::DewPoint ? m_lines.dewPoint : line == ChartLine::Humidity ? m_lines.humidity : m_lines.ambient;
    }
    ChartLines m_lines;
};

struct Options {
    QString log, output;
    std::optional<QDateTime> from, to;
};

// The options, or the message that ends the program (help: an empty one).
std::optional<QString> ParseOptions(const QStringList& arguments, Options& options)
{
    QCommandLineParser parser;
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")}, {}, QStringLiteral("file")});
    parser.addOption({QStringLiteral("from"), {}, QStringLiteral("time")});
    parser.addOption({QStringLiteral("to"), {}, QStringLiteral("time")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, {}});
    if (!parser.parse(arguments))
        return parser.errorText();
    if (parser.isSet(QStringLiteral("help")))
        return QString();
    const QStringList logs = parser.positionalArguments();
    if (logs.size() != 1)
        return logs.isEmpty() ? QStringLiteral("no log file given") : QStringLiteral("one log file at a time");
    options.log = logs.front();
    options.output = parser.value(QStringLiteral("output"));
    if (options.output.isEmpty())
        return QStringLiteral("no output file given (-o REPORT.pdf)");
    for (auto [name, field, end] : {std::tuple{"from", &options.from, false}, {"to", &options.to, true}}) {
        if (!parser.isSet(QLatin1String(name)))
            continue;
        const QString text = parser.value(QLatin1String(name));
        *field = ParseTime(text, end);
        if (!*field)
            return QStringLiteral("--%1: not an ISO 8601 date and time: %2").arg(QLatin1String(name), text);
    }
    return std::nullopt;
}

// The chart's time axis set to [from, to], whatever it was before.
void ShowPeriod(chart::ChartWidget& chart, double from, double to)
{
    chart::ChartAxis& axis = *chart.bottomAxis();
    axis.setAutomatic(false);
    if (from > axis.maximum()) {
        axis.setMaximum(to);
        axis.setMinimum(from);
    } else {
        axis.setMinimum(from);
        axis.setMaximum(to);
    }
}

int Run(const Options& options)
{
    chart::ChartWidget chart;
    const ChartLines lines = ConfigureChart1(chart);
    for (chart::LineSeries* line : {lines.dewPoint, lines.humidity, lines.ambient})
        line->setJoiningDistance(LogJoiningDistance);
    ChartLinesSink sink(lines);
    ChartLoadResult loaded;
    try {
        loaded = LoadChartFile(options.log, sink);
    } catch (const ChartFileError& e) {
        return Fail(QString::fromUtf8(e.what()));
    }
    if (loaded.kind != ChartFileKind::MeasurementLog || loaded.points == 0)
        return Fail(QStringLiteral("%1 is not a measurement log written by hmx700").arg(Native(options.log)));

    chart.updateRanges();  // the automatic range: first to last reading
    const double from = options.from ? ChartX(options.from->toMSecsSinceEpoch()) : chart.bottomAxis()->minimum();
    const double to = options.to ? ChartX(options.to->toMSecsSinceEpoch()) : chart.bottomAxis()->maximum();
    if (!(from <= to))
        return Fail(QStringLiteral("the period ends before it starts (--from is after --to)"));
    ShowPeriod(chart, from, to);
    if (!HasReadingsShown(chart))
        return Fail(QStringLiteral("%1 has no readings between %2 and %3")
                        .arg(Native(options.log), LocalDateTime(from).toString(Qt::ISODate), LocalDateTime(to).toString(Qt::ISODate)));

    RunReportSource source;
    source.logFile = options.log;
    const QString journal = JournalBeside(options.log);
    if (QFileInfo::exists(journal))
        source.journal = ReadJournal(journal);
    InstrumentFromJournal(source, LocalDateTime(to));
    source.preferences = LoadAlarmPreferences(*ProgramSettings());
    ShowLimitLines(chart, source.preferences, {});

    QString error;
    if (!report::WriteReportPdf(RunReport(chart, source), chart, options.output, &error))
        return Fail(QStringLiteral("cannot write %1: %2").arg(Native(options.output), error));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
#ifndef Q_OS_WIN
    // No window: the chart is drawn off the screen, also where there is no display.
    // (Windows' own platform needs no display, and its release carries only that one.)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hmx700-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HMX700_VERSION));

    Options options;
    if (const std::optional<QString> stop = ParseOptions(QCoreApplication::arguments(), options)) {
        if (stop->isEmpty()) {
            std::fputs(Usage, stdout);
            return 0;
        }
        Fail(*stop);
        std::fputs("Try 'hmx700-report --help'.\n", stderr);
        return Failed;
    }
    return Run(options);
}
