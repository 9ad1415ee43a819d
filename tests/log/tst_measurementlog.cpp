// The measurement log: line format, long time form, and the file behaviour around
// creation, appending, deletion and locking.
#include "log/measurementlog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using hmx::LogLine;
using hmx::MeasurementLog;

namespace {

LogLine Line(int number, std::int16_t dew, std::int16_t hum, std::int16_t amb, const QString& dewText,
             const QString& humText, const QString& ambText, QTime time = QTime(14, 3, 27))
{
    LogLine line;
    line.number = number;
    line.time = time;
    line.dewPoint = dew;
    line.humidity = hum;
    line.ambient = amb;
    line.dewPointText = dewText;
    line.humidityText = humText;
    line.ambientText = ambText;
    return line;
}

LogLine Numbered(int number)
{
    return Line(number, -105, 450, 235, QStringLiteral("-10.50"), QStringLiteral("45.00"),
                QStringLiteral("23.50"));
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<cannot read>");
    return file.readAll();
}

// The reading numbers of the lines in a log file, in file order.
QList<int> Numbers(const QString& path)
{
    QList<int> numbers;
    const QByteArray data = ReadAll(path);
    for (const QByteArray& line : data.split('\n')) {
        if (line.isEmpty())
            continue;
        numbers.append(line.left(line.indexOf('\t')).toInt());
    }
    return numbers;
}

// Another program holding the log for writing: its own open file description with flock.
class ForeignLock {
public:
    explicit ForeignLock(const QString& path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~ForeignLock() { release(); }
    bool held() const { return m_fd >= 0; }
    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

} // namespace

class TestMeasurementLog : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void formatLine_data();
    void formatLine();
    void longTime_data();
    void longTime();
    void longTimeWithoutZone_data();
    void longTimeWithoutZone();

    void createEmptiesOldFile();
    void createFailures_data();
    void createFailures();
    void linesNumberedInOrder();
    void lineOnDiskAtReturn();
    void deletedLogRecovers();
    void lockedLogKeepsLines();
    void keptLinesAreBounded();
    void closeWritesKeptLines();
};

void TestMeasurementLog::formatLine_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<LogLine>("line");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("first line of a run")
        << "en_GB" << Numbered(1)
        << QStringList{"1", "14:03:27", "-105", "450", "235", "-10.50", "45.00", "23.50"};
    QTest::newRow("negative half degree")
        << "en_GB" << Line(7, -5, 0, 1000, "-0.50", "0.00", "100.00", QTime(9, 5, 7))
        << QStringList{"7", "09:05:07", "-5", "0", "1000", "-0.50", "0.00", "100.00"};
    QTest::newRow("comma locale keeps raw fields")
        << "pl_PL" << Line(12, 235, -32768, 32767, "23,50", "45,00", "-10,50")
        << QStringList{"12", "14:03:27", "235", "-32768", "32767", "23,50", "45,00", "-10,50"};
    QTest::newRow("no group separator in a big reading number")
        << "en_US" << Line(123456, 0, 0, 0, "0.00", "0.00", "0.00", QTime(23, 59, 59))
        << QStringList{"123456", "11:59:59 PM", "0", "0", "0", "0.00", "0.00", "0.00"};
}

void TestMeasurementLog::formatLine()
{
    QFETCH(QString, locale);
    QFETCH(LogLine, line);
    QFETCH(QStringList, fields);

    const QByteArray bytes = hmx::FormatLogLine(line, QLocale(locale));
    QVERIFY(bytes.endsWith("\r\n"));
    const QByteArray body = bytes.chopped(2);
    QVERIFY(!body.contains('\r') && !body.contains('\n'));
    const QStringList actual = QString::fromLocal8Bit(body).split(u'\t');
    QCOMPARE(actual, fields);
}

void TestMeasurementLog::longTime_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Polish, leading zero, 8 chars") << "pl_PL" << QTime(9, 5, 7) << "09:05:07";
    QTest::newRow("Polish afternoon") << "pl_PL" << QTime(21, 5, 7) << "21:05:07";
    QTest::newRow("Hungarian, no leading zero") << "hu_HU" << QTime(9, 5, 7) << "9:05:07";
    QTest::newRow("Finnish point separator") << "fi_FI" << QTime(9, 5, 7) << "9.05.07";
    QTest::newRow("Danish point separator, leading zero") << "da_DK" << QTime(9, 5, 7) << "09.05.07";
    QTest::newRow("US morning") << "en_US" << QTime(9, 5, 7) << "9:05:07 AM";
    QTest::newRow("US evening") << "en_US" << QTime(21, 5, 7) << "9:05:07 PM";
    QTest::newRow("US midnight is 12") << "en_US" << QTime(0, 5, 7) << "12:05:07 AM";
    QTest::newRow("US noon is 12 PM") << "en_US" << QTime(12, 0, 0) << "12:00:00 PM";
    // CLDR in Qt 6.4: "AP h시 m분 s초 t"; the marker stands first, the words are not separators.
    QTest::newRow("Korean marker first")
        << "ko_KR" << QTime(9, 5, 7) << QStringLiteral("\uC624\uC804 9:05:07");
    QTest::newRow("Korean afternoon")
        << "ko_KR" << QTime(15, 5, 7) << QStringLiteral("\uC624\uD6C4 3:05:07");
    // Qt 6.4 gives zh_CN "t HH:mm:ss": 24-hour clock, no marker.
    QTest::newRow("Chinese 24-hour") << "zh_CN" << QTime(21, 5, 7) << "21:05:07";
    QTest::newRow("Japanese kanji units fall back to colon") << "ja_JP" << QTime(9, 5, 7) << "9:05:07";
}

void TestMeasurementLog::longTime()
{
    QFETCH(QString, locale);
    QFETCH(QTime, time);
    QFETCH(QString, expected);

    QCOMPARE(hmx::LongTimeText(time, QLocale(locale)), expected);
    // The default argument follows QLocale::setDefault.
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(hmx::LongTimeText(time), expected);
}

void TestMeasurementLog::longTimeWithoutZone_data()
{
    QTest::addColumn<QString>("locale");
    for (const char* name : {"pl_PL", "en_US", "en_GB", "de_DE", "fr_FR", "ko_KR", "zh_CN", "zh_TW", "ja_JP",
                             "fi_FI", "hu_HU", "bg_BG", "fa_IR", "sq_AL", "es_US", "ta_IN", "th_TH", "ru_RU"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestMeasurementLog::longTimeWithoutZone()
{
    QFETCH(QString, locale);
    const QLocale l(locale);
    for (const QTime& time : {QTime(9, 5, 7), QTime(23, 48, 36)}) {
        QString text = hmx::LongTimeText(time, l);
        // Full form of the locale carries a zone name; ours must not.
        QVERIFY2(l.toString(time, QLocale::LongFormat) != text, qPrintable(text));
        const QString marker = time.hour() < 12 ? l.amText() : l.pmText();
        text.remove(marker);
        text = text.trimmed();
        const QString minutes = QStringLiteral("%1").arg(time.minute(), 2, 10, QLatin1Char('0'));
        const QString seconds = QStringLiteral("%1").arg(time.second(), 2, 10, QLatin1Char('0'));
        QVERIFY2(text.endsWith(seconds), qPrintable(text));
        QVERIFY2(text.contains(minutes), qPrintable(text));
        for (const QChar c : text)
            QVERIFY2(!c.isLetter() && !c.isSpace(), qPrintable(locale + ": " + text));
    }
}

void TestMeasurementLog::createEmptiesOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jrt1.txt");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("1\t10:00:00\t1\t2\t3\t0.10\t0.20\t0.30\r\n");
    }
    MeasurementLog log(path);
    QVERIFY2(log.create(), qPrintable(log.errorString()));
    QVERIFY(QFile::exists(path));
    QCOMPARE(QFile(path).size(), 0);
    QVERIFY(log.errorString().isEmpty());
}

void TestMeasurementLog::createFailures_data()
{
    QTest::addColumn<bool>("missingDirectory");
    QTest::addColumn<QString>("reason");
    QTest::newRow("directory does not exist") << true << "No such file or directory";
    QTest::newRow("another program writes the file") << false << "in use by another program";
}

void TestMeasurementLog::createFailures()
{
    QFETCH(bool, missingDirectory);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = missingDirectory ? dir.filePath("gone/jrt1.txt") : dir.filePath("jrt1.txt");
    std::optional<ForeignLock> lock;
    if (!missingDirectory) {
        lock.emplace(path);
        QVERIFY(lock->held());
        QFile other(path);
        QVERIFY(other.open(QIODevice::Append));
        other.write("kept\r\n");
    }
    MeasurementLog log(path);
    QVERIFY(!log.create());
    QVERIFY2(log.errorString().startsWith("Cannot create " + path + ": "), qPrintable(log.errorString()));
    QVERIFY2(log.errorString().contains(reason), qPrintable(log.errorString()));
    if (!missingDirectory)
        QCOMPARE(ReadAll(path), QByteArray("kept\r\n"));  // not emptied under the other writer
}

void TestMeasurementLog::linesNumberedInOrder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jrt1.txt");
    MeasurementLog log(path);
    QVERIFY(log.create());
    for (int n = 1; n <= 3; ++n)
        QVERIFY2(log.appendLine(Numbered(n)), qPrintable(log.errorString()));
    log.close();
    const QByteArray expected = hmx::FormatLogLine(Numbered(1)) + hmx::FormatLogLine(Numbered(2))
        + hmx::FormatLogLine(Numbered(3));
    QCOMPARE(ReadAll(path), expected);
    QCOMPARE(Numbers(path), (QList<int>{1, 2, 3}));
}

void TestMeasurementLog::lineOnDiskAtReturn()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jrt1.txt");
    MeasurementLog log(path);
    QVERIFY(log.create());
    QVERIFY(log.appendLine(Numbered(1)));
    QVERIFY(log.appendLine(Numbered(2)));
    // The log stays open; the last line must be readable by anyone at once.
    QVERIFY(ReadAll(path).endsWith(hmx::FormatLogLine(Numbered(2))));
    QCOMPARE(Numbers(path), (QList<int>{1, 2}));
    QCOMPARE(log.pendingLineCount(), std::size_t(0));
}

void TestMeasurementLog::deletedLogRecovers()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jrt1.txt");
    MeasurementLog log(path);
    QVERIFY(log.create());
    QVERIFY(log.appendLine(Numbered(1)));
    QVERIFY(QFile::remove(path));

    QVERIFY(!log.appendLine(Numbered(2)));
    QVERIFY2(log.errorString().contains(path), qPrintable(log.errorString()));
    QVERIFY2(log.errorString().contains("No such file or directory"), qPrintable(log.errorString()));
    // Logging resumed at once in a new file; the reading that found the file gone is in it.
    QCOMPARE(Numbers(path), (QList<int>{2}));
    QCOMPARE(log.pendingLineCount(), std::size_t(0));

    QVERIFY2(log.appendLine(Numbered(3)), qPrintable(log.errorString()));
    QVERIFY(log.errorString().isEmpty());
    QCOMPARE(Numbers(path), (QList<int>{2, 3}));
}

void TestMeasurementLog::lockedLogKeepsLines()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jrt1.txt");
    MeasurementLog log(path);
    QVERIFY(log.create());
    QVERIFY(log.appendLine(Numbered(1)));

    ForeignLock lock(path);
    QVERIFY(lock.held());
    QVERIFY(!log.appendLine(Numbered(2)));
    QVERIFY2(log.errorString().startsWith("Cannot open " + path + " for appending: "),
             qPrintable(log.errorString()));
    QVERIFY2(log.errorString().contains("in use by another program"), qPrintable(log.errorString()));
    QCOMPARE(log.pendingLineCount(), std::size_t(1));
    QVERIFY(!log.appendLine(Numbered(3)));
    QCOMPARE(log.pendingLineCount(), std::size_t(2));
    QCOMPARE(Numbers(path), (QList<int>{1}));

    lock.release();
    QVERIFY2(log.appendLine(Numbered(4)), qPrintable(log.errorString()));
    QCOMPARE(log.pendingLineCount(), std::size_t(0));
    QCOMPARE(Numbers(path), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(log.droppedLineCount(), std::size_t(0));
}

void TestMeasurementLog::keptLinesAreBounded()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jrt1.txt");
    MeasurementLog log(path);
    QVERIFY(log.create());
    log.setPendingLimit(2);

    ForeignLock lock(path);
    QVERIFY(lock.held());
    for (int n = 1; n <= 3; ++n)
        QVERIFY(!log.appendLine(Numbered(n)));
    QCOMPARE(log.pendingLineCount(), std::size_t(2));
    QCOMPARE(log.droppedLineCount(), std::size_t(1));
    QVERIFY2(log.errorString().contains("readings dropped from the log: 1"), qPrintable(log.errorString()));

    // The new line counts against the bound too, so one more old line goes.
    lock.release();
    QVERIFY(log.appendLine(Numbered(4)));
    QCOMPARE(Numbers(path), (QList<int>{3, 4}));
    QCOMPARE(log.droppedLineCount(), std::size_t(2));
}

void TestMeasurementLog::closeWritesKeptLines()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jrt1.txt");
    {
        MeasurementLog log(path);
        QVERIFY(log.create());
        ForeignLock lock(path);
        QVERIFY(lock.held());
        QVERIFY(!log.appendLine(Numbered(1)));
        lock.release();
    }  // the destructor closes the log
    QCOMPARE(Numbers(path), (QList<int>{1}));
}

QTEST_GUILESS_MAIN(TestMeasurementLog)
#include "tst_measurementlog.moc"
