// hmx700-report end to end: a small log and journal made here, the PDF's text read
// back with pdftotext, and the bad inputs that must leave no file behind.
#include "limits/limits.h"
#include "log/eventjournal.h"
#include "log/logfolderlock.h"
#include "instrument/poller.h"
#include "log/measurementlog.h"
#include "limits/limitsettings.h"
#include "report/statisticstexts.h"
#include "ui/alarmtexts.h"
#include "ui/language.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <algorithm>
#include <array>
#include <csignal>
#include <numeric>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

Run Report(const QStringList& arguments, const QString& locale = QStringLiteral("C"), const QString& config = {},
           int fileSizeLimit = 0)
{
    QProcess process;
    // Writing past this many bytes fails as on a full disk, with the system's own reason.
    if (fileSizeLimit > 0) {
        process.setChildProcessModifier([fileSizeLimit] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
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
        auto text = [&](int line) { return hmx::DisplayText(std::int16_t(tenths[line][i]), locale); };  // as the fields show it
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
    void acrossClockChanges_data();
    void acrossClockChanges();
};

void TestReport::reportOfLogPeriod_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("paper");
    QTest::addColumn<QString>("written");  // the locale the log was written in
    QTest::newRow("Polish: decimal comma, A4") << "pl_PL.UTF-8" << "A4" << "pl_PL";
    QTest::newRow("United States: decimal point, Letter") << "en_US.UTF-8" << "letter" << "en_US";
    QTest::newRow("a Finnish log (20.01.55) on a Polish computer") << "pl_PL.UTF-8" << "A4" << "fi_FI";
    QTest::newRow("a Korean log (오전 10:00:00) in the C locale") << "C" << "A4" << "ko_KR";
    QTest::newRow("an Arabic log (10٫50) in the C locale") << "C" << "A4" << "ar_EG";
}

void TestReport::reportOfLogPeriod()
{
    QFETCH(QString, locale);
    QFETCH(QString, paper);
    QFETCH(QString, written);
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
    // "ff", "ffi": letters a typesetter likes to join into one ligature character.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("staff-office")));
    const QString log = dir.filePath(QStringLiteral("staff-office/jrt1.txt"));
    WriteLog(log, tenths, QLocale(written));
    QFile journal(dir.filePath(QStringLiteral("staff-office/hmx700-events.txt")));
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write(JournalLine(QTime(9, 59), "connect",
                              {"port=/dev/ttyUSB0", "model=HMX-700", "version=KVT-10 wersja: 3 rewizja: 7 numer seyjny: 48213",
                               "serial=48213"})
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
    const hmx::readings::StatisticsTexts headers = hmx::StatisticsHeaders(hmx::WindowLanguage);
    QCOMPARE(RowEnd(text, headers.count, 3), QStringList(3, QString::number(last - first + 1)));
    QCOMPARE(RowEnd(text, headers.minimum, 3), minimum);
    QCOMPARE(RowEnd(text, headers.maximum, 3), maximum);
    QCOMPARE(RowEnd(text, headers.mean, 3), mean);

    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    QVERIFY(text.contains(QString::fromLatin1(QCryptographicHash::hash(logFile.readAll(), QCryptographicHash::Sha256).toHex())));
    // The name as it is, so it can be copied: no ligature in the whole text.
    QVERIFY(text.contains(QFileInfo(log).absoluteFilePath()));
    QVERIFY(!text.contains(QRegularExpression(QStringLiteral("[\\x{FB00}-\\x{FB06}]"))));
    QVERIFY(text.contains(QLatin1String("48213")));  // the serial number, from the journal
    // The firmware as the window names it, not the instrument's whole version line.
    QVERIFY(text.contains(ByLanguage(QStringLiteral("3, rewizja 7"), QStringLiteral("3, revision 7"))));
    QVERIFY(!text.contains(QLatin1String("wersja:")));
    QVERIFY(text.contains(QLatin1String("limitValue=12.5")));  // an event of the period ...
    QVERIFY(!text.contains(QLatin1String("limitValue=99.5")));  // ... and none after it
    // The limits in force, in the unit the dew point's line is shown in (pdftotext gives
    // the no-break space before it as a blank).
    QVERIFY(text.contains(hmx::LimitNumberText(12.5, numbers) + QStringLiteral(" °Cdp")));
    QVERIFY(Poppler(QStringLiteral("pdfinfo"), pdf).contains(QStringLiteral("(%1)").arg(paper)));
}

void TestReport::badInputLeavesNoFile_data()
{
    // "%1" stands for the test's folder, holding jrt1.txt, notes.txt and what `setup` adds:
    // "link" (link.pdf, a link to jrt1.txt), "hard" (hard.pdf, another name of it),
    // "fifo", "live" (live/jrt1.txt and its journal, a measuring copy holding the folder),
    // "bad" (bad.txt, a log with one bad line).
    // Every file is as it was afterwards, and the message holds `parts` in this order.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<int>("fileSizeLimit");
    QTest::newRow("missing log") << QStringList{"%1/none.txt", "-o", "%1/r.pdf"} << "" << QStringList{} << 0;
    QTest::newRow("not one of our logs") << QStringList{"%1/notes.txt", "-o", "%1/r.pdf"} << ""
                                         << QStringList{"line 1", "Shopping"} << 0;
    QTest::newRow("empty period") << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--from", "2026-03-09", "--to", "2026-03-09"}
                                  << "" << QStringList{"--to", "before the log's first reading"} << 0;
    QTest::newRow("period ends before it starts")
        << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--from", "2026-03-10T11:00", "--to", "2026-03-10T10:00"} << ""
        << QStringList{} << 0;
    QTest::newRow("--from after the log's end")
        << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--from", "2026-03-10T11:00"} << ""
        << QStringList{"--from", "after the log's last reading", "10:06:38"} << 0;
    QTest::newRow("--from in the hour the clock skips")
        << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--from", "2026-03-29T02:30"} << ""
        << QStringList{"--from", "no 2026-03-29T02:30 in the local time"} << 0;
    QTest::newRow("output folder missing") << QStringList{"%1/jrt1.txt", "-o", "%1/no/r.pdf"} << "" << QStringList{} << 0;
    QTest::newRow("output is a folder") << QStringList{"%1/jrt1.txt", "-o", "%1"} << "" << QStringList{"directory"} << 0;
    QTest::newRow("bad option") << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--landscape"} << "" << QStringList{} << 0;
    QTest::newRow("bad time") << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf", "--from", "yesterday"} << "" << QStringList{} << 0;
    QTest::newRow("no output named") << QStringList{"%1/jrt1.txt"} << "" << QStringList{} << 0;
    // Nothing the program writes may destroy a file.
    QTest::newRow("output is the log") << QStringList{"%1/jrt1.txt", "-o", "%1/./jrt1.txt"} << ""
                                       << QStringList{"jrt1.txt", "the log this report is made from"} << 0;
    QTest::newRow("output is a link to the log") << QStringList{"%1/jrt1.txt", "-o", "%1/link.pdf"} << "link"
                                                 << QStringList{"link.pdf", "the log this report is made from"} << 0;
    QTest::newRow("output is another name of the log") << QStringList{"%1/jrt1.txt", "-o", "%1/hard.pdf"} << "hard"
                                                       << QStringList{"hard.pdf", "the log this report is made from"} << 0;
    QTest::newRow("output is a FIFO") << QStringList{"%1/jrt1.txt", "-o", "%1/fifo"} << "fifo" << QStringList{"FIFO"} << 0;
    QTest::newRow("output is /dev/null") << QStringList{"%1/jrt1.txt", "-o", "/dev/null"} << ""
                                         << QStringList{"/dev/null", "character device"} << 0;
    QTest::newRow("output is /dev/full") << QStringList{"%1/jrt1.txt", "-o", "/dev/full"} << ""
                                         << QStringList{"/dev/full", "character device"} << 0;
    QTest::newRow("output is a log a measuring copy writes")
        << QStringList{"%1/jrt1.txt", "-o", "%1/live/jrt1.txt"} << "live" << QStringList{"measuring copy"} << 0;
    QTest::newRow("output is the journal a measuring copy writes")
        << QStringList{"%1/jrt1.txt", "-o", "%1/live/hmx700-events.txt"} << "live" << QStringList{"measuring copy"} << 0;
    // The bad line's bytes are shown escaped: no escape sequence reaches the terminal, a NUL cuts nothing.
    QTest::newRow("log with one bad line names it")
        << QStringList{"%1/bad.txt", "-o", "%1/r.pdf"} << "bad"
        << QStringList{"line 4", "no valid time", "\\x1b[2J", "\\x00", "after NUL", "\\xff"} << 0;
    QTest::newRow("disk full: the system's reason") << QStringList{"%1/jrt1.txt", "-o", "%1/r.pdf"} << ""
                                                    << QStringList{"r.pdf", qt_error_string(EFBIG)} << 20000;
}

void TestReport::badInputLeavesNoFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, setup);
    QFETCH(QStringList, parts);
    QFETCH(int, fileSizeLimit);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::array<std::vector<int>, 3> tenths;
    for (std::vector<int>& line : tenths)
        line.assign(Readings, 105);
    const QString log = dir.filePath(QStringLiteral("jrt1.txt"));
    WriteLog(log, tenths, QLocale::c());
    QFile notes(dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("Shopping: silica gel, a spare probe\r\n");
    notes.close();
    std::unique_ptr<hmx::LogFolderLock> measuring;
    if (setup == QLatin1String("link"))
        QVERIFY(QFile::link(log, dir.filePath(QStringLiteral("link.pdf"))));
    else if (setup == QLatin1String("hard"))
        QCOMPARE(::link(QFile::encodeName(log).constData(), QFile::encodeName(dir.filePath("hard.pdf")).constData()), 0);
    else if (setup == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
    if (setup == QLatin1String("live")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("live")));
        WriteLog(dir.filePath(QStringLiteral("live/jrt1.txt")), tenths, QLocale::c());
        QVERIFY(QFile::copy(log, dir.filePath(QStringLiteral("live/hmx700-events.txt"))));
        measuring = std::make_unique<hmx::LogFolderLock>(dir.filePath(QStringLiteral("live/jrt1.txt")));
        QCOMPARE(measuring->acquire(), hmx::LogFolderLock::Result::Held);
    }
    if (setup == QLatin1String("bad")) {
        QFile bad(dir.filePath(QStringLiteral("bad.txt")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        QFile good(log);
        QVERIFY(good.open(QIODevice::ReadOnly));
        for (int i = 0; i < 3; ++i)
            bad.write(good.readLine());
        static const char line[] = "4\t10:00:0\x1b[2J\0after NUL\xff\t105\t105\t105\t10.50\t10.50\t10.50\r\n";
        bad.write(line, sizeof line - 1);
        bad.write(good.readAll());
    }
    // Every file and its bytes, before and after.
    auto contents = [&dir] {
        QStringList all;
        QDirIterator it(dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            QFile file(info.filePath());
            const bool regular = info.isFile() && !info.isSymLink() && file.open(QIODevice::ReadOnly);
            all << info.filePath() + u' '
                    + (regular ? QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex())
                               : QStringLiteral("-"));
        }
        all.sort();
        return all;
    };
    const QStringList before = contents();

    for (QString& argument : arguments)
        argument.replace(QLatin1String("%1"), dir.path());
    const Run run = Report(arguments, QStringLiteral("C"), {}, fileSizeLimit);
    QCOMPARE(run.exitCode, 2);
    const qsizetype start = run.errors.indexOf(QLatin1String("hmx700-report: "));
    QVERIFY2(start >= 0, qPrintable(run.errors));
    // One line of text: no control character of the file's reached it.
    QString message = run.errors.mid(start);
    message.remove(QStringLiteral("\nTry 'hmx700-report --help'.")).chop(1);
    for (const QChar c : message)
        QVERIFY2(c.category() != QChar::Other_Control, qPrintable(message));
    qsizetype at = 0;
    for (const QString& part : parts) {
        const qsizetype found = message.indexOf(part, at);
        QVERIFY2(found >= at, qPrintable(QStringLiteral("'%1' not in %2").arg(part, message)));
        at = found + part.size();
    }
    QCOMPARE(contents(), before);
}

void TestReport::acrossClockChanges_data()
{
    // A reading every second from `start` (UTC) on, stamped with Warsaw's clock; the
    // period asked, and the moments (UTC) it stands for (invalid: the log's ends).
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<int>("readings");
    QTest::addColumn<QStringList>("period");
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    const QDateTime autumn(QDate(2026, 10, 24), QTime(23, 30), QTimeZone::utc());  // 01:30 summer time
    const QDateTime spring(QDate(2026, 3, 29), QTime(0, 30), QTimeZone::utc());    // 01:30 standard time
    QTest::newRow("autumn: 01:30 summer time to 02:29:59 standard time") << autumn << 7200 << QStringList{} << QDateTime() << QDateTime();
    QTest::newRow("spring: 01:30 to 03:29:59") << spring << 3600 << QStringList{} << QDateTime() << QDateTime();
    QTest::newRow("inside the repeated hour, offsets given")
        << autumn << 7200 << QStringList{"--from", "2026-10-25T02:10:00+02:00", "--to", "2026-10-25T02:20:00+01:00"}
        << autumn.addSecs(40 * 60) << autumn.addSecs(110 * 60);
    QTest::newRow("inside the repeated hour, clock times: its first pass to its second")
        << autumn << 7200 << QStringList{"--from", "2026-10-25T02:10", "--to", "2026-10-25T02:20"}
        << autumn.addSecs(40 * 60) << autumn.addSecs(110 * 60);
    QTest::newRow("the same time twice: one instant") << autumn << 7200
        << QStringList{"--from", "2026-10-25T01:45:00", "--to", "2026-10-25T01:45:00"} << autumn.addSecs(900) << autumn.addSecs(900);
    QTest::newRow("a fraction of a second is no second more") << autumn << 7200
        << QStringList{"--from", "2026-10-25T01:45", "--to", "2026-10-25T01:45:00.999999"} << autumn.addSecs(900)
        << autumn.addMSecs(900999);
}

void TestReport::acrossClockChanges()
{
    QFETCH(QDateTime, start);
    QFETCH(int, readings);
    QFETCH(QStringList, period);
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    const QTimeZone warsaw("Europe/Warsaw");
    if (QTimeZone::systemTimeZoneId() != warsaw.id())
        QSKIP("the test's time zone (TZ=Europe/Warsaw) is not in force here");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QRandomGenerator random(11);
    std::vector<int> dewPoints;
    const QString log = dir.filePath(QStringLiteral("jrt1.txt"));
    {
        QFile file(log);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < readings; ++i) {
            dewPoints.push_back(random.bounded(100, 151));
            const QString shown = QLocale::c().toString(dewPoints.back() / 10.0, 'f', 2);
            file.write(hmx::FormatLogLine({i + 1, start.addSecs(i).toTimeZone(warsaw).time(), std::int16_t(dewPoints.back()),
                                           450, 235, shown, "45.00", "23.50"}, QLocale::c()));
        }
        QVERIFY(file.flush());  // so closing writes nothing more, and the time stays
        QVERIFY(file.setFileTime(start.addSecs(readings), QFileDevice::FileModificationTime));
    }
    hmx::AlarmPreferences preferences;
    preferences.limits[hmx::limits::QuantityId::DewPoint][hmx::limits::Bound::AlarmHigh] = 12.5;
    QSettings settings(dir.filePath(QStringLiteral("config/hmx700/hmx700.conf")), QSettings::IniFormat);
    hmx::SaveAlarmPreferences(settings, preferences);
    settings.sync();

    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    const Run run = Report(QStringList{log, "-o", pdf} + period, QStringLiteral("C"), dir.filePath(QStringLiteral("config")));
    QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    const QString text = Poppler(QStringLiteral("pdftotext"), pdf);

    // By plain arithmetic on the moments: the readings in the period, and the time each
    // one past the limit holds until the next one or the period's end.
    const qint64 end = to.isValid() ? start.msecsTo(to) : (readings - 1) * 1000;
    const qint64 first = from.isValid() ? start.secsTo(from) : 0, last = end / 1000;
    qint64 above = 0;
    for (qint64 i = first; i <= last; ++i)
        above += dewPoints[std::size_t(i)] > 125 ? std::min((i + 1) * 1000, end) - i * 1000 : 0;
    const hmx::readings::StatisticsTexts headers = hmx::StatisticsHeaders(hmx::WindowLanguage);
    QCOMPARE(RowEnd(text, headers.count, 3), QStringList(3, QString::number(last - first + 1)));
    QCOMPARE(RowEnd(text, headers.gaps, 3), QStringList(3, QStringLiteral("0:00:00")));
    const QRegularExpressionMatch past = QRegularExpression(QStringLiteral("(\\d+):(\\d\\d):(\\d\\d) \\(> 12.50\\)")).match(text);
    QVERIFY2(past.hasMatch(), qPrintable(text));
    QCOMPARE(past.captured(1).toInt() * 3600 + past.captured(2).toInt() * 60 + past.captured(3).toInt(), (above + 500) / 1000);
}

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
