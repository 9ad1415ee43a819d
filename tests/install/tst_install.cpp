// `cmake --install` into a scratch DESTDIR: exactly the expected files, each of its kind,
// and the menu entry, icons and AppStream data naming one another and the version.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

const QString AppId = QStringLiteral("pl.velta.hmx700");

enum class Kind { Program, Png, Svg, ManPage, ManPageLink, Text };

struct Expected {
    QString path;  // below the prefix /usr
    Kind kind;
    int size = 0;  // icons: width and height
};

QList<Expected> ExpectedFiles()
{
    QList<Expected> files{
        {QStringLiteral("bin/hmx700"), Kind::Program},
        {QStringLiteral("bin/hmx700-en"), Kind::Program},
        {QStringLiteral("bin/hmx700-sim"), Kind::Program},
        {QStringLiteral("bin/hmx700-calc"), Kind::Program},
        {QStringLiteral("bin/hmx700-report"), Kind::Program},
        {QStringLiteral("bin/hmx700-logger"), Kind::Program},
        {QStringLiteral("lib/systemd/system/hmx700-logger@.service"), Kind::Text},
        {QStringLiteral("lib/systemd/system/hmx700-logger-all.service"), Kind::Text},
        {QStringLiteral("lib/sysusers.d/hmx700-logger.conf"), Kind::Text},
        {QStringLiteral("share/man/man1/hmx700-logger.1.gz"), Kind::ManPage},
        {QStringLiteral("share/applications/%1.desktop").arg(AppId), Kind::Text},
        {QStringLiteral("share/applications/%1-en.desktop").arg(AppId), Kind::Text},
        {QStringLiteral("share/metainfo/%1.metainfo.xml").arg(AppId), Kind::Text},
        {QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(AppId), Kind::Svg},
        {QStringLiteral("share/man/man1/hmx700.1.gz"), Kind::ManPage},
        {QStringLiteral("share/man/man1/hmx700-sim.1.gz"), Kind::ManPage},
        {QStringLiteral("share/man/man1/hmx700-en.1.gz"), Kind::ManPageLink},
        {QStringLiteral("share/man/man1/hmx700-calc.1.gz"), Kind::ManPage},
        {QStringLiteral("share/man/man1/hmx700-report.1.gz"), Kind::ManPage},
        {QStringLiteral("share/doc/hmx700/copyright"), Kind::Text},
        {QStringLiteral("share/doc/hmx700/changelog.gz"), Kind::Text},
    };
    for (int size : {16, 32, 48, 64, 128, 256})
        files.append({QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId), Kind::Png, size});
    return files;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The keys of the [Desktop Entry] group of a desktop file.
QHash<QString, QString> DesktopEntry(const QString& path)
{
    QHash<QString, QString> keys;
    bool inGroup = false;
    for (const QByteArray& raw : ReadAll(path).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line == QLatin1String("[Desktop Entry]");
        else if (inGroup && line.contains(QLatin1Char('=')) && !line.startsWith(QLatin1Char('#')))
            keys.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    }
    return keys;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void installsExactlyTheExpectedFiles();
    void installedFile_data();
    void installedFile();
    void menuEntryNamesTheProgramAndIcon_data();
    void menuEntryNamesTheProgramAndIcon();
    void metainfoNamesTheMenuEntryAndVersion();

private:
    QString installed(const QString& path) const { return m_dest.path() + QStringLiteral("/usr/") + path; }

    QTemporaryDir m_dest;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_dest.isValid());
    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), m_dest.path());
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(HMX700_CMAKE),
                  {QStringLiteral("--install"), QStringLiteral(HMX700_BUILD_DIR), QStringLiteral("--prefix"), QStringLiteral("/usr")});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, install.readAll().constData());
}

void TestInstall::installsExactlyTheExpectedFiles()
{
    QStringList expected;
    for (const Expected& file : ExpectedFiles())
        expected.append(QStringLiteral("usr/") + file.path);
    QStringList found;
    const QDir root(m_dest.path());
    QDirIterator it(m_dest.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(root.relativeFilePath(it.next()));
    expected.sort();
    found.sort();
    QCOMPARE(found, expected);
}

void TestInstall::installedFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("size");
    for (const Expected& file : ExpectedFiles())
        QTest::newRow(qPrintable(file.path)) << file.path << int(file.kind) << file.size;
}

void TestInstall::installedFile()
{
    QFETCH(QString, path);
    QFETCH(int, kind);
    QFETCH(int, size);
    const QString name = installed(path);
    const QByteArray data = ReadAll(name);
    QVERIFY2(!data.isEmpty(), qPrintable(name + QStringLiteral(" is missing or empty")));
    switch (Kind(kind)) {
    case Kind::Program:
        QVERIFY(data.startsWith("\x7f" "ELF"));
        QVERIFY(QFileInfo(name).permissions() & QFileDevice::ExeOther);
        break;
    case Kind::Png: {
        QImageReader reader(name);
        QCOMPARE(reader.format(), QByteArray("png"));
        QCOMPARE(reader.size(), QSize(size, size));
        break;
    }
    case Kind::Svg: {
        QXmlStreamReader xml(data);
        QVERIFY(xml.readNextStartElement());
        QCOMPARE(xml.name(), QLatin1String("svg"));
        QVERIFY(!xml.attributes().value(QLatin1String("viewBox")).isEmpty());
        break;
    }
    case Kind::ManPage: {
        QVERIFY(data.startsWith("\x1f\x8b"));  // gzip
        QProcess gunzip;
        gunzip.start(QStringLiteral("gzip"), {QStringLiteral("-dc"), name});
        QVERIFY(gunzip.waitForFinished(10000));
        const QByteArray page = gunzip.readAllStandardOutput();
        // The page of the program it is named after.
        const QString program = QFileInfo(path).fileName().section(QLatin1Char('.'), 0, 0);
        QVERIFY2(page.startsWith(".TH " + program.toUpper().toUtf8() + ' '), page.left(40).constData());
        break;
    }
    case Kind::ManPageLink:  // a relative link to hmx700's page (an absolute one would leave DESTDIR)
        QVERIFY(QFileInfo(name).isSymLink());
        QCOMPARE(QFileInfo(name).symLinkTarget(), QFileInfo(installed(QStringLiteral("share/man/man1/hmx700.1.gz"))).canonicalFilePath());
        break;
    case Kind::Text:
        QVERIFY(!QFileInfo(name).isExecutable());
        break;
    }
}

void TestInstall::menuEntryNamesTheProgramAndIcon_data()
{
    QTest::addColumn<QString>("entryName");
    QTest::addColumn<QString>("program");
    QTest::newRow("Polish") << AppId << QStringLiteral("hmx700");
    QTest::newRow("English") << AppId + QStringLiteral("-en") << QStringLiteral("hmx700-en");
}

void TestInstall::menuEntryNamesTheProgramAndIcon()
{
    QFETCH(QString, entryName);
    QFETCH(QString, program);
    const QHash<QString, QString> entry = DesktopEntry(installed(QStringLiteral("share/applications/%1.desktop").arg(entryName)));
    QCOMPARE(entry.value(QStringLiteral("Exec")).section(QLatin1Char(' '), 0, 0), program);
    QVERIFY(QFileInfo(installed(QStringLiteral("bin/") + program)).isExecutable());
    const QString icon = entry.value(QStringLiteral("Icon"));
    QVERIFY(QFileInfo::exists(installed(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(icon))));
    QVERIFY(QFileInfo::exists(installed(QStringLiteral("share/icons/hicolor/48x48/apps/%1.png").arg(icon))));
    for (const char* key : {"Name", "GenericName", "Comment"})
        QVERIFY2(!entry.value(QLatin1String(key)).isEmpty(), key);
    for (const char* key : {"GenericName[pl]", "Comment[pl]"}) {
        QVERIFY2(!entry.value(QLatin1String(key)).isEmpty(), key);
        QVERIFY2(entry.value(QLatin1String(key)) != entry.value(QString::fromLatin1(key).section(QLatin1Char('['), 0, 0)), key);
    }
    const QStringList categories = entry.value(QStringLiteral("Categories")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QVERIFY(categories.contains(QStringLiteral("Science")));
    QVERIFY(categories.contains(QStringLiteral("Utility")));
}

void TestInstall::metainfoNamesTheMenuEntryAndVersion()
{
    QXmlStreamReader xml(ReadAll(installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(AppId))));
    QString id, icon, screenshot;
    QStringList launchables, releases;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("id"))
            id = xml.readElementText();
        else if (xml.name() == QLatin1String("launchable"))
            launchables.append(xml.readElementText());
        else if (xml.name() == QLatin1String("icon"))
            icon = xml.readElementText();
        else if (xml.name() == QLatin1String("image") && screenshot.isEmpty())
            screenshot = xml.readElementText();
        else if (xml.name() == QLatin1String("release"))
            releases.append(xml.attributes().value(QLatin1String("version")).toString());
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(id, AppId);
    // Both menu entries, the Polish one first (software centres start the first).
    QCOMPARE(launchables, QStringList({AppId + QStringLiteral(".desktop"), AppId + QStringLiteral("-en.desktop")}));
    for (const QString& launchable : launchables)
        QVERIFY(QFileInfo::exists(installed(QStringLiteral("share/applications/") + launchable)));
    QVERIFY(QFileInfo::exists(installed(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(icon))));
    QVERIFY(screenshot.startsWith(QLatin1String("https://")));
    // The newest release, listed first, is the version being built.
    QVERIFY(!releases.isEmpty());
    QCOMPARE(releases.first(), QStringLiteral(HMX700_VERSION));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
