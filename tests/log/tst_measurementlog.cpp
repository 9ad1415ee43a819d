// The measurement log: line format, long time form, and the file behaviour around
// creation, appending, deletion and locking; the file layer's own promises beneath it.
#include "files/file.h"
#include "log/eventjournal.h"
#include "log/measurementlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <ctime>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using hmx::EventJournal;
using hmx::FormatJournalLine;
using hmx::LogLine;
using hmx::LogProblem;
using hmx::MeasurementLog;
Q_DECLARE_METATYPE(LogProblem::Kind)

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

// The system's words for a file or a folder that is not there.
QString MissingText(bool folder)
{
#ifdef Q_OS_WIN
    return qt_error_string(int(folder ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND));
#else
    Q_UNUSED(folder);
    return qt_error_string(ENOENT);
#endif
}

// Another program holding the log for writing: its own open file with a write lock (flock
// on POSIX, a byte-range lock over the whole file on Windows).
class ForeignLock {
public:
    explicit ForeignLock(const QString& path)
    {
#ifdef Q_OS_WIN
        const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                                       GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        OVERLAPPED at {};
        if (h != INVALID_HANDLE_VALUE
            && ::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &at))
            m_handle = h;
        else if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
#else
        m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
#endif
    }
    ~ForeignLock() { release(); }
    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;
    // Appends through the holder's own file.
    bool write(const QByteArray& bytes)
    {
#ifdef Q_OS_WIN
        DWORD written = 0;
        return held() && ::SetFilePointer(m_handle, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER
            && ::WriteFile(m_handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr)
            && written == DWORD(bytes.size());
#else
        return held() && ::lseek(m_fd, 0, SEEK_END) >= 0 && ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
#endif
    }
#ifdef Q_OS_WIN
    bool held() const { return m_handle != nullptr; }
    void release()
    {
        if (m_handle)
            ::CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
#else
    bool held() const { return m_fd >= 0; }
    void release()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
#endif
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

    void createKeepsEarlierLog_data();
    void createKeepsEarlierLog();
    void createFailures_data();
    void createFailures();
    void createRefusesNonRegularFile();
    void linesNumberedInOrder();
    void lineOnDiskAtReturn();
    void deletedLogRecovers();
    void lockedLogKeepsLines();
    void keptLinesAreBounded();
    void closeWritesKeptLines();
    void keptLinesSavedAtExit_data();
    void keptLinesSavedAtExit();

    void journalLine();
    void journalKeepsEventsWhileLocked();

    void fileLayerKeepsWhatIsThere_data();
    void fileLayerKeepsWhatIsThere();
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

void TestMeasurementLog::createKeepsEarlierLog_data()
{
    QTest::addColumn<QByteArray>("earlier");   // content of the earlier jrt1.txt; null: none
    QTest::addColumn<int>("namesTaken");       // how many of the new names exist already
    QTest::addColumn<bool>("longName");        // a log name too long to take the date
    QTest::newRow("no earlier log") << QByteArray() << 0 << false;
    QTest::newRow("empty earlier log is reused") << QByteArray("") << 0 << false;
    QTest::newRow("earlier log kept under its date") << QByteArray("1\t10:00:00\t1\t2\t3\t0.10\t0.20\t0.30\r\n") << 0
                                                     << false;
    QTest::newRow("name taken: a counter") << QByteArray("old\r\n") << 1 << false;
    QTest::newRow("two names taken") << QByteArray("old\r\n") << 2 << false;
    QTest::newRow("rename fails: nothing touched") << QByteArray("old\r\n") << 0 << true;
}

void TestMeasurementLog::createKeepsEarlierLog()
{
    QFETCH(QByteArray, earlier);
    QFETCH(int, namesTaken);
    QFETCH(bool, longName);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(longName ? QString(240, u'j') + ".txt" : QStringLiteral("jrt1.txt"));
    const QDateTime modified(QDate(2026, 3, 29), QTime(2, 30, 5));
    if (!earlier.isNull()) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(earlier);
        old.close();
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    const QString base = QStringLiteral("jrt1-2026-03-29-023005");
    QStringList taken;
    for (int n = 1; n <= namesTaken; ++n) {
        taken << dir.filePath(n == 1 ? base + ".txt" : base + "-" + QString::number(n) + ".txt");
        QFile other(taken.last());
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("someone else's\r\n");
    }

    MeasurementLog log(path);
    if (longName) {
        QVERIFY(!log.create());
        QCOMPARE(log.problem().kind, LogProblem::Kind::KeepEarlier);
        QCOMPARE(log.problem().file, path);
        QVERIFY(!log.problem().reason.isEmpty());
        QCOMPARE(ReadAll(path), earlier);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
        return;
    }
    QVERIFY(log.create());
    QCOMPARE(log.problem().kind, LogProblem::Kind::None);
    QCOMPARE(QFile(path).size(), 0);
    for (const QString& other : taken)
        QCOMPARE(ReadAll(other), QByteArray("someone else's\r\n"));
    if (earlier.isEmpty()) {
        QCOMPARE(log.keptAs(), QString());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1 + namesTaken);
        return;
    }
    const QString expected = dir.filePath(namesTaken == 0 ? base + ".txt" : base + "-" + QString::number(namesTaken + 1) + ".txt");
    QCOMPARE(log.keptAs(), expected);
    QCOMPARE(ReadAll(expected), earlier);
}

void TestMeasurementLog::createFailures_data()
{
    QTest::addColumn<bool>("missingDirectory");
    QTest::addColumn<QString>("reason");
    QTest::newRow("directory does not exist") << true << MissingText(true);
    QTest::newRow("another program writes the file") << false << QString();  // empty: in use
}

void TestMeasurementLog::createRefusesNonRegularFile()
{
#ifdef Q_OS_WIN
    QSKIP("no FIFOs in the file system");
#else
    // Nobody reads the FIFO: an open for writing would wait for ever.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("jrt1.txt");
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    MeasurementLog log(path);
    QVERIFY(!log.create());
    QCOMPARE(log.problem().kind, LogProblem::Kind::NotRegular);
    QCOMPARE(log.problem().type, hmx::files::FileType::Fifo);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList{"jrt1.txt"});
#endif
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
        QVERIFY(lock->write("kept\r\n"));
    }
    MeasurementLog log(path);
    QVERIFY(!log.create());
    QCOMPARE(log.problem().kind, LogProblem::Kind::Create);
    QCOMPARE(log.problem().file, path);
    QCOMPARE(log.problem().reason, reason);
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
        QVERIFY(log.appendLine(Numbered(n)));
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
    QCOMPARE(log.problem().kind, LogProblem::Kind::Recreated);
    QCOMPARE(log.problem().file, path);
    QCOMPARE(log.problem().reason, MissingText(false));
    // Logging resumed at once in a new file; the reading that found the file gone is in it.
    QCOMPARE(Numbers(path), (QList<int>{2}));
    QCOMPARE(log.pendingLineCount(), std::size_t(0));

    QVERIFY(log.appendLine(Numbered(3)));
    QCOMPARE(log.problem().kind, LogProblem::Kind::None);
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
    QCOMPARE(log.problem().kind, LogProblem::Kind::Open);
    QCOMPARE(log.problem().reason, QString());  // in use by another program
    QCOMPARE(log.pendingLineCount(), std::size_t(1));
    QVERIFY(!log.appendLine(Numbered(3)));
    QCOMPARE(log.pendingLineCount(), std::size_t(2));
    QCOMPARE(Numbers(path), (QList<int>{1}));

    lock.release();
    QVERIFY(log.appendLine(Numbered(4)));
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
    QCOMPARE(log.problem().dropped, std::size_t(1));

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

void TestMeasurementLog::keptLinesSavedAtExit_data()
{
    QTest::addColumn<bool>("logFolderGone");
    QTest::addColumn<bool>("fallbackGone");
    QTest::addColumn<bool>("noRoom");  // every file may hold only a few bytes
    QTest::newRow("beside the log") << false << false << false;
    QTest::newRow("log folder gone: the fallback folder") << true << false << false;
    QTest::newRow("nowhere to write") << true << true << false;
    QTest::newRow("no room anywhere: nothing left behind") << false << false << true;
}

void TestMeasurementLog::keptLinesSavedAtExit()
{
    QFETCH(bool, logFolderGone);
    QFETCH(bool, fallbackGone);
    QFETCH(bool, noRoom);
    QTemporaryDir dir, home;
    QVERIFY(dir.isValid() && home.isValid());
    QVERIFY(QDir(dir.path()).mkdir("run"));
    const QString path = dir.filePath("run/jrt1.txt");
    MeasurementLog log(path);
    QVERIFY(log.create());
    QVERIFY(log.appendLine(Numbered(1)));
    {
        ForeignLock lock(path);
        QVERIFY(lock.held());
        QVERIFY(!log.appendLine(Numbered(2)));
        QVERIFY(!log.appendLine(Numbered(3)));
        log.close();  // the last attempt fails too: the lock is still held
    }
    QCOMPARE(log.pendingLineCount(), std::size_t(2));
    const QDateTime now(QDate(2026, 12, 7), QTime(23, 16, 5));
    // A file of that name already exists beside the log: it is not touched.
    QFile existing(dir.filePath("run/jrt1-unsaved-2026-12-07-231605.txt"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("earlier\r\n");
    existing.close();
    if (logFolderGone)
        QVERIFY(QDir(dir.filePath("run")).removeRecursively());
    const QString fallback = fallbackGone ? home.filePath("missing") : home.path();

    QString saved;
    if (noRoom) {
#ifdef Q_OS_WIN
        QSKIP("the file size limit is POSIX's");
#else
        // A file past the limit fails its write with EFBIG instead of ending the process.
        rlimit limit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit old = limit;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = 8;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        saved = log.saveKeptLines(fallback, now);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
#endif
    } else {
        saved = log.saveKeptLines(fallback, now);
    }
    if (fallbackGone || noRoom) {
        QCOMPARE(saved, QString());
        QCOMPARE(log.problem().kind, LogProblem::Kind::Unsaved);
        QVERIFY(!log.problem().reason.isEmpty());
        QCOMPARE(log.pendingLineCount(), std::size_t(2));
        // No empty or partial file anywhere; the one that was there is untouched.
        if (!logFolderGone)
            QCOMPARE(QDir(dir.filePath("run")).entryList({"jrt1-*"}), QStringList{existing.fileName().section('/', -1)});
        QCOMPARE(QDir(home.path()).entryList(QDir::Files), QStringList());
        return;
    }
    const QString expected = logFolderGone ? home.filePath("jrt1-unsaved-2026-12-07-231605.txt")
                                           : dir.filePath("run/jrt1-unsaved-2026-12-07-231605-2.txt");
    QCOMPARE(saved, expected);
    QCOMPARE(Numbers(saved), (QList<int>{2, 3}));
    QCOMPARE(log.pendingLineCount(), std::size_t(0));
    if (!logFolderGone)
        QCOMPARE(ReadAll(existing.fileName()), QByteArray("earlier\r\n"));
}

void TestMeasurementLog::journalLine()
{
#ifdef Q_OS_WIN
    QSKIP("the time zone is set through TZ");
#else
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Warsaw");
    tzset();
    const auto restore = qScopeGuard([&] {
        oldZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldZone);
        tzset();
    });
    const QDateTime winter(QDate(2026, 12, 8), QTime(2, 12, 5), Qt::UTC);
    QCOMPARE(FormatJournalLine({winter, "limit-crossed", {"quantity=dewPoint", "reason=two\tcolumns\r\nand lines"}}),
             QByteArray("2026-12-08T03:12:05+01:00\tlimit-crossed\tquantity=dewPoint\treason=two columns  and lines\r\n"));
    // Summer time has its own offset; the time is the clock's.
    const QDateTime summer(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC);
    QCOMPARE(FormatJournalLine({summer, u"stop"_qs, {}}), QByteArray("2026-07-01T14:00:00+02:00\tstop\r\n"));
    QCOMPARE(FormatJournalLine({summer, u"connect"_qs, {u"model=Wilgotność"_qs}}),
             u"2026-07-01T14:00:00+02:00\tconnect\tmodel=Wilgotność\r\n"_qs.toUtf8());
    // West of Greenwich, and on it: the offset is written out, never "Z".
    qputenv("TZ", "America/St_Johns");
    tzset();
    QCOMPARE(FormatJournalLine({winter, u"stop"_qs, {}}), QByteArray("2026-12-07T22:42:05-03:30\tstop\r\n"));
    qputenv("TZ", "UTC");
    tzset();
    QCOMPARE(FormatJournalLine({winter, u"stop"_qs, {}}), QByteArray("2026-12-08T02:12:05+00:00\tstop\r\n"));
#endif
}

void TestMeasurementLog::journalKeepsEventsWhileLocked()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("hmx700-events.txt");
    EventJournal journal(path);
    QSignalSpy failed(&journal, &EventJournal::failed);
    QSignalSpy works(&journal, &EventJournal::works);
    QSignalSpy added(&journal, &EventJournal::eventAdded);
    QVERIFY(failed.isValid() && works.isValid() && added.isValid());
    const auto kinds = [&] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QStringList();
        QStringList result;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                result << QString::fromUtf8(line).chopped(1).section(u'\t', 1, 1);
        return result;
    };

    {
        ForeignLock lock(path);  // created empty and held by another program
        QVERIFY(lock.held());
        journal.add(u"start"_qs);
        journal.add(u"connect"_qs);
        QCOMPARE(journal.pendingCount(), std::size_t(2));
        QCOMPARE(failed.count(), 1);  // one message for the run of failures
        QCOMPARE(journal.problem().file, path);
        QVERIFY(!journal.retry());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(QFileInfo(path).size(), 0);
    }
    QVERIFY(journal.retry());
    QCOMPARE(works.count(), 1);
    journal.add(u"stop"_qs);
    QCOMPARE(kinds(), (QStringList{"start", "connect", "stop"}));
    QCOMPARE(added.count(), 3);  // told as they happen, written or not
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));  // the mark, once, for spreadsheets
    QCOMPARE(bytes.count("\xEF\xBB\xBF"), 1);
    QCOMPARE(bytes.count("\r\n"), 3);
    QCOMPARE(bytes.count('\n'), 3);
}

void TestMeasurementLog::fileLayerKeepsWhatIsThere_data()
{
    QTest::addColumn<QString>("before");     // at the name first: "file" (a log holding a line) or "fifo"
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("reason");     // the system's words for the refusal; null: not compared
#ifdef Q_OS_WIN
    const QString renamedOnto = qt_error_string(int(ERROR_ALREADY_EXISTS));
#else
    const QString renamedOnto = qt_error_string(EEXIST);
#endif
    QTest::newRow("a rename never replaces") << "file" << "rename onto" << renamedOnto;
#ifndef Q_OS_WIN
    QTest::newRow("a write the disk takes in part is cut back") << "file" << "append past the size limit"
                                                                << qt_error_string(EFBIG);
    QTest::newRow("the queue's file as a FIFO is refused at once") << "fifo" << "update" << QString();
#endif
}

// What the log and the queue cannot show through their own behaviour: the layer beneath
// them refuses, and what was at the name is exactly as it was.
void TestMeasurementLog::fileLayerKeepsWhatIsThere()
{
    QFETCH(QString, before);
    QFETCH(QString, operation);
    QFETCH(QString, reason);
    using hmx::files::File;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath("jrt1.txt");
    const QByteArray kept = hmx::FormatLogLine(Numbered(1));
    if (before == QLatin1String("file")) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(kept), kept.size());
    } else {
#ifndef Q_OS_WIN
        // Nobody reads it: an open for writing would wait for a reader for ever.
        QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0600), 0);
#endif
    }

    bool done = false;
    QString said;
    if (operation == QLatin1String("rename onto")) {
        const QString other = dir.filePath("jrt1-2026-03-29-023005.txt");
        QFile file(other);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("other\r\n");
        file.close();
        done = hmx::files::RenameAlone(other, name, said);
        QCOMPARE(ReadAll(other), QByteArray("other\r\n"));
    } else if (operation == QLatin1String("append past the size limit")) {
#ifndef Q_OS_WIN
        File file(name, File::Mode::Append);
        QVERIFY(file.isOpen());
        // A few bytes of the line fit, then the write fails with EFBIG instead of ending the process.
        rlimit limit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit old = limit;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = rlim_t(kept.size() + 4);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        done = file.appendAll(hmx::FormatLogLine(Numbered(2)));
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        said = file.error();
#endif
    } else {
        File file(name, File::Mode::Update);
        done = file.isOpen();
        QCOMPARE(file.status(), hmx::files::OpenStatus::NotRegular);
        QCOMPARE(file.type(), hmx::files::FileType::Fifo);
    }
    QVERIFY(!done);
    if (!reason.isNull())
        QCOMPARE(said, reason);
    if (before == QLatin1String("file"))
        QCOMPARE(ReadAll(name), kept);
    else
        QCOMPARE(hmx::files::StatusOf(name).type, hmx::files::FileType::Fifo);
}

QTEST_GUILESS_MAIN(TestMeasurementLog)
#include "tst_measurementlog.moc"
