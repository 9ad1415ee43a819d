// hmx700-report: the run report of one of our measurement logs as a PDF, without a
// window (for scripts, and for reports made later on another machine). The report is
// in the interface language the program is built with; the messages here are English,
// as hmx700-calc's are. Nothing of the window is linked in.
// Every failure ends with status 2, a message on standard error and no file under the
// requested name.
#include "chart/chartwidget.h"
#include "files/outputcheck.h"
#include "instrument/charttime.h"
#include "limits/limitsettings.h"
#include "log/chartfile.h"
#include "readings/lines.h"
#include "report/chartlimits.h"
#include "report/chartview.h"
#include "report/pdfreport.h"
#include "report/runreport.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <cstdio>
#include <optional>
#include <tuple>

namespace {

using namespace hmx;

constexpr int Failed = 2;

#ifndef HMX700_LANGUAGE
#define HMX700_LANGUAGE 0
#endif
// The report's language: the one the program is built with, as the window's.
constexpr Language ReportLanguage = HMX700_LANGUAGE == 0 ? Language::Polish : Language::English;

const char Usage[] =
    "Usage: hmx700-report LOG -o REPORT.pdf [--from TIME] [--to TIME]\n"
    "Writes the run report of the measurement log LOG (a jrt1.txt written by hmx700) as\n"
    "a PDF: the chart of the period, its statistics, the limits in force and, when the\n"
    "event journal hmx700-events.txt lies beside LOG, the events of the period.\n"
    "  -o, --output FILE  the PDF to write (replaced only once it is complete; never\n"
    "                     LOG, its journal, a file a measuring copy writes, or anything\n"
    "                     but a regular file)\n"
    "  --from TIME        start of the period (default: the log's first reading)\n"
    "  --to TIME          end of the period (default: the log's last reading)\n"
    "  -h, --help         this text\n"
    "TIME is an ISO 8601 date and time in the computer's local time, such as\n"
    "2026-12-07T14:30, 2026-12-07T14:30:15.250 or 2026-12-07 14:30 (a blank for the T),\n"
    "optionally with a UTC offset (2026-12-07T14:30+01:00, or Z); a date alone\n"
    "(2026-12-07) means the start of that day for --from and its end for --to. Both\n"
    "ends belong to the period; the same TIME twice is the one instant. In the hour the\n"
    "clock repeats in autumn, --from means its first pass and --to its second (give the\n"
    "UTC offset to name one).\n"
    "Exit status: 0 written, 2 failed (the message says why).\n";

// On standard error whole, whatever it holds.
int Fail(const QString& message)
{
    const QByteArray text = QStringLiteral("hmx700-report: %1\n").arg(message).toLocal8Bit();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stderr);
    return Failed;
}

QString Native(const QString& fileName) { return QDir::toNativeSeparators(fileName); }

// A moment as ISO 8601 with its UTC offset, so a time in the repeated hour says which.
QString MomentText(double chartX)
{
    const QDateTime local = LocalDateTime(chartX);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

// The moment (ms since 1970 UTC) a TIME text stands for, or the reason it stands for none.
// `end`: a date alone is the last millisecond of its day, a fraction of a millisecond is
// cut off and the repeated hour's second pass is meant; else the first moment, a
// fraction rounded up to the next millisecond and the first pass.
struct TimeArgument {
    qint64 moment = 0;
    QString problem;
};

TimeArgument ParseTime(const QString& given, bool end)
{
    static const QRegularExpression iso(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})(?:[T ](\\d{2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d+))?)?(Z|[+-]\\d{2}(?::?\\d{2})?)?)?$"));
    const QString text = given.trimmed();
    const QRegularExpressionMatch m = iso.match(text);
    const QString notIso = QStringLiteral("not an ISO 8601 date and time: %1").arg(text);
    if (!m.hasMatch())
        return {0, notIso};
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        return {0, notIso};
    if (!m.hasCaptured(4))  // a date alone: its first moment, or the last one of the day
        return {end ? date.addDays(1).startOfDay().toMSecsSinceEpoch() - 1 : date.startOfDay().toMSecsSinceEpoch(), {}};
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.hasCaptured(6) ? m.captured(6).toInt() : 0);
    if (!time.isValid())
        return {0, notIso};
    qint64 wall = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    if (m.hasCaptured(7)) {
        // Milliseconds from the digits: the end rounds down, the start up, so the period
        // never takes in a reading outside the time given.
        const QString digits = m.captured(7);
        const qint64 millis = digits.left(3).leftJustified(3, u'0').toLongLong();
        const bool more = digits.size() > 3 && digits.mid(3).contains(QRegularExpression(QStringLiteral("[1-9]")));
        wall += millis + (!end && more ? 1 : 0);
    }
    if (m.hasCaptured(8)) {
        const QString zone = m.captured(8);
        qint64 offset = 0;
        if (zone != QLatin1String("Z")) {
            const QString digits = zone.mid(1).remove(u':');
            offset = (digits.left(2).toLongLong() * 60 + digits.mid(2).toLongLong()) * 60000;
            if (zone.startsWith(u'-'))
                offset = -offset;
        }
        return {wall - offset, {}};
    }
    const ClockMoments moments = MomentsOfClock(wall);
    if (moments.count == 0)
        return {0, QStringLiteral("there is no %1 in the local time: the clock skipped it (give the UTC offset or another time)").arg(text)};
    return {moments.moments[moments.count == 2 && end ? 1 : 0], {}};
}

struct Options {
    QString log, output;
    std::optional<qint64> from, to;  // ms since 1970 UTC
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
        const TimeArgument time = ParseTime(parser.value(QLatin1String(name)), end);
        if (!time.problem.isEmpty())
            return QStringLiteral("--%1: %2").arg(QLatin1String(name), time.problem);
        *field = time.moment;
    }
    return std::nullopt;
}

// Why the output is not written, or nothing when it may be.
std::optional<QString> RefuseOutput(const Options& options)
{
    const QString journal = JournalBeside(options.log);
    QStringList kept{options.log, journal};
    const QFileInfo output(options.output);
    for (const QString& folder : {QFileInfo(options.log).absolutePath(), output.absolutePath(),
                                  QFileInfo(output.canonicalFilePath()).absolutePath()})
        kept += FilesWrittenIn(folder);
    const files::OutputCheck check = files::CheckOutput(options.output, kept);
    const QString name = Native(options.output);
    switch (check.verdict) {
    case files::OutputVerdict::Free:
        return std::nullopt;
    case files::OutputVerdict::NotRegular:
        return QStringLiteral("refusing to write %1: it is %2, not a regular file").arg(name, files::FileTypeName(check.type));
    case files::OutputVerdict::Unknown:
        return QStringLiteral("cannot write %1: %2").arg(name, check.reason);
    case files::OutputVerdict::Kept:
        break;
    }
    const QString what = check.keptFile == options.log ? QStringLiteral("the log this report is made from")
        : check.keptFile == journal                    ? QStringLiteral("the event journal this report reads")
                                                       : QStringLiteral("a file a measuring copy of hmx700 is writing");
    return QStringLiteral("refusing to write %1: it is %2 (%3)").arg(name, Native(check.keptFile), what);
}

QString NotLogReason(hmx::LogLineFault fault)
{
    switch (fault) {
    case LogLineFault::FieldCount:
        return QStringLiteral("does not have the log's eight TAB-separated fields");
    case LogLineFault::ReadingNumber:
        return QStringLiteral("does not start with a reading number");
    case LogLineFault::Time:
        return QStringLiteral("has no valid time of day");
    case LogLineFault::Value:
        return QStringLiteral("has readings whose raw values and shown texts do not agree");
    case LogLineFault::Unfinished:
        return QStringLiteral("is unfinished (no line end: is the log still being written?)");
    case LogLineFault::TooLong:
        return QStringLiteral("is too long for a log line");
    case LogLineFault::None:
        break;
    }
    return QStringLiteral("is no log line");
}

int Run(const Options& options)
{
    if (const std::optional<QString> refused = RefuseOutput(options))
        return Fail(*refused);

    chart::ChartWidget chart;
    readings::Lines lines;
    ShowLines(chart, ConfigureChart1(chart, ReportLanguage), lines);
    // A log being written is read up to its last whole line.
    const QStringList live = FilesWrittenIn(QFileInfo(options.log).absolutePath());
    const bool growing = !live.isEmpty() && files::SameFile(options.log, live.front());
    ReportLog log;
    try {
        log = LoadReportLog(options.log, lines, true, growing);
    } catch (const ChartFileError& e) {
        return Fail(QString::fromUtf8(e.what()));
    }
    const ChartLoadResult& loaded = log.loaded;
    if (loaded.kind != ChartFileKind::MeasurementLog) {
        return Fail(QStringLiteral("%1 is not a measurement log written by hmx700: line %2 %3: '%4'")
                        .arg(Native(options.log))
                        .arg(loaded.notLogLine)
                        .arg(NotLogReason(loaded.notLogFault), loaded.notLogText));
    }
    const ReportReadings data = ShownReadings(chart, lines);
    const std::optional<ReportPeriod> span = ReadingsSpan(data);
    if (loaded.points == 0 || !span)
        return Fail(QStringLiteral("%1 holds no readings").arg(Native(options.log)));

    const ReportPeriod period{options.from ? ChartX(*options.from) : span->from, options.to ? ChartX(*options.to) : span->to};
    if (options.from && period.from > span->to)
        return Fail(QStringLiteral("--from %1 is after the log's last reading (%2)").arg(MomentText(period.from), MomentText(span->to)));
    if (options.to && period.to < span->from)
        return Fail(QStringLiteral("--to %1 is before the log's first reading (%2)").arg(MomentText(period.to), MomentText(span->from)));
    if (!(period.from <= period.to))
        return Fail(QStringLiteral("the period ends before it starts (--from %1 is after --to %2)")
                        .arg(MomentText(period.from), MomentText(period.to)));
    if (!HasReadingsIn(data, period))
        return Fail(QStringLiteral("%1 has no readings from %2 to %3")
                        .arg(Native(options.log), MomentText(period.from), MomentText(period.to)));

    RunReportSource source;
    source.logFile = options.log;
    source.logBytes = log.bytes;
    source.logSha256 = log.sha256;
    source.logGrowing = growing;
    const QString journal = JournalBeside(options.log);
    if (QFileInfo::exists(journal))
        source.journal = ReadJournal(journal);
    InstrumentFromJournal(source, LocalDateTime(period.to), ReportLanguage);
    source.preferences = LoadAlarmPreferences(*ProgramSettings());
    ShowLimitLines(chart, source.preferences, {});
    ShowPeriod(chart, period);

    QString error;
    if (!report::WriteReportPdf(RunReport(data, source, period, ReportLanguage), chart, options.output, &error))
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
