// hmx700-report end to end: a small log and journal made here, the PDF's text read
// back with pdftotext, and the bad inputs that must leave no file behind.
#include "limits/limits.h"
#include "log/eventjournal.h"
#include "log/measurementlog.h"
#include "ui/alarmpreferences.h"
#include "ui/alarmtexts.h"
#include "ui/statisticstexts.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <numeric>

namespace {

// Readings every 2 s from 10:00:00 on this day; the period asked holds 41 of them (an
// odd count, so no mean falls half-way between two hundredths).
const QDate Day(2026, 3, 10);
constexpr int Readings = 200;
const QTime PeriodFrom(10, 1, 0), PeriodTo(10, 2, 20);

struct Run {
    int exitCode = -1;
    QString errors;
};

Run Report(const QStringList& arguments, const QString& locale = QStringLiteral("C"), const QString& config = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));  // it must choose the off-screen one itself
    if (!config.isEmpty())
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(HMX700_REPORT), arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QString Poppler(const QString& program, const QString& pdf)
{
    QProcess process;
    process.start(program, program == QLatin1String("pdftotext") ? QStringList{"-layout", pdf, "-"} : QStringList{pdf});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The last `count` fields of the line of `text` that starts with `label`.
QStringList RowEnd(const QString& text, const QString& label, int count)
{
    for (const QString& line : text.split(u'\n')) {
        if (line.trimmed().startsWith(label)) {
            const QStringList fields = line.mid(line.indexOf(label) + label.size()).split(u' ', Qt::SkipEmptyParts);
            return fields.mid(std::max<qsizetype>(0, fields.size() - count));
        }
    }
    return {};
}

// Writes the log (tenths per line) in `locale`'s forms, dated on Day.
void WriteLog(const QString& fileName, const std::array<std::vector<int>, 3>& tenths, const QLocale& locale)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < Readings; ++i) {
        auto text = [&](int line) { return locale.toString(tenths[line][i] / 10.0, 'f', 2); };
        hmx::LogLine line{i + 1, QTime(10, 0).addSecs(2 * i), std::int16_t(tenths[0][i]), std::int16_t(tenths[1][i]),
                          std::int16_t(tenths[2][i]), text(0), text(1), text(2)};
        file.write(hmx::FormatLogLine(line, locale));
    }
    file.close();
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime(Day, QTime(18, 0)), QFileDevice::FileModificationTime));
}

QByteArray JournalLine(const QTime& time, const QString& kind, const QStringList& details)
{
    return hmx::FormatJournalLine({QDateTime(Day, time), kind, details});
}

} // namespace

class TestReport : public QObject {
    Q_OBJECT
private slots:
    void reportOfLogPeriod_data();
    void reportOfLogPeriod();
    void badInputLeavesNoFile_data();
    void badInputLeavesNoFile();
};

void TestReport::reportOfLogPeriod_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("paper");
    QTest::newRow("Polish: decimal comma, A4") << "pl_PL.UTF-8" << "A4";
    QTest::newRow("United States: decimal point, Letter") << "en_US.UTF-8" << "letter";
}

void TestReport::reportOfLogPeriod()
{
    QFETCH(QString, locale);
    QFETCH(QString, paper);
    const QLocale numbers(locale.section(u'.', 0, 0));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    QRandomGenerator random(7);
    std::array<std::vector<int>, 3> tenths;
    const int ranges[3][2] = {{-300, 300}, {0, 1000}, {-100, 500}};
    for (int line = 0; line < 3; ++line) {
        for (int i = 0; i < Readings; ++i)
            tenths[line].push_back(random.bounded(ranges[line][0], ranges[line][1] + 1));
    }
    const QString log = dir.filePath(QStringLiteral("jrt1.txt"));
    WriteLog(log, tenths, numbers);
    QFile journal(dir.filePath(QStringLiteral("hmx700-events.txt")));
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write(JournalLine(QTime(9, 59), "connect", {"port=/dev/ttyUSB0", "model=HMX-700", "serial=48213"})
                  + JournalLine(QTime(10, 1, 30), "limit-crossed", {"quantity=dewPoint", "limitValue=12.5"})
                  + JournalLine(QTime(10, 5), "limit-crossed", {"quantity=dewPoint", "limitValue=99.5"}));
    journal.close();
    // The user's limits, where the program keeps them.
    hmx::AlarmPreferences preferences;
    preferences.limits[hmx::limits::QuantityId::DewPoint][hmx::limits::Bound::AlarmHigh] = 12.5;
    QSettings settings(dir.filePath(QStringLiteral("config/hmx700/hmx700.conf")), QSettings::IniFormat);
    hmx::SaveAlarmPreferences(settings, preferences);
    settings.sync();

    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    const Run run = Report({log, "-o", pdf, "--from", QDateTime(Day, PeriodFrom).toString(Qt::ISODate), "--to",
                            QDateTime(Day, PeriodTo).toString(Qt::ISODate).replace(u'T', u' ')},
                           locale, dir.filePath(QStringLiteral("config")));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QString text = Poppler(QStringLiteral("pdftotext"), pdf);

    // Minimum, maximum and mean of each line over the period, by plain arithmetic.
    QStringList minimum, maximum, mean;
    const int first = QTime(10, 0).secsTo(PeriodFrom) / 2, last = QTime(10, 0).secsTo(PeriodTo) / 2;
    for (const std::vector<int>& values : tenths) {
        const auto begin = values.begin() + first, end = values.begin() + last + 1;
        minimum << numbers.toString(*std::min_element(begin, end) / 10.0, 'f', 2);
        maximum << numbers.toString(*std::max_element(begin, end) / 10.0, 'f', 2);
        mean << numbers.toString(std::accumulate(begin, end, 0.0) / 10.0 / double(end - begin), 'f', 2);
    }
    const hmx::chart::StatisticsTexts headers = hmx::StatisticsHeaders();
    QCOMPARE(RowEnd(text, headers.count, 3), QStringList(3, QString::number(last - first + 1)));
    QCOMPARE(RowEnd(text, headers.minimum, 3), minimum);
    QCOMPARE(RowEnd(text, headers.maximum, 3), maximum);
    QCOMPARE(RowEnd(text, headers.mean, 3), mean);

    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    QVERIFY(text.contains(QString::fromLatin1(QCryptographicHash::hash(logFile.readAll(), QCryptographicHash::Sha256).toHex())));
    QVERIFY(text.contains(QLatin1String("48213")));  // the serial number, from the journal
    QVERIFY(text.contains(QLatin1String("limitValue=12.5")));  // an event of the period ...
    QVERIFY(!text.contains(QLatin1String("limitValue=99.5")));  // ... and none after it
    // The limits in force (pdftotext gives the no-break space before the unit as a blank).
    QVERIFY(text.contains(hmx::LimitValueText(12.5, hmx::limits::QuantityId::DewPoint, numbers).replace(QChar(0xA0), u' ')));
    QVERIFY(Poppler(QStringLiteral("pdfinfo"), pdf).contains(QStringLiteral("(%1)").arg(paper)));
}

void TestReport::badInputLeavesNoFile_data()
{
    // "%1" stands for the test's folder, holding only jrt1.txt and notes.txt.
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("missing log") << QStringList{"%1/none.txt", "-o", "%1/r.pdf"};
    QTest::newRow("not one of our logs") << QStringList{"%1/notes.txt", "-o", "%1/r.pdf"};
    QTest::newRow("empty period") << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--from", "2026-03-09", "--to", "2026-03-09"};
    QTest::newRow("period ends before it starts")
        << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--from", "2026-03-10T11:00", "--to", "2026-03-10T10:00"};
    QTest::newRow("output folder missing") << QStringList{"%1/jrt1.txt", "-o", "%1/no/r.pdf"};
    QTest::newRow("output is a folder") << QStringList{"%1/jrt1.txt", "-o", "%1"};
    QTest::newRow("bad option") << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--landscape"};
    QTest::newRow("bad time") << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--from", "yesterday"};
    QTest::newRow("no output named") << QStringList{"%1/jrt1.txt"};
}

void TestReport::badInputLeavesNoFile()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::array<std::vector<int>, 3> tenths;
    for (std::vector<int>& line : tenths)
        line.assign(Readings, 105);
    WriteLog(dir.filePath(QStringLiteral("jrt1.txt")), tenths, QLocale::c());
    QFile notes(dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("Shopping: silica gel, a spare probe\r\n");
    notes.close();
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    for (QString& argument : arguments)
        argument.replace(QLatin1String("%1"), dir.path());
    const Run run = Report(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errors.contains(QLatin1String("hmx700-report: ")), qPrintable(run.errors));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
}

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
