// The chart-file reader: loader layout, time and value conversion, own-log detection.
#include "instrument/charttime.h"
#include "log/chartblocks.h"
#include "log/chartfile.h"
#include "log/chartfileparts.h"
#include "log/loglineparser.h"
#include "log/measurementlog.h"
#include "report/loadedrows.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <atomic>
#include <random>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using hmx::ChartLine;

namespace {

struct Point {
    ChartLine line;
    double x;
    double y;
};

class RecordingSink : public hmx::ChartSink {
public:
    void clearSeries(ChartLine line) override
    {
        cleared.push_back(line);
        clearedAfterPoints = clearedAfterPoints || !points.empty();
    }
    void setTimeAxisAutomatic() override { ++automatic; }
    void addPoint(ChartLine line, double x, double y) override { points.push_back({line, x, y}); }

    std::vector<ChartLine> cleared;
    bool clearedAfterPoints = false;
    int automatic = 0;
    std::vector<Point> points;
};

// `content` written to `file`, which is then open for reading.
bool WriteAndOpen(QFile& file, const QByteArray& content)
{
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return file.open(QIODevice::ReadOnly);
}

struct Loaded {
    RecordingSink sink;
    QString error;
    hmx::ChartProblem problem = hmx::ChartProblem::Cancelled;
    hmx::ChartLoadResult result;
};

void load(const QByteArray& content, Loaded& out, const QDateTime& modified = QDateTime(),
          std::size_t bufferSize = 64 * 1024, const QLocale& locale = QLocale(QLocale::C),
          const std::function<void(qint64, qint64)>& progress = {}, const std::atomic<bool>* cancel = nullptr)
{
    QByteArray data = content;
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    hmx::ChartLoadOptions options;
    options.locale = locale;
    // Both readings below date a log alike.
    options.lastModified = modified.isValid() || progress || cancel ? modified : QDateTime::currentDateTime();
    options.bufferSize = bufferSize;
    options.progress = progress;
    options.cancel = cancel;
    const auto loadFrom = [&](QIODevice& device, Loaded& into) {
        try {
            into.result = hmx::LoadChart(device, QStringLiteral("test.txt"), into.sink, options);
        } catch (const hmx::ChartFileError& e) {
            into.error = QString::fromUtf8(e.what());
            into.problem = e.problem();
        }
    };
    loadFrom(buffer, out);
    if (progress || cancel)
        return;

    // A file is read in blocks and its lines in pieces at once: here in blocks that
    // start at a byte, on three threads, so every case checks that the pieces join as
    // the lines run.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("test.txt")));
    QVERIFY(WriteAndOpen(file, content));
    options.parts = 3;
    options.minPieceBytes = 1;
    Loaded whole;
    loadFrom(file, whole);
    QCOMPARE(whole.error, out.error);
    QCOMPARE(whole.problem, out.problem);
    QCOMPARE(whole.sink.cleared, out.sink.cleared);
    QCOMPARE(whole.sink.automatic, out.sink.automatic);
    QCOMPARE(whole.sink.points.size(), out.sink.points.size());
    for (std::size_t i = 0; i < out.sink.points.size(); ++i) {
        const Point& a = whole.sink.points[i];
        const Point& b = out.sink.points[i];
        QVERIFY2(a.line == b.line && a.x == b.x && a.y == b.y, qPrintable(QString::number(i)));
    }
    QCOMPARE(int(whole.result.kind), int(out.result.kind));
    QCOMPARE(whole.result.lines, out.result.lines);
    QCOMPARE(whole.result.points, out.result.points);
    QCOMPARE(whole.result.lastDate, out.result.lastDate);
    QCOMPARE(whole.result.notLogLine, out.result.notLogLine);
    QCOMPARE(int(whole.result.notLogFault), int(out.result.notLogFault));
    QCOMPARE(whole.result.notLogText, out.result.notLogText);
}

// "x:y" pairs of the dew-point line, compared within 1e-6.
using Pairs = QList<QPointF>;

Pairs dewPoints(const RecordingSink& sink, ChartLine line = ChartLine::DewPoint)
{
    Pairs pairs;
    for (const Point& p : sink.points) {
        if (p.line == line)
            pairs.append(QPointF(p.x, p.y));
    }
    return pairs;
}

bool samePairs(const Pairs& actual, const Pairs& expected)
{
    if (actual.size() != expected.size())
        return false;
    for (qsizetype i = 0; i < actual.size(); ++i) {
        if (std::abs(actual[i].x() - expected[i].x()) > 1e-6 || std::abs(actual[i].y() - expected[i].y()) > 1e-6)
            return false;
    }
    return true;
}

QString describe(const Pairs& pairs)
{
    QStringList parts;
    for (const QPointF& p : pairs)
        parts << QStringLiteral("(%1, %2)").arg(p.x(), 0, 'f', 6).arg(p.y(), 0, 'f', 4);
    return parts.join(QLatin1Char(' '));
}

double hms(int h, int m, int s, int ms = 0)
{
    return (((h * 60.0 + m) * 60.0 + s) * 1000.0 + ms) / 86400000.0;
}

// A device whose reads fail once `goodBytes` have been delivered.
// A file that tells a size larger than it has (cut short after the size was taken) and
// may fail after some bytes, read as much as possible at a time or at most `perRead`
// bytes a read.
class ShortFile : public QFile {
public:
    ShortFile(const QString& name, qint64 told, qint64 goodBytes, qint64 perRead = 0)
        : QFile(name), m_told(told), m_good(goodBytes), m_perRead(perRead)
    {
    }
    qint64 size() const override { return m_told; }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        if (m_read >= m_good) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = QFile::readData(out, std::min({max, m_good - m_read, m_perRead > 0 ? m_perRead : max}));
        m_read += std::max<qint64>(n, 0);
        return n;
    }

private:
    qint64 m_told;
    qint64 m_good;
    qint64 m_perRead;
    qint64 m_read = 0;
};

class FailingDevice : public QIODevice {
public:
    FailingDevice(QByteArray data, qint64 goodBytes) : m_data(std::move(data)), m_good(goodBytes) {}
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_data.size(); }
    bool seek(qint64 to) override
    {
        QIODevice::seek(to);
        m_at = to;
        return true;
    }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        const qint64 at = m_at;
        if (at >= m_good) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = std::min({max, m_good - at, qint64(m_data.size()) - at});
        std::memcpy(out, m_data.constData() + at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_good;
    qint64 m_at = 0;
};

// Logs are 8-bit text in the system's code page: UTF-8 on Linux, the ANSI code page on
// Windows (code page 949 on a Korean one, 1252 on a Western one). Where that code page
// cannot hold a locale's morning and afternoon markers, its times cannot be logged.
bool MarkersFitCodePage(const QLocale& locale)
{
    for (const QString& marker : {locale.amText(), locale.pmText()}) {
        if (QString::fromLocal8Bit(marker.toLocal8Bit()) != marker)
            return false;
    }
    return true;
}

QByteArray logLine(int number, const QTime& time, int dew, int hum, int amb, const QLocale& locale)
{
    hmx::LogLine line;
    line.number = number;
    line.time = time;
    line.dewPoint = std::int16_t(dew);
    line.humidity = std::int16_t(hum);
    line.ambient = std::int16_t(amb);
    // raw / 10 with two decimals; from 1000 on whole units (four significant digits).
    const auto shown = [&](int tenths) {
        const int magnitude = std::abs(tenths);
        const QString fraction = magnitude >= 10000 ? QStringLiteral("00") : QString::number(magnitude % 10) + u'0';
        return (tenths < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 10)
            + locale.decimalPoint() + fraction;
    };
    line.dewPointText = shown(dew);
    line.humidityText = shown(hum);
    line.ambientText = shown(amb);
    return hmx::FormatLogLine(line, locale);
}

} // namespace

class TestChartFile : public QObject {
    Q_OBJECT
private slots:
    void loaderLayout_data();
    void loaderLayout();
    void bufferBoundariesDoNotMatter();
    void timeConversion_data();
    void timeConversion();
    void valueConversion_data();
    void valueConversion();
    void splitShortLine();
    void readErrorKeepsEarlierPoints();
    void piecesHoldEveryByteOnce_data();
    void piecesHoldEveryByteOnce();
    void fileEndingWhileRead_data();
    void fileEndingWhileRead();
    void unreadableFilesChangeNothing_data();
    void unreadableFilesChangeNothing();
    void progressAndCancel_data();
    void progressAndCancel();
    void logLineRecognition_data();
    void logLineRecognition();
    void onePassAgreesOnMutatedLines_data();
    void onePassAgreesOnMutatedLines();
    void ownLogRoundTrip_data();
    void ownLogRoundTrip();
    void ownLogDateFromFileTime();
    void ownLogClockSteps_data();
    void ownLogClockSteps();
    void ownLogAcrossClockChanges_data();
    void ownLogAcrossClockChanges();
    void ownLogWithUnfinishedLastLine_data();
    void ownLogWithUnfinishedLastLine();
    void loaderLayoutNeverTakenForLog_data();
    void loaderLayoutNeverTakenForLog();
    void shortOwnLogLoadsAsLog_data();
    void shortOwnLogLoadsAsLog();
};

void TestChartFile::loaderLayout_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Pairs>("expected");
    QTest::addColumn<QString>("error");

    const QByteArray head = "header one\nheader two\n";
    QTest::newRow("two data lines across midnight")
        << head + "7\t23:59:58\t02345\n8\t00:00:03\t02350\n"
        << Pairs{{0.999977, 23.45}, {1.000035, 23.5}} << QString();
    QTest::newRow("CR LF line ends, no end after the last line")
        << QByteArray("a\r\nb\r\n7\t23:59:58\t02345\r\n8\t00:00:03\t02350")
        << Pairs{{0.999977, 23.45}, {1.000035, 23.5}} << QString();
    QTest::newRow("first field longer than five characters")
        << head + "1\t12:00:00\t02345\n123456\t12:00:01\t02345\n" << Pairs{{0.5, 23.45}}
        << QStringLiteral("'\\t12:00:0' is not a valid time (line 4)");  // the TAB shown as such
    QTest::newRow("five zeros add no point")
        << head + "1\t12:00:00\t00000\n2\t12:00:01\t00100\n" << Pairs{{hms(12, 0, 1), 1.0}} << QString();
    QByteArray longLine = "1\t12:00:00\t02345";
    longLine += QByteArray(105 - longLine.size(), 'x');
    longLine += "9\t13:00:00\t09999";  // beyond the 105th character: must not be read as a line
    longLine += QByteArray(200 - longLine.size(), 'y');
    QTest::newRow("200-character line reads 105 and the next line starts right")
        << head + longLine + "\r\n2\t12:00:01\t00100\n" << Pairs{{0.5, 23.45}, {hms(12, 0, 1), 1.0}} << QString();
    QTest::newRow("fewer than three lines add nothing")
        << QByteArray("1\t12:00:00\t02345\n2\t12:00:01\t02345\n") << Pairs{} << QString();
    QTest::newRow("empty file") << QByteArray() << Pairs{} << QString();
    QTest::newRow("blank data line ends the load, earlier points stay")
        << head + "1\t12:00:00\t02345\n\n2\t12:00:01\t02345\n" << Pairs{{0.5, 23.45}}
        << QStringLiteral("'' is not a valid time (line 4)");
    QTest::newRow("blank line with CR ends the load too")
        << head + "1\t12:00:00\t02345\r\n\r\n" << Pairs{{0.5, 23.45}} << QStringLiteral("'' is not a valid time (line 4)");
    QTest::newRow("short line does not see an earlier long line")
        << head + "1\t12:00:00\t02345\nx\n" << Pairs{{0.5, 23.45}} << QStringLiteral("'' is not a valid time (line 4)");
    QTest::newRow("short line with hours only adds no point")
        << head + "12\t12:00:00\t02345\n1\t1\n2\t13:00:00\t00100\n"
        << Pairs{{0.5, 23.45}, {1 + hms(13, 0, 0), 1.0}} << QString();
    QTest::newRow("partial numbers: digits without sign or point")
        << head + "1\t12:00:00\t-105\t450\n2\t12:00:01\t12.5\t\n3\t12:00:02\t235\t4\n"
        << Pairs{{0.5, 1.05}, {hms(12, 0, 1), 1.25}, {hms(12, 0, 2), 2.35}} << QString();
    QTest::newRow("whole numbers keep their sign")
        << head + "1\t12:00:00\t-1234\n2\t12:00:01\t -1.5\n3\t12:00:02\t1e2\n"
        << Pairs{{0.5, -12.34}, {hms(12, 0, 1), -0.015}, {hms(12, 0, 2), 1.0}} << QString();
    QTest::newRow("value shorter at the line end")
        << head + "1\t12:00:00\t23\n2\t12:00:01\t\n" << Pairs{{0.5, 0.23}} << QString();
    QTest::newRow("day count grows only when the time goes back")
        << head + "1\t10:00:00\t00100\n2\t09:00:00\t00200\n3\t09:00:00\t00300\n4\t08:00:00\t00400\n"
        << Pairs{{hms(10, 0, 0), 1}, {1 + hms(9, 0, 0), 2}, {1 + hms(9, 0, 0), 3}, {2 + hms(8, 0, 0), 4}}
        << QString();
    QTest::newRow("first field one to five characters")
        << head + "12345\t12:00:00\t00100\n1234\t12:00:01\t00200\n"
        << Pairs{{0.5, 1}, {hms(12, 0, 1), 2}} << QString();
    QTest::newRow("time error in the first data line")
        << head + "1\t12:61:00\t00100\n" << Pairs{} << QStringLiteral("'12:61:00' is not a valid time (line 3)");
    QTest::newRow("only CRs") << QByteArray(1000, '\r') << Pairs{} << QString();
    QTest::newRow("one long line") << QByteArray(3 << 20, '7') << Pairs{} << QString();
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919) % 251 == 10 ? 11 : (i * 7919) % 251);  // no LF
    QTest::newRow("binary garbage without a line end") << garbage << Pairs{} << QString();
}

void TestChartFile::loaderLayout()
{
    QFETCH(QByteArray, content);
    QFETCH(Pairs, expected);
    QFETCH(QString, error);
    Loaded loaded;
    load(content, loaded);
    QCOMPARE(loaded.error, error);
    QVERIFY2(samePairs(dewPoints(loaded.sink), expected), qPrintable(describe(dewPoints(loaded.sink))));
    QCOMPARE(loaded.sink.points.size(), size_t(expected.size()));  // Series1 only
    // Without a single point the chart is left as it was.
    QCOMPARE(loaded.sink.cleared,
             expected.isEmpty() ? std::vector<ChartLine>{} : std::vector<ChartLine>{ChartLine::DewPoint});
    QCOMPARE(loaded.sink.automatic, expected.isEmpty() ? 0 : 1);
    QVERIFY(!loaded.sink.clearedAfterPoints);
    QCOMPARE(loaded.result.kind, hmx::ChartFileKind::LoaderLayout);
}

void TestChartFile::bufferBoundariesDoNotMatter()
{
    QByteArray content = "h\r\nh\r\n";
    for (int i = 0; i < 50; ++i) {
        content += QByteArray::number(i) + "\t12:" + QByteArray::number(10 + i) + ":00\t0" + QByteArray::number(1000 + i);
        content += (i % 2) ? "\r\n" : "\n";
        if (i == 20)
            content += "7\t12:30:00\t00500" + QByteArray(300, 'z') + "\r\n";
    }
    Loaded large;
    load(content, large);
    QVERIFY(large.error.isEmpty());
    QCOMPARE(large.sink.points.size(), size_t(51));
    for (std::size_t size : {16, 17, 64, 105, 106, 107}) {
        Loaded small;
        load(content, small, QDateTime(), size);
        QVERIFY2(small.error.isEmpty(), qPrintable(small.error));
        QVERIFY2(samePairs(dewPoints(small.sink), dewPoints(large.sink)), qPrintable(QString::number(size)));
    }
}

void TestChartFile::timeConversion_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("expected");

    QTest::newRow("pl: eight characters") << "pl_PL" << QByteArray("23:59:58") << true << hms(23, 59, 58);
    QTest::newRow("pl: seven characters") << "pl_PL" << QByteArray("7:05:09") << true << hms(7, 5, 9);
    QTest::newRow("pl: eight characters, 24 hours refused") << "pl_PL" << QByteArray("24:00:00") << false << 0.0;
    QTest::newRow("pl: eight characters, 60 minutes refused") << "pl_PL" << QByteArray("12:60:00") << false << 0.0;
    QTest::newRow("pl: eight characters, a letter refused") << "pl_PL" << QByteArray("12:3a:00") << false << 0.0;
    QTest::newRow("pl: eight characters, separators mixed refused") << "pl_PL" << QByteArray("12:34.56") << false << 0.0;
    QTest::newRow("pl: hours only") << "pl_PL" << QByteArray("7") << true << hms(7, 0, 0);
    QTest::newRow("pl: hours and minutes") << "pl_PL" << QByteArray("7:05") << true << hms(7, 5, 0);
    QTest::newRow("pl: blanks around and between") << "pl_PL" << QByteArray("  7 : 05 :09  ") << true << hms(7, 5, 9);
    QTest::newRow("pl: milliseconds after comma") << "pl_PL" << QByteArray("12:00:00,500") << true << hms(12, 0, 0, 500);
    QTest::newRow("pl: point is not its decimal separator") << "pl_PL" << QByteArray("12:00:00.5") << false << 0.0;
    QTest::newRow("pl: AM marker after") << "pl_PL" << QByteArray("12:30 AM") << true << hms(0, 30, 0);
    QTest::newRow("pl: pm before, lower case") << "pl_PL" << QByteArray("pm 1:00") << true << hms(13, 0, 0);
    QTest::newRow("pl: 24:00 refused") << "pl_PL" << QByteArray("24:00") << false << 0.0;
    QTest::newRow("pl: 12:60 refused") << "pl_PL" << QByteArray("12:60") << false << 0.0;
    QTest::newRow("pl: 60 seconds refused") << "pl_PL" << QByteArray("12:00:60") << false << 0.0;
    QTest::newRow("pl: 1000 ms refused") << "pl_PL" << QByteArray("12:00:00,1000") << false << 0.0;
    QTest::newRow("pl: empty refused") << "pl_PL" << QByteArray("") << false << 0.0;
    QTest::newRow("pl: blanks only refused") << "pl_PL" << QByteArray("   ") << false << 0.0;
    QTest::newRow("pl: letters refused") << "pl_PL" << QByteArray("ab") << false << 0.0;
    QTest::newRow("pl: four parts refused") << "pl_PL" << QByteArray("12:00:00:00") << false << 0.0;
    QTest::newRow("pl: missing minutes refused") << "pl_PL" << QByteArray("12::00") << false << 0.0;
    QTest::newRow("pl: trailing separator refused") << "pl_PL" << QByteArray("12:00:") << false << 0.0;
    QTest::newRow("pl: TAB is no blank") << "pl_PL" << QByteArray("\t12:00") << false << 0.0;
    QTest::newRow("pl: sign refused") << "pl_PL" << QByteArray("-1:00") << false << 0.0;
    QTest::newRow("pl: two markers refused") << "pl_PL" << QByteArray("AM 1:00 PM") << false << 0.0;
    QTest::newRow("pl: marker with 0 hours refused") << "pl_PL" << QByteArray("0:30 AM") << false << 0.0;
    QTest::newRow("pl: marker with 13 hours refused") << "pl_PL" << QByteArray("13:00 PM") << false << 0.0;
    QTest::newRow("en: 12 AM is midnight") << "en_US" << QByteArray("12:00:00 AM") << true << 0.0;
    QTest::newRow("en: 12 PM is noon") << "en_US" << QByteArray("12:00:00 PM") << true << 0.5;
    QTest::newRow("en: marker glued on") << "en_US" << QByteArray("1:02:03pm") << true << hms(13, 2, 3);
    QTest::newRow("en: milliseconds after point") << "en_US" << QByteArray("1:02:03.250 AM") << true << hms(1, 2, 3, 250);
    QTest::newRow("en: comma is not its decimal separator") << "en_US" << QByteArray("1:02:03,250") << false << 0.0;
    QTest::newRow("fi: point separates the parts") << "fi_FI" << QByteArray("13.05.09") << true << hms(13, 5, 9);
    QTest::newRow("fi: own markers") << "fi_FI" << QByteArray("1.05 ip.") << true << hms(13, 5, 0);
    QTest::newRow("fi: milliseconds after comma") << "fi_FI" << QByteArray("13.05.09,5") << true << hms(13, 5, 9, 5);
    // A log may come from a computer with another locale: every separator the program writes is read.
    QTest::newRow("fi: a colon as other locales write it") << "fi_FI" << QByteArray("13:05:09") << true << hms(13, 5, 9);
    QTest::newRow("C: a point as the Finnish write it") << "C" << QByteArray("20.01.55") << true << hms(20, 1, 55);
    QTest::newRow("C: separators mixed refused") << "C" << QByteArray("20:01.55") << false << 0.0;
    QTest::newRow("pl: another locale's marker") << "pl_PL" << QByteArray("1:05:07 p.m.") << true << hms(13, 5, 7);
    // In the system's 8-bit code page, as the log holds them.
    QTest::newRow("ko: own marker first") << "ko_KR" << QString::fromUtf8("오후 1:05:07").toLocal8Bit() << true
                                         << hms(13, 5, 7);
    QTest::newRow("ko: own marker first, morning") << "ko_KR" << QString::fromUtf8("오전 12:05:07").toLocal8Bit()
                                                  << true << hms(0, 5, 7);
}

void TestChartFile::timeConversion()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(double, expected);
    if (!MarkersFitCodePage(QLocale(locale)))
        QSKIP("the system's 8-bit code page cannot write this locale's markers");
    const hmx::TimeTextRules rules = hmx::TimeTextRules::fromLocale(QLocale(locale));
    double t = -1;
    QCOMPARE(hmx::ParseTimeOfDay(std::string_view(text.constData(), size_t(text.size())), rules, t), valid);
    if (valid)
        QVERIFY2(std::abs(t - expected) < 1e-12, qPrintable(QString::number(t, 'g', 17)));
}

void TestChartFile::valueConversion_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("complete");

    QTest::newRow("five digits") << QByteArray("02345") << 2345.0 << true;
    QTest::newRow("zeros") << QByteArray("00000") << 0.0 << true;
    QTest::newRow("fifteen digits") << QByteArray("123456789012345") << 123456789012345.0 << true;
    QTest::newRow("sixteen digits") << QByteArray("1234567890123456") << 1234567890123456.0 << true;
    QTest::newRow("negative whole") << QByteArray("-1234") << -1234.0 << true;
    QTest::newRow("plus sign") << QByteArray("+12") << 12.0 << true;
    QTest::newRow("full number with sign, point and exponent") << QByteArray("  -1.5e1") << -15.0 << true;
    QTest::newRow("exponent with sign") << QByteArray("25E-1") << 2.5 << true;
    QTest::newRow("point with no digits after") << QByteArray("5.") << 5.0 << true;
    QTest::newRow("-105 then TAB") << QByteArray("-105\t") << 105.0 << false;
    QTest::newRow("12.5 then TAB") << QByteArray("12.5\t") << 125.0 << false;
    QTest::newRow("235 then TAB and 4") << QByteArray("235\t4") << 235.0 << false;
    QTest::newRow("exponent digits not counted") << QByteArray("1.5e1x") << 15.0 << false;
    QTest::newRow("exponent without digits") << QByteArray("-12e") << 12.0 << false;
    QTest::newRow("trailing blank") << QByteArray("12 ") << 12.0 << false;
    QTest::newRow("comma is no decimal point") << QByteArray("1,5") << 1.0 << false;
    QTest::newRow("empty") << QByteArray("") << 0.0 << false;
    QTest::newRow("blanks") << QByteArray("     ") << 0.0 << false;
    QTest::newRow("lone sign") << QByteArray("-") << 0.0 << false;
    QTest::newRow("letters") << QByteArray("abc") << 0.0 << false;
    QTest::newRow("beyond a double") << QByteArray("1e999") << 0.0 << true;
}

void TestChartFile::valueConversion()
{
    QFETCH(QByteArray, text);
    QFETCH(double, value);
    QFETCH(bool, complete);
    const hmx::ValueText v = hmx::ConvertValueText(std::string_view(text.constData(), size_t(text.size())));
    QCOMPARE(v.value, value);
    QCOMPARE(v.complete, complete);
}

void TestChartFile::splitShortLine()
{
    const hmx::LoaderFields a = hmx::SplitLoaderLine("1\t23:59:58\t02345\tmore");
    QCOMPARE(QByteArray(a.timeText.data(), qsizetype(a.timeText.size())), QByteArray("23:59:58"));
    QCOMPARE(QByteArray(a.valueText.data(), qsizetype(a.valueText.size())), QByteArray("02345"));
    const hmx::LoaderFields b = hmx::SplitLoaderLine("ab");
    QVERIFY(b.timeText.empty());
    QVERIFY(b.valueText.empty());
    const hmx::LoaderFields c = hmx::SplitLoaderLine("abcdefgh\t");
    QCOMPARE(QByteArray(c.timeText.data(), qsizetype(c.timeText.size())), QByteArray("gh\t"));
    const hmx::LoaderFields d = hmx::SplitLoaderLine("abcd\t12:00:00\t02345");
    QCOMPARE(d.timeText, std::string_view("12:00:00"));
    QCOMPARE(d.valueText, std::string_view("02345"));
}

void TestChartFile::readErrorKeepsEarlierPoints()
{
    QByteArray content = "a\nb\n";
    for (int i = 0; i < 100; ++i)
        content += "1\t12:00:" + QByteArray::number(10 + i % 50) + "\t00100\n";
    FailingDevice device(content, 100);
    QVERIFY(device.open(QIODevice::ReadOnly));
    RecordingSink sink;
    hmx::ChartLoadOptions options;
    options.bufferSize = 32;
    QString error;
    try {
        hmx::LoadChart(device, QStringLiteral("broken.txt"), sink, options);
    } catch (const hmx::ChartFileError& e) {
        error = QString::fromUtf8(e.what());
    }
    QCOMPARE(error, QStringLiteral("Cannot read broken.txt: Input/output error"));
    QVERIFY(!sink.points.empty());
    QVERIFY(sink.points.size() < 10);
}

void TestChartFile::piecesHoldEveryByteOnce_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("longest");   // of a line
    QTest::addColumn<int>("smallest");  // of a piece
    QTest::addColumn<int>("largest");
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("lastEnded");  // the last line has its LF
    QTest::newRow("short lines, tiny pieces") << 1 << 40 << 1 << 64 << 3 << true;
    QTest::newRow("lines longer than a piece") << 2 << 500 << 16 << 100 << 2 << true;
    QTest::newRow("no LF at the end") << 3 << 80 << 8 << 4096 << 2 << false;
    QTest::newRow("one thread, large pieces") << 4 << 60 << 1024 << 8192 << 1 << true;
    QTest::newRow("empty lines among long ones") << 5 << 3000 << 4 << 256 << 4 << false;
}

// Whichever way a file's bytes are cut, the head and the pieces after it are all of
// them once, in order, every piece but the last ending with a LF, the head with the
// first two lines.
void TestChartFile::piecesHoldEveryByteOnce()
{
    QFETCH(int, seed);
    QFETCH(int, longest);
    QFETCH(int, smallest);
    QFETCH(int, largest);
    QFETCH(int, threads);
    QFETCH(bool, lastEnded);
    std::mt19937 random{std::uint32_t(seed)};
    QByteArray content;
    for (int i = 0; i < 400; ++i) {
        const int length = std::uniform_int_distribution<int>(0, longest)(random);
        content += QByteArray(length, char('a' + i % 26)) + '\n';
    }
    if (!lastEnded)
        content += "end";
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("test.txt")));
    QVERIFY(WriteAndOpen(file, content));
    const std::string_view bytes(content.constData(), std::size_t(content.size()));
    const std::size_t firstTwo = std::size_t(content.indexOf('\n', content.indexOf('\n') + 1) + 1);

    hmx::ChartLoadOptions options;
    hmx::chartparts::PieceCutter cutter(bytes, 2, std::size_t(largest), std::size_t(smallest), std::size_t(threads));
    hmx::chartparts::BlockReader reader(file, bytes.size(), QStringLiteral("test.txt"), options, 2,
                                        std::size_t(threads) + 1, std::size_t(smallest), std::size_t(largest));
    for (hmx::chartparts::PieceSource* source : std::initializer_list<hmx::chartparts::PieceSource*>{&cutter, &reader}) {
        bool all = true;
        const std::string_view head = source->head(all);
        QVERIFY(!all);
        QCOMPARE(head.size(), firstTwo);
        std::string joined(head);
        std::vector<std::string> pieces;
        std::mutex placing;
        std::atomic<std::size_t> handed{0};
        hmx::chartparts::ReadEach(std::size_t(threads), [&](std::size_t) {
            std::size_t k = 0;
            std::string_view piece;
            while (source->next(k, piece)) {
                {
                    std::lock_guard lock(placing);
                    if (pieces.size() <= k)
                        pieces.resize(k + 1);
                    pieces[k] = std::string(piece);  // the bytes go once done
                }
                source->done(k);
                ++handed;
            }
        });
        source->rethrow();
        QCOMPARE(source->count(), handed.load());
        for (std::size_t k = 0; k < source->count(); ++k) {
            QVERIFY(!pieces[k].empty());
            QVERIFY2(k + 1 == source->count() || pieces[k].back() == '\n', qPrintable(QString::number(k)));
            joined += pieces[k];
        }
        QVERIFY(joined == bytes);
    }
}

void TestChartFile::fileEndingWhileRead_data()
{
    QTest::addColumn<bool>("ownLog");
    QTest::addColumn<bool>("fails");  // else it ends early, without an error
    QTest::addColumn<int>("perRead");   // bytes a read gives at most; 0: as many as asked
    QTest::newRow("own log cut short") << true << false << 0;
    QTest::newRow("loader layout cut short") << false << false << 0;
    QTest::newRow("own log failing midway") << true << true << 0;
    QTest::newRow("loader layout failing midway") << false << true << 0;
    // Blocks that each take a few bytes of the file: many more pieces than its size
    // would make.
    QTest::newRow("own log cut short, read 5 bytes at a time") << true << false << 5;
    QTest::newRow("loader layout cut short, read 3 bytes at a time") << false << false << 3;
}

// The lines of a file are read while its bytes still come in: one cut short gives what
// it holds, one whose reading fails gives nothing at all.
void TestChartFile::fileEndingWhileRead()
{
    QFETCH(bool, ownLog);
    QFETCH(bool, fails);
    QFETCH(int, perRead);
    const QLocale c(QLocale::C);
    QByteArray content = ownLog ? QByteArray() : QByteArray("h\nh\n");
    for (int i = 0; i < 3000; ++i) {
        const QTime time = QTime(10, 0).addSecs(i);
        content += ownLog ? logLine(i + 1, time, i % 300, 450, 235, c)
                          : QByteArray::number(i % 100) + '\t' + time.toString(u"hh:mm:ss").toLatin1() + "\t01234\n";
    }
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("test.txt"));
    {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    hmx::ChartLoadOptions options;
    options.locale = c;
    options.lastModified = QDateTime(QDate(2024, 1, 1), QTime(12, 0));
    options.parts = 3;
    // Short reads keep the usual piece size: a block then ends with the first line end it
    // reads, far smaller than that.
    if (perRead == 0)
        options.minPieceBytes = 1;
    ShortFile file(name, content.size() * 3 / 2, fails ? content.size() / 2 : content.size() * 2, perRead);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    RecordingSink sink;
    QString error;
    try {
        hmx::LoadChart(file, QStringLiteral("test.txt"), sink, options);
    } catch (const hmx::ChartFileError& e) {
        error = QString::fromUtf8(e.what());
    }
    if (fails) {
        QCOMPARE(error, QStringLiteral("Cannot read test.txt: Input/output error"));
        QVERIFY(sink.points.empty());
        QVERIFY(sink.cleared.empty());
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QBuffer whole(&content);
    QVERIFY(whole.open(QIODevice::ReadOnly));
    RecordingSink expected;
    hmx::LoadChart(whole, QStringLiteral("test.txt"), expected, options);
    QCOMPARE(sink.points.size(), expected.points.size());
    QCOMPARE(sink.points.size(), std::size_t(ownLog ? 9000 : 3000));
    for (std::size_t i = 0; i < sink.points.size(); ++i) {
        const Point& a = sink.points[i];
        const Point& b = expected.points[i];
        QVERIFY2(a.line == b.line && a.x == b.x && a.y == b.y, qPrintable(QString::number(i)));
    }
}

void TestChartFile::unreadableFilesChangeNothing_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("problem");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message");  // %1: the name

    using hmx::files::FileType;
    const int notRegular = int(hmx::ChartProblem::NotRegularFile);
#ifdef Q_OS_WIN
    QTest::newRow("missing file") << "missing" << int(hmx::ChartProblem::CannotOpen) << int(FileType::Regular)
                                  << "Cannot open %1 for reading: " + qt_error_string(int(ERROR_FILE_NOT_FOUND));
    // The null device never ends either.
    QTest::newRow("NUL") << "NUL" << notRegular << int(FileType::CharacterDevice)
                         << "%1 is not a regular file but a character device";
#else
    QTest::newRow("missing file") << "missing" << int(hmx::ChartProblem::CannotOpen) << int(FileType::Regular)
                                  << "Cannot open %1 for reading: No such file or directory";
    // A FIFO with no writer would block an ordinary open for good.
    QTest::newRow("FIFO") << "fifo" << notRegular << int(FileType::Fifo) << "%1 is not a regular file but a FIFO";
    // /dev/zero never ends.
    QTest::newRow("/dev/zero") << "/dev/zero" << notRegular << int(FileType::CharacterDevice)
                               << "%1 is not a regular file but a character device";
    QTest::newRow("socket") << "socket" << notRegular << int(FileType::Socket) << "%1 is not a regular file but a socket";
#endif
    QTest::newRow("folder") << "folder" << notRegular << int(FileType::Directory)
                            << "%1 is not a regular file but a directory";
}

void TestChartFile::unreadableFilesChangeNothing()
{
    QFETCH(QString, what);
    QFETCH(int, problem);
    QFETCH(int, type);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString name = dir.filePath(what);
#ifdef Q_OS_WIN
    if (what == QLatin1String("folder"))
        QVERIFY(QDir(dir.path()).mkdir(what));
    else if (what == QLatin1String("NUL"))
        name = what;
#else
    int socketFd = -1;
    if (what == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
    } else if (what == QLatin1String("socket")) {
        socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(socketFd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(name);
        QVERIFY(size_t(path.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QCOMPARE(::bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    } else if (what == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(what));
    } else if (what.startsWith(QLatin1Char('/'))) {
        name = what;
    }
#endif
    RecordingSink sink;
    try {
        hmx::LoadChartFile(name, sink);
        QFAIL("no ChartFileError");
    } catch (const hmx::ChartFileError& e) {
        QCOMPARE(int(e.problem()), problem);
        QCOMPARE(e.fileName(), name);
        QCOMPARE(QString::fromUtf8(e.what()), message.arg(name));
        if (problem == int(hmx::ChartProblem::NotRegularFile))
            QCOMPARE(int(e.fileType()), type);
    }
#ifndef Q_OS_WIN
    if (socketFd >= 0)
        ::close(socketFd);
#endif
    QVERIFY(sink.cleared.empty());
    QCOMPARE(sink.automatic, 0);
}

void TestChartFile::progressAndCancel_data()
{
    QTest::addColumn<bool>("ownLog");
    QTest::addColumn<int>("cancelAfter");  // progress reports before the cancel; -1: none

    QTest::newRow("loader layout to the end") << false << -1;
    QTest::newRow("own log to the end") << true << -1;
    QTest::newRow("loader layout cancelled midway") << false << 3;
    QTest::newRow("own log cancelled while read") << true << 3;
}

void TestChartFile::progressAndCancel()
{
    QFETCH(bool, ownLog);
    QFETCH(int, cancelAfter);
    const QLocale c(QLocale::C);
    const int lines = 2000;
    QByteArray content = ownLog ? QByteArray() : QByteArray("h\nh\n");
    for (int i = 0; i < lines; ++i) {
        const QTime time = QTime(10, 0).addSecs(i);
        content += ownLog ? logLine(i + 1, time, -105, 450, 235, c)
                          : QByteArray::number(i % 100) + '\t' + time.toString(u"hh:mm:ss").toLatin1() + "\t01234\n";
    }
    std::atomic<bool> cancel{false};
    std::vector<qint64> reported;
    qint64 reportedTotal = 0;
    const auto progress = [&](qint64 done, qint64 total) {
        reported.push_back(done);
        reportedTotal = total;
        if (int(reported.size()) == cancelAfter)
            cancel = true;
    };
    Loaded loaded;
    load(content, loaded, QDateTime(QDate(2024, 1, 1), QTime(12, 0)), 1024, c, progress, &cancel);

    QCOMPARE(reportedTotal, qint64(content.size()));
    QVERIFY(std::is_sorted(reported.begin(), reported.end()));
    const std::size_t perLine = ownLog ? 3 : 1;
    if (cancelAfter < 0) {
        QVERIFY2(loaded.error.isEmpty(), qPrintable(loaded.error));
        QCOMPARE(reported.back(), qint64(content.size()));
        QCOMPARE(loaded.sink.points.size(), lines * perLine);
    } else {
        QCOMPARE(loaded.problem, hmx::ChartProblem::Cancelled);
        QCOMPARE(int(reported.size()), cancelAfter);  // stopped at the next read
        // The loader layout keeps what it delivered; a log delivers nothing before it is read whole.
        QVERIFY(loaded.sink.points.size() < (ownLog ? 1 : std::size_t(lines)));
        QCOMPARE(loaded.sink.cleared.empty(), loaded.sink.points.empty());
    }

    // The same file read in blocks on three threads: its progress is told in order, up to
    // the whole file. Where a cancel lands there depends on how the threads run, so
    // none is asked for.
    if (cancelAfter >= 0)
        return;
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("test.txt")));
    QVERIFY(WriteAndOpen(file, content));
    reported.clear();
    reportedTotal = 0;
    hmx::ChartLoadOptions options;
    options.locale = c;
    options.lastModified = QDateTime(QDate(2024, 1, 1), QTime(12, 0));
    options.parts = 3;
    options.minPieceBytes = 64;
    options.progress = progress;
    RecordingSink inBlocks;
    hmx::LoadChart(file, QStringLiteral("test.txt"), inBlocks, options);
    QCOMPARE(reportedTotal, qint64(content.size()));
    QVERIFY(std::is_sorted(reported.begin(), reported.end()));
    QCOMPARE(reported.back(), qint64(content.size()));
    QCOMPARE(inBlocks.points.size(), lines * perLine);
}

void TestChartFile::logLineRecognition_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("fast");  // read in one pass; the others as CheckLogLine reads them

    QTest::newRow("example line") << QByteArray("1\t14:03:27\t-105\t450\t235\t-10.50\t45.00\t23.50") << true << true;
    QTest::newRow("comma decimals") << QByteArray("12\t14:03:27\t-105\t450\t235\t-10,50\t45,00\t23,50") << true << true;
    QTest::newRow("zero and minus half") << QByteArray("3\t9:05:07\t0\t-5\t5\t0.00\t-0.50\t0.50") << true << true;
    QTest::newRow("big value rounded down") << QByteArray("1\t14:03:27\t12345\t450\t235\t1234.00\t45.00\t23.50") << true << true;
    QTest::newRow("big value rounded up") << QByteArray("1\t14:03:27\t12345\t450\t235\t1235.00\t45.00\t23.50") << true << true;
    QTest::newRow("big value off by two") << QByteArray("1\t14:03:27\t12345\t450\t235\t1236.00\t45.00\t23.50") << false << false;
    QTest::newRow("int16 ends") << QByteArray("1\t14:03:27\t-32768\t32767\t0\t-3277.00\t3277.00\t0.00") << true << true;
    QTest::newRow("beyond int16") << QByteArray("1\t14:03:27\t32768\t450\t235\t3277.00\t45.00\t23.50") << false << false;
    QTest::newRow("leading zero") << QByteArray("1\t14:03:27\t0450\t450\t235\t45.00\t45.00\t23.50") << false << false;
    QTest::newRow("plus sign") << QByteArray("1\t14:03:27\t+450\t450\t235\t45.00\t45.00\t23.50") << false << false;
    QTest::newRow("minus zero") << QByteArray("1\t14:03:27\t-0\t450\t235\t0.00\t45.00\t23.50") << false << false;
    QTest::newRow("shown value differs") << QByteArray("1\t14:03:27\t-105\t450\t235\t-10.40\t45.00\t23.50") << false << false;
    QTest::newRow("one decimal shown") << QByteArray("1\t14:03:27\t-105\t450\t235\t-10.5\t45.00\t23.50") << false << false;
    QTest::newRow("seven fields") << QByteArray("1\t14:03:27\t-105\t450\t235\t-10.50\t45.00") << false << false;
    QTest::newRow("nine fields") << QByteArray("1\t14:03:27\t-105\t450\t235\t-10.50\t45.00\t23.50\t") << false << false;
    QTest::newRow("reading number zero") << QByteArray("0\t14:03:27\t-105\t450\t235\t-10.50\t45.00\t23.50") << false << false;
    QTest::newRow("bad time") << QByteArray("1\t25:03:27\t-105\t450\t235\t-10.50\t45.00\t23.50") << false << false;
    QTest::newRow("empty") << QByteArray() << false << false;
    const QByteArray values = "\t-105\t450\t235\t-10.50\t45.00\t23.50";
    QTest::newRow("time: hour of one digit") << "7\t7:03:27" + values << true << true;
    QTest::newRow("time: hour with a leading zero too many") << "7\t007:03:27" + values << true << false;
    QTest::newRow("time: minutes of one digit") << "7\t14:3:27" + values << true << false;
    QTest::newRow("time: another locale's separator") << "7\t14.03.27" + values << true << true;
    QTest::newRow("time: two separators") << "7\t14:03.27" + values << false << false;
    QTest::newRow("time: hour 24") << "7\t24:00:00" + values << false << false;
    QTest::newRow("time: minute 60") << "7\t14:60:00" + values << false << false;
    QTest::newRow("time: milliseconds") << "7\t14:03:27.250" + values << true << false;
    QTest::newRow("time: afternoon marker") << "7\t2:03:27 PM" + values << true << false;
    QTest::newRow("time: blank before it") << "7\t 14:03:27" + values << true << false;
    QTest::newRow("time: cut short") << "7\t14:03" + values << true << false;
    QTest::newRow("number of 18 digits") << "123456789012345678\t14:03:27" + values << true << true;
    QTest::newRow("number of 19 digits") << "1234567890123456789\t14:03:27" + values << false << false;
    QTest::newRow("raw of six digits") << QByteArray("1\t14:03:27\t100000\t450\t235\t10000.00\t45.00\t23.50") << false << false;
    QTest::newRow("shown of seven digits") << QByteArray("1\t14:03:27\t-105\t450\t235\t-0000010.50\t45.00\t23.50") << false << false;
    QTest::newRow("shown with leading zeros") << QByteArray("1\t14:03:27\t-105\t450\t235\t-010.50\t45.00\t23.50") << true << true;
    QTest::newRow("shown without its whole part") << QByteArray("1\t14:03:27\t-105\t450\t235\t-.50\t45.00\t23.50") << false << false;
    QTest::newRow("CR left at the end") << "1\t14:03:27" + values + "\r" << false << false;
    QTest::newRow("minus alone") << QByteArray("1\t14:03:27\t-\t450\t235\t-10.50\t45.00\t23.50") << false << false;
}

void TestChartFile::logLineRecognition()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    QFETCH(bool, fast);
    const std::string_view text(line.constData(), size_t(line.size()));
    const hmx::TimeTextRules rules = hmx::TimeTextRules::fromLocale(QLocale(QLocale::C));
    hmx::LogRecord record;
    QCOMPARE(hmx::ParseLogLine(text, rules, record), valid);
    // The one-pass reading takes its lines and gives what the full reading gives.
    const hmx::LogLineParser parser(rules);
    hmx::LogRecord quick;
    QCOMPARE(parser.readFast(text, quick), fast);
    hmx::LogRecord checked;
    QCOMPARE(int(parser.check(text, checked)), int(hmx::CheckLogLine(text, rules, record)));
    if (valid) {
        QCOMPARE(checked.time, record.time);
        QCOMPARE(checked.dewPoint, record.dewPoint);
        QCOMPARE(checked.humidity, record.humidity);
        QCOMPARE(checked.ambient, record.ambient);
    }
}

void TestChartFile::onePassAgreesOnMutatedLines_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("seed");
    QTest::addColumn<bool>("onePass");  // its times are of the shape read in one pass
    QTest::newRow("C") << QStringLiteral("C") << 1 << true;
    QTest::newRow("Polish: decimal comma") << QStringLiteral("pl_PL") << 2 << true;
    QTest::newRow("Finnish: dots between hours and minutes") << QStringLiteral("fi_FI") << 3 << true;
    QTest::newRow("English, US: afternoon markers") << QStringLiteral("en_US") << 4 << false;
}

// Lines the program writes, then bytes of them changed, left out or added at random:
// the one-pass reading gives CheckLogLine's answer and record for every one.
void TestChartFile::onePassAgreesOnMutatedLines()
{
    QFETCH(QString, locale);
    QFETCH(int, seed);
    QFETCH(bool, onePass);
    const QLocale written(locale);
    const hmx::TimeTextRules rules = hmx::TimeTextRules::fromLocale(written);
    const hmx::LogLineParser parser(rules);
    std::mt19937 random(static_cast<unsigned>(seed));
    const QByteArray alphabet = "0123456789:.,-\t PMAa+e";
    int fast = 0, agreed = 0;
    for (int i = 0; i < 20000; ++i) {
        const auto raw = [&] { return std::int16_t(int(random() % 20001) - 10000); };
        const std::int16_t dp = raw(), rh = raw(), amb = raw();
        QByteArray line = logLine(int(1 + random() % 999999), QTime(0, 0).addSecs(int(random() % 86400)), dp, rh, amb, written);
        line.chop(2);  // the CR LF
        for (int m = int(random() % 3); m > 0; --m) {
            const qsizetype at = qsizetype(random() % std::uint32_t(line.size() + 1));
            const char c = alphabet[qsizetype(random() % std::uint32_t(alphabet.size()))];
            switch (random() % 3) {
            case 0:
                if (at < line.size())
                    line[at] = c;
                break;
            case 1:
                line.remove(at, 1);
                break;
            default:
                line.insert(at, c);
            }
        }
        const std::string_view text(line.constData(), std::size_t(line.size()));
        hmx::LogRecord slow, quick;
        const hmx::LogLineFault want = hmx::CheckLogLine(text, rules, slow);
        const hmx::LogLineFault got = parser.check(text, quick);
        hmx::LogRecord unused;
        fast += parser.readFast(text, unused);
        QVERIFY2(got == want, line.constData());
        if (want == hmx::LogLineFault::None) {
            ++agreed;
            QVERIFY2(quick.time == slow.time && quick.dewPoint == slow.dewPoint && quick.humidity == slow.humidity
                         && quick.ambient == slow.ambient,
                     line.constData());
        }
    }
    QVERIFY2(agreed > 1000 && (fast > 1000) == onePass, qPrintable(QStringLiteral("%1 %2").arg(fast).arg(agreed)));
}

void TestChartFile::ownLogRoundTrip_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("reader");  // the locale of the computer that reads it
    QTest::newRow("Polish: 24-hour, comma") << "pl_PL" << "pl_PL";
    QTest::newRow("US: 12-hour with marker after") << "en_US" << "en_US";
    QTest::newRow("Korean: marker before") << "ko_KR" << "ko_KR";
    QTest::newRow("Finnish: point between parts") << "fi_FI" << "fi_FI";
    QTest::newRow("Finnish log read in the C locale") << "fi_FI" << "C";
    QTest::newRow("Korean log read in Polish") << "ko_KR" << "pl_PL";
    QTest::newRow("US log read in Finnish") << "en_US" << "fi_FI";
}

void TestChartFile::ownLogRoundTrip()
{
    QFETCH(QString, locale);
    QFETCH(QString, reader);
    const QLocale loc(locale);
    if (!MarkersFitCodePage(loc))
        QSKIP("the system's 8-bit code page cannot write this locale's markers");
    struct Row {
        QTime time;
        int dew, hum, amb;
    };
    // Two midnights: 23:59:59 -> 00:00:00 and 22:00:00 -> 09:00:00.
    const Row rows[] = {
        {QTime(23, 59, 58), -105, 450, 235}, {QTime(23, 59, 59), 0, 451, 236}, {QTime(0, 0, 0), 12, 999, -5},
        {QTime(0, 0, 0), 13, 1000, -6},      {QTime(22, 0, 0), 14, 1, 2},       {QTime(9, 0, 0), -32768, 32767, 10001},
    };
    QByteArray content;
    for (int i = 0; i < 6; ++i)
        content += logLine(i + 1, rows[i].time, rows[i].dew, rows[i].hum, rows[i].amb, loc);

    const QDateTime modified(QDate(2024, 3, 10), QTime(9, 0, 1));
    Loaded loaded;
    load(content, loaded, modified, 64 * 1024, QLocale(reader));
    QVERIFY2(loaded.error.isEmpty(), qPrintable(loaded.error));
    QCOMPARE(loaded.result.kind, hmx::ChartFileKind::MeasurementLog);
    QCOMPARE(loaded.result.lastDate, QDate(2024, 3, 10));
    const std::vector<ChartLine> all{ChartLine::DewPoint, ChartLine::Humidity, ChartLine::Ambient};
    QCOMPARE(loaded.sink.cleared, all);
    const double lastDay = hmx::DateTimeValue(QDate(2024, 3, 10));
    const int days[] = {-2, -2, -1, -1, -1, 0};
    Pairs dew, hum, amb;
    for (int i = 0; i < 6; ++i) {
        const double x = lastDay + days[i] + rows[i].time.msecsSinceStartOfDay() / 86400000.0;
        dew << QPointF(x, rows[i].dew / 10.0);
        hum << QPointF(x, rows[i].hum / 10.0);
        amb << QPointF(x, rows[i].amb / 10.0);
    }
    QVERIFY2(samePairs(dewPoints(loaded.sink, ChartLine::DewPoint), dew), qPrintable(describe(dewPoints(loaded.sink))));
    QVERIFY(samePairs(dewPoints(loaded.sink, ChartLine::Humidity), hum));
    QVERIFY(samePairs(dewPoints(loaded.sink, ChartLine::Ambient), amb));
}

void TestChartFile::ownLogDateFromFileTime()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("jrt1.txt"));
    const QLocale c(QLocale::C);
    {
        hmx::MeasurementLog log(name);
        QVERIFY(log.create());
        QVERIFY(log.appendLine({1, QTime(23, 59, 59), -105, 450, 235, "-10.50", "45.00", "23.50"}, c));
        QVERIFY(log.appendLine({2, QTime(0, 0, 1), -104, 451, 236, "-10.40", "45.10", "23.60"}, c));
        QVERIFY(log.appendLine({3, QTime(23, 59, 59), -103, 452, 237, "-10.30", "45.20", "23.70"}, c));
        log.close();
    }
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadWrite));
    // Last line stamped 23:59:59, file modified just after midnight: the line belongs to the day before.
    QVERIFY(file.setFileTime(QDateTime(QDate(2024, 5, 2), QTime(0, 0, 1)), QFileDevice::FileModificationTime));
    file.close();
    RecordingSink sink;
    const hmx::ChartLoadResult result = hmx::LoadChartFile(name, sink, c);
    QCOMPARE(result.kind, hmx::ChartFileKind::MeasurementLog);
    QCOMPARE(result.lastDate, QDate(2024, 5, 1));
    const double last = hmx::DateTimeValue(QDate(2024, 5, 1)) + hms(23, 59, 59);
    QCOMPARE(sink.points.size(), size_t(9));
    QVERIFY(std::abs(sink.points.back().x - last) < 1e-9);
    QVERIFY(std::abs(sink.points.front().x - (last - 1)) < 1e-9);
    QCOMPARE(sink.points.back().y, 23.7);
}

void TestChartFile::ownLogClockSteps_data()
{
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QList<int>>("days");  // day of each line, the last line's day being 0

    QTest::newRow("clock set back one second stays on one day")
        << QStringList{"10:00:00", "10:00:01", "10:00:02", "10:00:01", "10:00:02", "10:00:03"}
        << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("end of summer time: an hour back")
        << QStringList{"02:59:58", "02:59:59", "02:00:00", "02:00:01"} << QList<int>{0, 0, 0, 0};
    QTest::newRow("back just under two hours") << QStringList{"12:00:00", "10:00:01"} << QList<int>{0, 0};
    QTest::newRow("back two hours is a new day") << QStringList{"12:00:00", "10:00:00"} << QList<int>{-1, 0};
    QTest::newRow("midnight, then set back a second")
        << QStringList{"23:59:59", "00:00:01", "00:00:00", "00:00:02"} << QList<int>{-1, 0, 0, 0};
}

void TestChartFile::ownLogClockSteps()
{
    QFETCH(QStringList, times);
    QFETCH(QList<int>, days);
    const QLocale c(QLocale::C);
    QByteArray content;
    for (qsizetype i = 0; i < times.size(); ++i)
        content += logLine(int(i + 1), QTime::fromString(times[i], u"hh:mm:ss"), -105, 450, 235, c);
    const QDate lastDate(2024, 10, 27);
    const QTime lastTime = QTime::fromString(times.last(), u"hh:mm:ss");
    Loaded loaded;
    load(content, loaded, QDateTime(lastDate, lastTime.addSecs(1)), 64 * 1024, c);
    QVERIFY2(loaded.error.isEmpty(), qPrintable(loaded.error));
    QCOMPARE(loaded.result.kind, hmx::ChartFileKind::MeasurementLog);
    Pairs expected;
    for (qsizetype i = 0; i < times.size(); ++i) {
        const double x = hmx::DateTimeValue(lastDate) + days[i]
            + QTime::fromString(times[i], u"hh:mm:ss").msecsSinceStartOfDay() / 86400000.0;
        expected << QPointF(x, -10.5);
    }
    QVERIFY2(samePairs(dewPoints(loaded.sink), expected), qPrintable(describe(dewPoints(loaded.sink))));
}

void TestChartFile::ownLogAcrossClockChanges_data()
{
    // A reading every second from `from` (UTC) on, stamped with Warsaw's clock.
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<int>("readings");
    QTest::addColumn<int>("step");  // seconds between readings
    QTest::newRow("autumn: 01:30 summer time to 02:29:59 standard time")
        << QDateTime(QDate(2026, 10, 24), QTime(23, 30), QTimeZone::utc()) << 7200 << 1;
    QTest::newRow("autumn: both passes of the repeated hour and after")
        << QDateTime(QDate(2026, 10, 25), QTime(0, 0), QTimeZone::utc()) << 7800 << 1;
    QTest::newRow("autumn: starting inside the hour the clock repeats")
        << QDateTime(QDate(2026, 10, 25), QTime(0, 40), QTimeZone::utc()) << 3600 << 1;
    QTest::newRow("spring: 01:30 to 03:29:59, the clock skipping 02:00 to 03:00")
        << QDateTime(QDate(2026, 3, 29), QTime(0, 30), QTimeZone::utc()) << 3600 << 1;
    // Days well inside one offset before and after: the change is met coming from afar.
    QTest::newRow("autumn: a week every seven minutes across the change")
        << QDateTime(QDate(2026, 10, 21), QTime(11, 3), QTimeZone::utc()) << 1440 << 420;
    QTest::newRow("spring: a week every seven minutes across the change")
        << QDateTime(QDate(2026, 3, 25), QTime(11, 3), QTimeZone::utc()) << 1440 << 420;
}

void TestChartFile::ownLogAcrossClockChanges()
{
    QFETCH(QDateTime, from);
    QFETCH(int, readings);
    QFETCH(int, step);
    const QTimeZone warsaw("Europe/Warsaw");
    if (QTimeZone::systemTimeZoneId() != warsaw.id())
        QSKIP("the test's time zone (TZ=Europe/Warsaw) is not in force here");
    const QLocale c(QLocale::C);
    QByteArray content;
    for (int i = 0; i < readings; ++i)
        content += logLine(i + 1, from.addSecs(qint64(i) * step).toTimeZone(warsaw).time(), i % 500, 450, 235, c);
    Loaded loaded;
    load(content, loaded, from.addSecs(qint64(readings) * step), 64 * 1024, c);
    QVERIFY2(loaded.error.isEmpty(), qPrintable(loaded.error));
    QCOMPARE(loaded.result.kind, hmx::ChartFileKind::MeasurementLog);
    // The clock times in file order, as the window and the report take them, give each
    // reading its own moment: on the chart's X (local standard time, UTC+1 in Warsaw)
    // one step after the one before, without a gap and without running back.
    const Pairs points = dewPoints(loaded.sink);
    QCOMPARE(points.size(), readings);
    hmx::ClockTimeline timeline;
    for (int i = 0; i < readings; ++i) {
        const double expected = 25569.0 + (from.addSecs(qint64(i) * step).toMSecsSinceEpoch() + 3600000) / 86400000.0;
        const double x = timeline.chartX(points[i].x());
        QVERIFY2(std::abs(x - expected) < 1e-9, qPrintable(QStringLiteral("reading %1: %2 instead of %3").arg(i + 1).arg(x, 0, 'f', 8).arg(expected, 0, 'f', 8)));
    }

    // Taken onto the time line in parts at once (a part may start in the hour's second
    // pass), the rows keep those moments.
    struct Rows : hmx::RowsSink {
        Rows() : RowsSink(0) {}
        void clearSeries(ChartLine) override {}
        void setTimeAxisAutomatic() override {}
    } rows;
    hmx::ChartLoadOptions options;
    options.locale = c;
    options.lastModified = from.addSecs(qint64(readings) * step);
    hmx::LoadChartBytes(std::string_view(content.constData(), std::size_t(content.size())), QStringLiteral("test.txt"),
                        rows, options);
    const std::vector<std::vector<hmx::readings::Line>> built = rows.build();
    QCOMPARE(built.size(), std::size_t(3));
    const hmx::readings::PointStore& dewPoint = built[0].at(0).points();
    QCOMPARE(dewPoint.size(), std::size_t(readings));
    for (int i = 0; i < readings; ++i) {
        const double expected = 25569.0 + (from.addSecs(qint64(i) * step).toMSecsSinceEpoch() + 3600000) / 86400000.0;
        QVERIFY2(std::abs(dewPoint.x(std::size_t(i)) - expected) < 1e-9, qPrintable(QStringLiteral("reading %1").arg(i + 1)));
    }
}

void TestChartFile::ownLogWithUnfinishedLastLine_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("points");
    // Every line counts, the unfinished last one too.
    QTest::newRow("half a line at the end makes it no log")
        << QByteArray("4\t12:00:0") << int(hmx::ChartFileKind::LoaderLayout) << 1;
    QTest::newRow("a complete bad last line is no log")
        << QByteArray("4\t12:00:0\n") << int(hmx::ChartFileKind::LoaderLayout) << 1;
    QTest::newRow("a whole Log line without its line end is read")
        << QByteArray("4\t12:00:03\t-105\t450\t235\t-10.50\t45.00\t23.50") << int(hmx::ChartFileKind::MeasurementLog)
        << 12;
}

void TestChartFile::ownLogWithUnfinishedLastLine()
{
    QFETCH(QByteArray, tail);
    QFETCH(int, kind);
    QFETCH(int, points);
    const QByteArray content = "1\t12:00:00\t-105\t450\t235\t-10.50\t45.00\t23.50\r\n"
                               "2\t12:00:01\t-105\t450\t235\t-10.50\t45.00\t23.50\r\n"
                               "3\t12:00:02\t-105\t450\t235\t-10.50\t45.00\t23.50\r\n"
        + tail;
    Loaded loaded;
    load(content, loaded, QDateTime(QDate(2024, 1, 1), QTime(12, 0, 3)));
    QCOMPARE(int(loaded.result.kind), kind);
    QCOMPARE(int(loaded.sink.points.size()), points);
}

void TestChartFile::loaderLayoutNeverTakenForLog_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("points");

    QTest::newRow("loader layout example")
        << QByteArray("h\nh\n7\t23:59:58\t02345\n8\t00:00:03\t02350\n") << 2;
    // Every line a Log line, but every data line also reads cleanly in the loader layout
    // (eight-character time, five-character number at w + 11).
    const QByteArray ambiguous1 = "1\t12:00:00\t-1234\t450\t235\t-123.40\t45.00\t23.50\n";
    const QByteArray ambiguous2 = "2\t12:00:01\t12345\t450\t235\t1234.00\t45.00\t23.50\n";
    const QByteArray ambiguous3 = "3\t12:00:02\t-1000\t450\t235\t-100.00\t45.00\t23.50\n";
    QTest::newRow("log-like lines with five-character values")
        << ambiguous1 + ambiguous2 + ambiguous3 + ambiguous1 + ambiguous2 << 3;
    QTest::newRow("log-like lines with a longer value field")
        << QByteArray("1\t12:00:00\t-12345\t450\t235\t-1235.00\t45.00\t23.50\n").repeated(4) << 2;
    QTest::newRow("two Log lines, then an unfinished loader line")
        << QByteArray("1\t12:00:00\t-105\t450\t235\t-10.50\t45.00\t23.50\r\n"
                      "2\t12:00:01\t-105\t450\t235\t-10.50\t45.00\t23.50\r\n"
                      "7\t23:59:58\t02345")
        << 1;
    QTest::newRow("log headers over loader data")
        << QByteArray("1\t12:00:00\t-105\t450\t235\t-10.50\t45.00\t23.50\n"
                      "2\t12:00:01\t-105\t450\t235\t-10.50\t45.00\t23.50\n"
                      "7\t23:59:58\t02345\n")
        << 1;
    QTest::newRow("a log broken in the middle")
        << QByteArray("1\t12:00:00\t-105\t450\t235\t-10.50\t45.00\t23.50\n"
                      "2\t12:00:01\t-105\t450\t235\t-10.50\t45.00\t23.50\n"
                      "3\t12:00:02\t-105\t450\t235\t-10.50\t45.00\t23.50\n"
                      "4\t12:00:03\t-105\t450\t235\t-10.50\t45.00\t23.5\n")
        << 2;
}

void TestChartFile::loaderLayoutNeverTakenForLog()
{
    QFETCH(QByteArray, content);
    QFETCH(int, points);
    Loaded loaded;
    load(content, loaded);
    QVERIFY2(loaded.error.isEmpty(), qPrintable(loaded.error));
    QCOMPARE(loaded.result.kind, hmx::ChartFileKind::LoaderLayout);
    QCOMPARE(loaded.sink.cleared, std::vector<ChartLine>{ChartLine::DewPoint});
    QCOMPARE(int(loaded.sink.points.size()), points);
}

void TestChartFile::shortOwnLogLoadsAsLog_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("readings");
    const QByteArray line1 = "1\t12:00:00\t-105\t450\t235\t-10.50\t45.00\t23.50\r\n";
    const QByteArray line2 = "2\t12:00:01\t-104\t451\t236\t-10.40\t45.10\t23.60\r\n";
    QTest::newRow("one reading") << line1 << 1;
    QTest::newRow("two readings") << line1 + line2 << 2;
    QTest::newRow("two lines, the second no Log line") << line1 + QByteArray("x\r\n") << 0;
}

void TestChartFile::shortOwnLogLoadsAsLog()
{
    QFETCH(QByteArray, content);
    QFETCH(int, readings);
    Loaded loaded;
    load(content, loaded);
    QVERIFY2(loaded.error.isEmpty(), qPrintable(loaded.error));
    QCOMPARE(loaded.result.kind, readings > 0 ? hmx::ChartFileKind::MeasurementLog : hmx::ChartFileKind::LoaderLayout);
    QCOMPARE(int(dewPoints(loaded.sink, ChartLine::DewPoint).size()), readings);
    QCOMPARE(int(dewPoints(loaded.sink, ChartLine::Ambient).size()), readings);
    if (readings > 0)
        QCOMPARE(dewPoints(loaded.sink, ChartLine::DewPoint).first().y(), -10.5);
}

QTEST_GUILESS_MAIN(TestChartFile)
#include "tst_chartfile.moc"
