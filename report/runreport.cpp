#include "report/runreport.h"

#include "chart/chartwidget.h"
#include "instrument/charttime.h"
#include "log/logfolderlock.h"
#include "log/measurementlog.h"
#include "readings/lines.h"
#include "report/chartlimits.h"
#include "report/chartview.h"
#include "report/limittexts.h"
#include "report/loadedrows.h"
#include "report/sha256.h"
#include "report/statisticstexts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSysInfo>

#include <algorithm>
#include <cmath>
#include <thread>

namespace hmx {

namespace {

QString OrUnknown(const QString& text, const Wording& w) { return text.isEmpty() ? w("nieznany", "unknown") : text; }

// A section's or fact's title, with the instrument's name when the report covers several.
QString Named(const QString& title, const QString& name)
{
    return name.isEmpty() ? title : QStringLiteral("%1 – %2").arg(title, name);
}

// Date and time with seconds, in the locale's forms; in the hour the clock repeats in
// autumn with the UTC offset, which tells its two passes apart.
QString MomentText(const QDateTime& moment)
{
    const QLocale locale;
    QString text = locale.toString(moment.date(), QLocale::ShortFormat) + u' ' + LongTimeText(moment.time(), locale);
    if (moment.isValid() && MomentsOfClock(QDateTime(moment.date(), moment.time(), Qt::UTC).toMSecsSinceEpoch()).count == 2) {
        const int minutes = moment.offsetFromUtc() / 60;
        text += QStringLiteral(" (UTC%1%2:%3)")
                    .arg(minutes < 0 ? u'-' : u'+')
                    .arg(std::abs(minutes) / 60, 2, 10, QLatin1Char('0'))
                    .arg(std::abs(minutes) % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

// The statistics with one column per line, so the table keeps to a page's width.
report::ReportTable Transposed(const readings::StatisticsTable& table)
{
    report::ReportTable out;
    if (table.rows.empty())
        return out;
    out.header << QString();
    for (const QStringList& row : table.rows)
        out.header << row.value(0);
    for (qsizetype field = 1; field < table.header.size(); ++field) {
        QStringList row{table.header[field]};
        for (const QStringList& line : table.rows)
            row << line.value(field);
        out.rows.push_back(row);
    }
    return out;
}

// The limits with the units the program shows its lines in: the chart's line titles
// ("°Cdp" for the dew point, not the "°C" of a temperature).
report::ReportSection LimitsSection(const AlarmPreferences& preferences, const QString& name, Language language)
{
    const Wording w{language};
    report::ReportSection section{Named(w("Obowiązujące progi", "Limits in force"), name), {}, {}, {}};
    section.table.header = {w("Wielkość", "Quantity"), w("Próg", "Limit"), w("Wartość", "Value")};
    for (const limits::QuantityInfo& measured : limits::MeasuredQuantities) {
        const limits::Limits limits = preferences.of(measured.id);
        const QString unit = ReadingTitle(measured.id);
        for (limits::Bound bound : {limits::Bound::AlarmHigh, limits::Bound::WarningHigh, limits::Bound::WarningLow,
                                    limits::Bound::AlarmLow}) {
            if (const std::optional<double>& value = limits[bound])
                section.table.rows.push_back({QuantityName(measured.id, language), BoundName(bound, language),
                                              LimitNumberText(*value) + QChar(0x00A0) + unit});
        }
    }
    if (section.table.rows.empty())
        section.lines << w("Nie ustawiono progów.", "No limits are set.");
    return section;
}

// The events a reader of the report looks for: limits, losses of the instrument and
// of the log, connections.
QString EventName(const QString& kind, const Wording& w)
{
    static const struct {
        const char* kind;
        const char16_t* polish;
        const char16_t* english;
    } Names[] = {
        {"limit-crossed", u"Przekroczenie progu", u"Limit crossed"},
        {"limit-cleared", u"Powrót w granice", u"Back within limits"},
        {"limit-acknowledged", u"Potwierdzenie alarmu", u"Alarm acknowledged"},
        {"limit-removed", u"Usunięcie progu", u"Limit removed"},
        {"instrument-lost", u"Utrata przyrządu", u"Instrument lost"},
        {"instrument-back", u"Przyrząd odnaleziony", u"Instrument back"},
        {"log-failed", u"Błąd zapisu dziennika", u"Log cannot be written"},
        {"log-works", u"Zapis dziennika przywrócony", u"Log written again"},
        {"connect", u"Połączenie", u"Connected"},
        {"stop", u"Koniec pomiarów", u"Measuring stopped"},
    };
    for (const auto& n : Names) {
        if (kind == QLatin1String(n.kind))
            return w(QString::fromUtf16(n.polish), QString::fromUtf16(n.english));
    }
    return {};
}

report::ReportSection EventsSection(const RunReportSource& source, double fromX, double toX, const Wording& w)
{
    report::ReportSection section{Named(w("Zdarzenia okresu", "Events of the period"), source.name), {}, {}, {}};
    if (!source.journal) {
        section.lines << w("Obok pliku dziennika nie ma dziennika zdarzeń.",
                                    "There is no event journal beside the log file.");
        return section;
    }
    section.table.header = {w("Czas", "Time"), w("Zdarzenie", "Event"), w("Szczegóły", "Details")};
    for (const JournalEvent& event : *source.journal) {
        const double x = ChartX(event.time.toMSecsSinceEpoch());
        const QString name = EventName(event.kind, w);
        if (x >= fromX && x <= toX && !name.isEmpty())
            section.table.rows.push_back({MomentText(event.time.toLocalTime()), name, event.details.join(QStringLiteral(", "))});
    }
    if (section.table.rows.empty())
        section.lines << w("Brak zdarzeń w tym okresie.", "No events in this period.");
    return section;
}

// The log's name, the bytes the report was made from and their SHA-256, set in a
// fixed-pitch font so it is read (and copied) character for character.
report::ReportSection FileSection(const RunReportSource& source, const Wording& w)
{
    report::ReportSection section{Named(w("Plik dziennika", "Log file"), source.name), {}, {}, {}};
    if (source.logFile.isEmpty()) {
        section.lines << w("Wykres nie pochodzi z pliku.", "The chart does not come from a file.");
        return section;
    }
    section.lines << QDir::toNativeSeparators(QFileInfo(source.logFile).absoluteFilePath());
    if (source.logBytes < 0)
        return section;
    const QString bytes = QString::number(source.logBytes);
    if (source.logGrowing)
        section.lines << w("Plik był w trakcie zapisu; raport obejmuje jego pierwsze %1 bajtów "
                                    "(sprawdzenie: head -c %1 PLIK | sha256sum).",
                                    "The file was being written; the report covers its first %1 bytes "
                                    "(to check: head -c %1 FILE | sha256sum).")
                             .arg(bytes);
    else
        section.lines << w("Rozmiar: %1 bajtów.", "Size: %1 bytes.").arg(bytes);
    section.lines << QStringLiteral("SHA-256:");
    section.code << source.logSha256;
    return section;
}

// Hands on a file's first `limit` bytes to the loader, hashing them as they are read;
// reading from the start again starts the hash again.
class HashingReader : public QIODevice {
public:
    HashingReader(QFile& file, qint64 limit) : m_file(file), m_limit(limit) {}

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_limit; }
    bool seek(qint64 position) override
    {
        if (position != 0 || !m_file.seek(0))
            return false;
        QIODevice::seek(0);
        m_hash.reset();
        m_read = 0;
        return true;
    }

    // What was read so far, once the rest is read too.
    bool finish(QString& sha256)
    {
        char buffer[64 * 1024];
        for (;;) {
            const qint64 n = read(buffer, sizeof buffer);
            if (n < 0)
                return false;
            if (n == 0)
                break;
        }
        sha256 = QString::fromLatin1(m_hash.result().toHex());
        return true;
    }
    qint64 bytesRead() const { return m_read; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = m_file.read(data, std::min(maxSize, m_limit - m_read));
        if (n < 0) {
            setErrorString(m_file.errorString());
            return -1;
        }
        m_hash.addData(QByteArrayView(data, n));
        m_read += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QFile& m_file;
    qint64 m_limit;
    qint64 m_read = 0;
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
};

// Where the last complete line of a file being written ends (0: no complete line yet).
qint64 EndOfLastLine(QFile& file)
{
    qint64 end = file.size();
    char buffer[4096];
    while (end > 0) {
        const qint64 from = std::max<qint64>(0, end - qint64(sizeof buffer));
        if (!file.seek(from))
            return 0;
        const qint64 n = file.read(buffer, end - from);
        if (n != end - from)
            return 0;
        for (qint64 i = n - 1; i >= 0; --i) {
            if (buffer[i] == '\n')
                return from + i + 1;
        }
        end = from;
    }
    return 0;
}

// A log's points onto the reading lines: the rows kept, then the lines built each on a
// thread of its own and put in place.
class LinesSink : public RowsSink {
public:
    explicit LinesSink(readings::Lines& lines) : RowsSink(readings::LogJoiningDistance), m_lines(lines) {}
    void clearSeries(ChartLine line) override { m_lines.line(QuantityOf(line))->clear(); }
    void setTimeAxisAutomatic() override {}
    void finish()
    {
        const std::vector<ChartLine> shown = lines();
        std::vector<std::vector<readings::Line>> built = build();
        for (std::size_t k = 0; k < shown.size(); ++k) {
            for (readings::Line& part : built[k])
                m_lines.append(QuantityOf(shown[k]), std::move(part));
        }
    }

private:
    readings::Lines& m_lines;
};

} // namespace

QString JournalBeside(const QString& logFile)
{
    return QFileInfo(logFile).absoluteDir().filePath(QStringLiteral("hmx700-events.txt"));
}

QString FirmwareText(const QString& version, const QString& revision, Language language)
{
    return Wording{language}("%1, rewizja %2", "%1, revision %2").arg(version, revision);
}

ReportReadings ShownReadings(const chart::ChartWidget& chart, const readings::Lines& lines)
{
    return ShownReadings(chart, std::vector<const readings::Lines*>{&lines});
}

ReportReadings ShownReadings(const chart::ChartWidget& chart, const std::vector<const readings::Lines*>& sources)
{
    ReportReadings r;
    r.timeOfDay = [&chart](double x) { return chart.timeOfDay(x); };
    std::vector<std::vector<humidity::Quantity>> quantities;
    for (const readings::Lines* lines : sources)
        quantities.push_back(lines->quantities());
    for (int i = 0; i < chart.seriesCount(); ++i) {
        const chart::LineSeries& series = *chart.series(i);
        if (!series.visible())
            continue;
        for (std::size_t s = 0; s < sources.size(); ++s) {
            for (humidity::Quantity q : quantities[s]) {
                if (sources[s]->find(q) == series.data())
                    r.shown.push_back({q, series.title(), series.color(), sources[s], s});
            }
        }
    }
    return r;
}

void InstrumentFromJournal(RunReportSource& source, const QDateTime& until, Language language)
{
    if (!source.journal)
        return;
    const JournalEvent* last = nullptr;
    for (const JournalEvent& event : *source.journal) {
        if (event.kind == QLatin1String("connect") && event.time <= until)
            last = &event;
    }
    if (!last)
        return;
    for (auto [field, name] : {std::pair{&source.model, "model"}, {&source.firmware, "version"}, {&source.serialNumber, "serial"}}) {
        const QString value = DetailValue(*last, QLatin1String(name));
        if (!value.isEmpty())
            *field = value;
    }
    // The version line as the window showed it, in either language of the program.
    static const QRegularExpression versionLine(QStringLiteral("(?:wersja|version):\\s*(\\S+)\\s+(?:rewizja|rev\\.):\\s*(\\S+)"));
    const QRegularExpressionMatch match = versionLine.match(source.firmware);
    if (match.hasMatch())
        source.firmware = FirmwareText(match.captured(1), match.captured(2), language);
}

void ShowPeriod(chart::ChartWidget& chart, ReportPeriod period)
{
    chart::ChartAxis& axis = *chart.bottomAxis();
    axis.setAutomatic(false);
    if (period.from > axis.maximum()) {
        axis.setMaximum(period.to);
        axis.setMinimum(period.from);
    } else {
        axis.setMinimum(period.from);
        axis.setMaximum(period.to);
    }
}

std::optional<ReportPeriod> ReadingsSpan(const ReportReadings& data)
{
    std::optional<ReportPeriod> span;
    for (const ReportLine& shown : data.shown) {
        const std::shared_ptr<const readings::Line> line = shown.lines->find(shown.quantity);
        if (!line || line->count() == 0)
            continue;
        const double first = line->points().firstX(), last = line->points().lastX();
        span = span ? ReportPeriod{std::min(span->from, first), std::max(span->to, last)} : ReportPeriod{first, last};
    }
    return span;
}

bool HasReadingsIn(const ReportReadings& data, ReportPeriod period)
{
    for (const ReportLine& shown : data.shown) {
        const std::shared_ptr<const readings::Line> line = shown.lines->find(shown.quantity);
        if (line && readings::StatisticsOf(*line, period.from, period.to).count > 0)
            return true;
    }
    return false;
}

readings::StatisticsTable ReadingsStatistics(const ReportReadings& data, double fromX, double toX,
                                             const AlarmPreferences& preferences, Language language)
{
    return ReadingsStatistics(data, fromX, toX, std::vector<AlarmPreferences>{preferences}, language);
}

readings::StatisticsTable ReadingsStatistics(const ReportReadings& data, double fromX, double toX,
                                             const std::vector<AlarmPreferences>& preferences, Language language)
{
    std::vector<readings::LineStatistics> lines;
    for (const ReportLine& shown : data.shown) {
        const std::shared_ptr<const readings::Line> line = shown.lines->find(shown.quantity);
        if (!line)
            continue;
        static const AlarmPreferences none;
        const AlarmPreferences& limits = shown.source < preferences.size() ? preferences[shown.source] : none;
        lines.push_back(readings::StatisticsOf(*line, fromX, toX, StatisticsLimitsOf(limits, shown.quantity, language)));
        lines.back().title = shown.title;
    }
    return readings::StatisticsTableOf(lines, StatisticsHeaders(language), data.timeOfDay);
}

report::ReportDocument RunReport(const ReportReadings& data, const RunReportSource& source, ReportPeriod period,
                                 Language language, const QDateTime& made)
{
    return RunReport(data, std::vector<RunReportSource>{source}, period, language, made);
}

report::ReportDocument RunReport(const ReportReadings& data, const std::vector<RunReportSource>& sources,
                                 ReportPeriod period, Language language, const QDateTime& made)
{
    const Wording w{language};
    report::ReportDocument doc;
    doc.title = w("Raport z pomiarów HMX-700", "HMX-700 measurement report");
    doc.pageNumbers = w("Strona %1 z %2", "Page %1 of %2");
    doc.facts = {{w("Program", "Program"), QStringLiteral("hmx700 " HMX700_VERSION)}};
    for (const RunReportSource& source : sources) {
        doc.facts.push_back({Named(w("Przyrząd", "Instrument"), source.name), OrUnknown(source.model, w)});
        doc.facts.push_back(
            {Named(w("Wersja oprogramowania przyrządu", "Firmware version"), source.name), OrUnknown(source.firmware, w)});
        doc.facts.push_back({Named(w("Numer seryjny", "Serial number"), source.name), OrUnknown(source.serialNumber, w)});
    }
    doc.facts.push_back({w("Komputer", "Computer"), QSysInfo::machineHostName()});
    doc.facts.push_back({w("Okres", "Period"),
                         MomentText(LocalDateTime(period.from)) + QStringLiteral(" – ") + MomentText(LocalDateTime(period.to))});
    doc.facts.push_back({w("Raport sporządzono", "Report made"), MomentText(made)});
    doc.chartHeading = w("Wykres okresu", "Chart of the period");
    std::vector<AlarmPreferences> preferences;
    for (const RunReportSource& source : sources)
        preferences.push_back(source.preferences);
    doc.sections.push_back({w("Statystyka", "Statistics"),
                            Transposed(ReadingsStatistics(data, period.from, period.to, preferences, language)),
                            {},
                            {}});
    for (const RunReportSource& source : sources)
        doc.sections.push_back(LimitsSection(source.preferences, source.name, language));
    for (const RunReportSource& source : sources)
        doc.sections.push_back(EventsSection(source, period.from, period.to, w));
    for (const RunReportSource& source : sources)
        doc.sections.push_back(FileSection(source, w));
    return doc;
}

QString NoReadingsText(ReportPeriod period, Language language)
{
    return Wording{language}("Brak odczytów między %1 a %2.", "No readings between %1 and %2.")
        .arg(MomentText(LocalDateTime(period.from)), MomentText(LocalDateTime(period.to)));
}

QString DefaultReportName(Language language, const QDateTime& made)
{
    return Wording{language}("raport-", "report-") + made.toString(QStringLiteral("yyyy-MM-dd-HHmm")) + QStringLiteral(".pdf");
}

ReportLog LoadReportLog(const QString& fileName, readings::Lines& lines, bool logOnly, bool growing, const QLocale& locale)
{
    const std::unique_ptr<QFile> file = OpenChartFile(fileName);
    const qint64 limit = growing ? EndOfLastLine(*file) : file->size();
    for (ChartLine l : {ChartLine::DewPoint, ChartLine::Humidity, ChartLine::Ambient}) {
        const std::shared_ptr<readings::Line> line = lines.line(QuantityOf(l));
        line->clear();
        line->setJoiningDistance(readings::LogJoiningDistance);
    }
    LinesSink sink(lines);
    ChartLoadOptions options;
    options.locale = locale;
    options.logOnly = logOnly;
    // Read now, not after the load: the file is read through the hashing reader.
    options.lastModified = file->fileTime(QFileDevice::FileModificationTime);
    ReportLog log;
    // Read whole, the bytes are hashed on a thread of their own while their lines are read.
    if (!file->seek(0))
        throw ChartFileError(ChartProblem::ReadError, fileName, file->errorString());
    if (std::optional<FileBytes> whole = ReadWholeFile(*file, limit, fileName, options)) {
        const QByteArrayView bytes(whole->data.get(), qsizetype(whole->size));
        std::thread hashing([&] { log.sha256 = Sha256Hex(bytes); });
        try {
            log.loaded = LoadChartBytes(whole->view(), fileName, sink, options);
            sink.finish();
        } catch (...) {
            hashing.join();
            throw;
        }
        hashing.join();
        log.bytes = qint64(whole->size);
        return log;
    }
    if (!file->seek(0))
        throw ChartFileError(ChartProblem::ReadError, fileName, file->errorString());
    HashingReader reader(*file, limit);
    if (!reader.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw ChartFileError(ChartProblem::ReadError, fileName, reader.errorString());
    log.loaded = LoadChart(reader, fileName, sink, options);
    sink.finish();
    if (!reader.finish(log.sha256))
        throw ChartFileError(ChartProblem::ReadError, fileName, reader.errorString());
    log.bytes = reader.bytesRead();
    return log;
}

QStringList MeasuringFiles(const QString& logName)
{
    const QFileInfo log(logName);
    const QDir folder = log.absoluteDir();
    return {log.absoluteFilePath(), log.absoluteFilePath() + QStringLiteral(".lock"),
            folder.filePath(QStringLiteral("hmx700-events.txt")),
            folder.filePath(log.completeBaseName() + QStringLiteral(".queue"))};
}

QStringList FilesWrittenIn(const QString& folder)
{
    // Every measuring copy writes jrt1.txt in the folder it measures in.
    const QString log = QDir(folder).filePath(QStringLiteral("jrt1.txt"));
    return LogFolderLock::HeldNow(log) ? MeasuringFiles(log) : QStringList();
}

} // namespace hmx
