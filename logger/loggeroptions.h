// The headless recorder's command line and settings file, read into one value. Plain
// functions: no port, no broker, no window.
#pragma once

#include "instrument/derived.h"
#include "limits/limitsettings.h"
#include "publish/publishsettings.h"

#include <QProcessEnvironment>
#include <QSettings>
#include <QString>
#include <QStringList>

namespace hmx {

struct LoggerOptions {
    QString port;      // --port, else HMX700_PORTS, else the scan's usual devices
    QString dir;       // --dir, the folder of jrt1.txt and the queue
    bool all = false;  // --all: every instrument found, each into <dir>/<serial number>/
    PublishSettings publish;
    DerivedChoice derived;  // "Derived/" keys of the INI file: published with each reading
    AlarmPreferences limits;  // "limits/" keys of the INI file: watched, crossings journaled and published
    bool help = false;
    bool version = false;
};

// The environment variable the password may come from.
inline constexpr char PasswordVariable[] = "HMX700_MQTT_PASSWORD";
// The settings file when --config is not given: a whole path, spaces and all, as an
// environment file of systemd's keeps it.
inline constexpr char ConfigVariable[] = "HMX700_LOGGER_CONFIG";
// The name of the password's credential, which systemd puts in $CREDENTIALS_DIRECTORY.
inline constexpr char PasswordCredential[] = "mqtt-password";

// --help text.
QString LoggerUsage();

// Reads the arguments (without the program name), the INI file named by --config or
// HMX700_LOGGER_CONFIG (its "Publishing/", "Derived/" and "limits/" keys, as the window keeps
// them, and "Publishing/passwordFile"), then --mqtt over it, and the password: from the file,
// else systemd's credential, else the environment. Returns the reason the options or settings
// cannot be used; empty on success. A key of those sections that is unknown or whose value
// is not of its kind, or limits that contradict one another, is such a reason: a typo must
// not quietly become a default, nor a limit quietly go unwatched.
QString ReadLoggerOptions(const QStringList& arguments, const QProcessEnvironment& environment, LoggerOptions& options);

// The first line of `path` as the password. Refused when anyone but its owner may read
// or write the file; returns an error text, empty on success.
QString ReadPasswordFile(const QString& path, QString& password);

// What is wrong in the [Publishing], [Derived] and [limits] sections of the recorder's INI
// file; empty if nothing.
QString SettingsFileProblem(QSettings& ini);

} // namespace hmx
