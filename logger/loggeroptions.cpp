#include "logger/loggeroptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace hmx {

namespace {

struct Option {
    const char* name;
    const char* valueName;  // nullptr: a switch
    const char* help;
};

// One table for the parser and the --help text.
constexpr Option Options[] = {
    {"port", "DEVICE", "Open this serial device instead of looking for the instrument (as HMX700_PORTS does)."},
    {"dir", "DIR", "Write jrt1.txt and the publishing queue into DIR (default: the current folder)."},
    {"config", "FILE", "Read the [Publishing] settings from this INI file."},
    {"mqtt", "URL", "Publish to mqtt://[user@]host[:port][/base/topic] (mqtts:// for TLS), over the file's settings."},
    {"password-file", "FILE", "Read the broker password from FILE, which others must not be able to read."},
    {"help", nullptr, "Show this help and exit."},
    {"version", nullptr, "Show the program's version and exit."},
};

#ifdef Q_OS_WIN
constexpr char StopRequests[] = "Ctrl+C, Ctrl+Break and closing the console";
#else
constexpr char StopRequests[] = "SIGTERM, SIGINT and SIGHUP";
#endif

} // namespace

QString LoggerUsage()
{
    QString text = QStringLiteral(
        "Usage: hmx700-logger [OPTION]...\n"
        "Records the readings of an HMX-700 hygrometer into jrt1.txt without a window and\n"
        "publishes them to an MQTT broker, keeping them on disk while the broker is away.\n\n");
    for (const Option& o : Options) {
        QString left = QStringLiteral("--") + QLatin1String(o.name);
        if (o.valueName)
            left += QLatin1Char(' ') + QLatin1String(o.valueName);
        text += QStringLiteral("  %1%2\n").arg(left, -22).arg(QLatin1String(o.help));
    }
    text += QStringLiteral(
        "\nThe password may also come from the environment variable %1; never from the\n"
        "command line. %2 stop the recorder in order.\n"
        "Exit status: 0 after such a stop, 1 the log could not be written, 2 bad options or settings.\n")
                .arg(QLatin1String(PasswordVariable), QLatin1String(StopRequests));
    return text;
}

QString ReadPasswordFile(const QString& path, QString& password)
{
    if (!QFileInfo::exists(path))
        return QStringLiteral("cannot read the password file %1: no such file").arg(path);
#ifndef Q_OS_WIN
    // Windows keeps access in lists that a mode cannot tell; there the file's folder is
    // the user's to choose (see the README).
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && (info.st_mode & (S_IROTH | S_IWOTH)))
        return QStringLiteral("the password file %1 is open to other users; allow only its owner and group "
                              "(chmod o-rw %1)").arg(path);
#endif
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the password file %1: %2").arg(path, file.errorString());
    password = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    return {};
}

QString ReadLoggerOptions(const QStringList& arguments, const QProcessEnvironment& environment, LoggerOptions& options)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option& o : Options)
        parser.addOption(o.valueName ? QCommandLineOption(QLatin1String(o.name), QLatin1String(o.help), QLatin1String(o.valueName))
                                     : QCommandLineOption(QLatin1String(o.name), QLatin1String(o.help)));
    if (!parser.parse(QStringList{QStringLiteral("hmx700-logger")} + arguments))
        return parser.errorText();
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().constFirst());
    options.help = parser.isSet(QStringLiteral("help"));
    options.version = parser.isSet(QStringLiteral("version"));
    options.port = parser.value(QStringLiteral("port"));
    options.dir = parser.value(QStringLiteral("dir"));
    if (!options.dir.isEmpty() && !QFileInfo(options.dir).isDir())
        return QStringLiteral("%1 is no folder").arg(options.dir);

    QString passwordFile = parser.value(QStringLiteral("password-file"));
    if (parser.isSet(QStringLiteral("config"))) {
        const QString config = parser.value(QStringLiteral("config"));
        if (!QFileInfo(config).isReadable())
            return QStringLiteral("cannot read the settings file %1").arg(config);
        QSettings ini(config, QSettings::IniFormat);
        if (ini.status() != QSettings::NoError)
            return QStringLiteral("the settings file %1 is not a valid INI file").arg(config);
        options.publish = LoadPublishSettings(ini);
        options.derived = LoadDerivedChoice(ini);
        if (passwordFile.isEmpty())
            passwordFile = ini.value(QStringLiteral("Publishing/passwordFile")).toString();
    }
    if (parser.isSet(QStringLiteral("mqtt"))) {
        const QString problem = ApplyBrokerUrl(parser.value(QStringLiteral("mqtt")), options.publish);
        if (!problem.isEmpty())
            return problem;
    }
    if (!passwordFile.isEmpty()) {
        const QString problem = ReadPasswordFile(passwordFile, options.publish.password);
        if (!problem.isEmpty())
            return problem;
    } else {
        options.publish.password = environment.value(QLatin1String(PasswordVariable));
    }
    return PublishSettingsProblem(options.publish);
}

} // namespace hmx
