#include "logger/loggeroptions.h"

#include "logger/secretfile.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <cmath>

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
    {"all", nullptr, "Record every instrument found, now or later, each into DIR/<serial number>/ and under <base>/<serial number>."},
    {"config", "FILE", "Read the [Publishing], [Derived] and [limits] settings from this INI file (as HMX700_LOGGER_CONFIG does)."},
    {"mqtt", "URL", "Publish to mqtt://[user@]host[:port][/base/topic] (mqtts:// for TLS), over the file's settings."},
    {"password-file", "FILE", "Read the broker password from FILE, which only its owner may read or write."},
    {"help", nullptr, "Show this help and exit."},
    {"version", nullptr, "Show the program's version and exit."},
};

// What a key's value must be.
enum class Kind { Flag, Whole, Text, Quantities, Quantity, Pressure, PressureUnit };

struct SettingsKey {
    const char* name;  // "Publishing/tls"
    Kind kind;
};

// Every key of the two sections the recorder reads; the window writes the same ones.
constexpr SettingsKey SettingsKeys[] = {
    {"Publishing/enabled", Kind::Flag},        {"Publishing/host", Kind::Text},
    {"Publishing/port", Kind::Whole},          {"Publishing/clientId", Kind::Text},
    {"Publishing/baseTopic", Kind::Text},      {"Publishing/qos", Kind::Whole},
    {"Publishing/tls", Kind::Flag},            {"Publishing/caFile", Kind::Text},
    {"Publishing/certFile", Kind::Text},       {"Publishing/keyFile", Kind::Text},
    {"Publishing/user", Kind::Text},           {"Publishing/passwordFile", Kind::Text},
    {"Publishing/homeAssistant", Kind::Flag},  {"Publishing/discoveryPrefix", Kind::Text},
    {"Derived/quantities", Kind::Quantities},  {"Derived/chart", Kind::Quantity},
    {"Derived/pressure", Kind::Pressure},      {"Derived/pressureUnit", Kind::PressureUnit},
    {"Derived/gauge", Kind::Flag},
};

QString DerivableKeys()
{
    QStringList keys;
    for (const humidity::Quantity q : DerivableQuantities()) {
        const std::string_view key = humidity::Info(q).key;
        keys << QString::fromLatin1(key.data(), qsizetype(key.size()));
    }
    return keys.join(QStringLiteral(", "));
}

// Why `value` is not of `kind`; empty if it is.
QString ValueProblem(const QVariant& value, Kind kind)
{
    const bool list = value.typeId() == QMetaType::QStringList;
    const QString text = value.toString().trimmed();
    switch (kind) {
    case Kind::Flag:
        if (!SettingsBool(value))
            return QStringLiteral("is neither yes nor no (true/false, yes/no, on/off, 1/0)");
        return {};
    case Kind::Whole: {
        bool ok = false;
        text.toInt(&ok);
        return ok && !list ? QString() : QStringLiteral("is no whole number");
    }
    case Kind::Text:
        return list ? QStringLiteral("holds a comma; put the value in double quotes") : QString();
    case Kind::Quantities:
        for (const QString& key : value.toStringList())
            if (!key.trimmed().isEmpty() && !QuantityByKey(key.trimmed()))
                return QStringLiteral("names \"%1\", which is no derived quantity (they are: %2)")
                    .arg(key.trimmed(), DerivableKeys());
        return {};
    case Kind::Quantity:
        if (list || (!text.isEmpty() && !QuantityByKey(text)))
            return QStringLiteral("is no derived quantity (they are: %1)").arg(DerivableKeys());
        return {};
    case Kind::Pressure: {
        bool ok = false;
        const double pressure = text.toDouble(&ok);
        if (list || !ok || !std::isfinite(pressure))
            return QStringLiteral("is no number");
        if (pressure < 0)
            return QStringLiteral("is negative");
        return {};
    }
    case Kind::PressureUnit:
        if (list || !DerivedPressureUnits().contains(text))
            return QStringLiteral("is none of %1").arg(DerivedPressureUnits().join(QStringLiteral(", ")));
        return {};
    }
    return {};
}

// "dewPoint, humidity, ambient"
QString QuantityKeys()
{
    QStringList keys;
    for (const limits::QuantityInfo& q : limits::MeasuredQuantities)
        keys << QString::fromLatin1(q.key.data(), qsizetype(q.key.size()));
    return keys.join(QStringLiteral(", "));
}

// Why the limits of one quantity contradict one another, in the keys' words.
QString LimitCheckWords(const limits::LimitCheck& check, const limits::Limits& l)
{
    const auto limit = [&l](limits::Bound b) {
        return QStringLiteral("%1=%2").arg(BoundSettingsKey(b)).arg(*l[b]);
    };
    switch (check.problem) {
    case limits::LimitCheck::Problem::WarningBeyondAlarm:
        return QStringLiteral("%1 lies beyond %2").arg(limit(check.bound), limit(check.other));
    case limits::LimitCheck::Problem::LowAboveHigh:
        return QStringLiteral("%1 is not below %2").arg(limit(check.bound), limit(check.other));
    case limits::LimitCheck::Problem::NegativeHysteresis:
        return QStringLiteral("hysteresis is negative");
    case limits::LimitCheck::Problem::NegativeDelay:
        return QStringLiteral("delay is negative");
    case limits::LimitCheck::Problem::DelayTooLong:
        return QStringLiteral("delay is longer than %1 s").arg(limits::LongestDelaySeconds);
    case limits::LimitCheck::Problem::None:
        break;
    }
    return {};
}

// What is wrong in [limits]: keys "<quantity>/<limit>", "<quantity>/hysteresis" and
// "<quantity>/delay", each a number; then each quantity's limits taken together.
QString LimitsProblem(QSettings& ini)
{
    ini.beginGroup(QStringLiteral("limits"));
    const QStringList keys = ini.allKeys();
    QString problem;
    for (const QString& key : keys) {
        const QString quantity = key.section(QLatin1Char('/'), 0, 0);
        const QString name = key.section(QLatin1Char('/'), 1);
        const bool knownQuantity = std::any_of(limits::MeasuredQuantities.begin(), limits::MeasuredQuantities.end(),
                                               [&](const limits::QuantityInfo& q) { return quantity == QLatin1String(q.key.data(), qsizetype(q.key.size())); });
        const bool knownName = name == QLatin1String("hysteresis") || name == QLatin1String("delay")
            || std::any_of(limits::AllBounds.begin(), limits::AllBounds.end(),
                           [&](limits::Bound b) { return name == BoundSettingsKey(b); });
        if (!knownQuantity || !knownName) {
            problem = QStringLiteral("[limits] has no key %1 (quantities %2; each with alarmLow, warningLow, "
                                     "warningHigh, alarmHigh, hysteresis, delay)")
                          .arg(key, QuantityKeys());
            break;
        }
        const QVariant value = ini.value(key);
        bool ok = false;
        const double number = value.toString().trimmed().toDouble(&ok);
        if (value.typeId() == QMetaType::QStringList || !ok || !std::isfinite(number)) {
            problem = QStringLiteral("[limits] %1=%2 is no number").arg(key, value.toStringList().join(u','));
            break;
        }
    }
    ini.endGroup();
    if (!problem.isEmpty())
        return problem;
    for (const limits::QuantityInfo& q : limits::MeasuredQuantities) {
        ini.beginGroup(QStringLiteral("limits/") + QLatin1String(q.key.data(), qsizetype(q.key.size())));
        limits::Limits l;
        for (const limits::Bound b : limits::AllBounds) {
            if (ini.contains(BoundSettingsKey(b)))
                l[b] = ini.value(BoundSettingsKey(b)).toDouble();
        }
        l.hysteresis = ini.value(QStringLiteral("hysteresis"), 0.0).toDouble();
        l.delaySeconds = ini.value(QStringLiteral("delay"), 0.0).toDouble();
        ini.endGroup();
        if (const limits::LimitCheck check = limits::Validate(l); !check)
            return QStringLiteral("[limits] %1: %2").arg(QLatin1String(q.key.data(), qsizetype(q.key.size())),
                                                         LimitCheckWords(check, l));
    }
    return {};
}

// The first line of the open `file`, without its line end.
QString FirstLine(QFile& file)
{
    return QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
}

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
        "Records the readings of an HMX-700 hygrometer (with --all, of each one found) into\n"
        "jrt1.txt without a window and publishes them to an MQTT broker, keeping them on disk\n"
        "while the broker is away.\n\n");
    for (const Option& o : Options) {
        QString left = QStringLiteral("--") + QLatin1String(o.name);
        if (o.valueName)
            left += QLatin1Char(' ') + QLatin1String(o.valueName);
        text += QStringLiteral("  %1%2\n").arg(left, -22).arg(QLatin1String(o.help));
    }
    text += QStringLiteral(
        "\nThe password may also come from systemd's credential %3 or the environment\n"
        "variable %1; never from the command line. %2 stop the recorder in order.\n"
        "Exit status: 0 after such a stop, 1 the log could not be written (with --all: DIR\n"
        "takes no files; a unit whose folder another copy holds is left alone), 2 bad options or settings.\n")
                .arg(QLatin1String(PasswordVariable), QLatin1String(StopRequests), QLatin1String(PasswordCredential));
    return text;
}

QString ReadPasswordFile(const QString& path, QString& password)
{
    if (const QString problem = SecretFileKindProblem(path); !problem.isEmpty())
        return problem;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the password file %1: %2").arg(path, file.errorString());
    if (const QString problem = SecretFileAccessProblem(file, SecretSource::File); !problem.isEmpty())
        return problem;
    password = FirstLine(file);
    return {};
}

QString SettingsFileProblem(QSettings& ini)
{
    for (const QString& group : {QStringLiteral("Publishing"), QStringLiteral("Derived")}) {
        ini.beginGroup(group);
        const QStringList keys = ini.childKeys();
        ini.endGroup();
        for (const QString& key : keys) {
            const QString name = group + QLatin1Char('/') + key;
            const auto known = std::find_if(std::begin(SettingsKeys), std::end(SettingsKeys),
                                            [&](const SettingsKey& k) { return name == QLatin1String(k.name); });
            if (known == std::end(SettingsKeys))
                return QStringLiteral("[%1] has no key %2").arg(group, key);
            if (const QString problem = ValueProblem(ini.value(name), known->kind); !problem.isEmpty())
                return QStringLiteral("[%1] %2=%3 %4").arg(group, key, ini.value(name).toStringList().join(u','), problem);
        }
    }
    return LimitsProblem(ini);
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
    options.all = parser.isSet(QStringLiteral("all"));
    // One device holds one instrument: --all with it would be the recorder without --all.
    if (options.all && !options.port.isEmpty())
        return QStringLiteral("--all looks on every port and --port names one; to limit the ports --all asks, "
                              "list them in HMX700_PORTS");
    if (!options.dir.isEmpty() && !QFileInfo(options.dir).isDir())
        return QStringLiteral("%1 is no folder").arg(options.dir);

    QString passwordFile = parser.value(QStringLiteral("password-file"));
    const QString config = parser.isSet(QStringLiteral("config")) ? parser.value(QStringLiteral("config"))
                                                                   : environment.value(QLatin1String(ConfigVariable));
    if (!config.isEmpty()) {
        if (!QFileInfo(config).isReadable())
            return QStringLiteral("cannot read the settings file %1").arg(config);
        QSettings ini(config, QSettings::IniFormat);
        if (ini.status() != QSettings::NoError)
            return QStringLiteral("the settings file %1 is not a valid INI file").arg(config);
        if (const QString problem = SettingsFileProblem(ini); !problem.isEmpty())
            return QStringLiteral("%1: %2").arg(config, problem);
        options.publish = LoadPublishSettings(ini);
        options.derived = LoadDerivedChoice(ini);
        options.derived.gauge = SettingsBool(ini.value(QStringLiteral("Derived/gauge"), false)).value_or(false);
        options.limits.limits = LoadAlarmPreferences(ini).limits;
        if (passwordFile.isEmpty())
            passwordFile = ini.value(QStringLiteral("Publishing/passwordFile")).toString();
    }
    if (parser.isSet(QStringLiteral("mqtt"))) {
        const QString problem = ApplyBrokerUrl(parser.value(QStringLiteral("mqtt")), options.publish);
        if (!problem.isEmpty())
            return problem;
    }
    const QString credentials = environment.value(QStringLiteral("CREDENTIALS_DIRECTORY"));
    const QString credential = credentials.isEmpty() ? QString()
                                                     : QDir(credentials).filePath(QLatin1String(PasswordCredential));
    if (!passwordFile.isEmpty()) {
        const QString problem = ReadPasswordFile(passwordFile, options.publish.password);
        if (!problem.isEmpty())
            return problem;
    } else if (!credential.isEmpty() && QFileInfo(credential).isFile()) {
        QFile file(credential);
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read the credential %1: %2").arg(credential, file.errorString());
        if (const QString problem = SecretFileAccessProblem(file, SecretSource::Credential); !problem.isEmpty())
            return problem;
        options.publish.password = FirstLine(file);
    }
    // An empty credential is the unit's stand-in for a missing password file.
    if (options.publish.password.isEmpty() && passwordFile.isEmpty())
        options.publish.password = environment.value(QLatin1String(PasswordVariable));
    return PublishSettingsProblem(options.publish);
}

} // namespace hmx
