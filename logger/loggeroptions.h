// The headless recorder's command line and settings file, read into one value. Plain
// functions: no port, no broker, no window.
#pragma once

#include "instrument/derived.h"
#include "publish/publishsettings.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace hmx {

struct LoggerOptions {
    QString port;      // --port, else HMX700_PORTS, else the scan's usual devices
    QString dir;       // --dir, the folder of jrt1.txt and the queue
    PublishSettings publish;
    DerivedChoice derived;  // "Derived/" keys of the INI file: published with each reading
    bool help = false;
    bool version = false;
};

// The environment variable the password may come from.
inline constexpr char PasswordVariable[] = "HMX700_MQTT_PASSWORD";

// --help text.
QString LoggerUsage();

// Reads the arguments (without the program name), the INI file named by --config (its
// "Publishing/" and "Derived/" keys, as the window keeps them, and "Publishing/passwordFile"), then
// --mqtt over it, and the password from the file or the environment. Returns the reason
// the options or settings cannot be used; empty on success.
QString ReadLoggerOptions(const QStringList& arguments, const QProcessEnvironment& environment, LoggerOptions& options);

// The first line of `path` as the password. Refused when others may read or write the
// file; returns an error text, empty on success.
QString ReadPasswordFile(const QString& path, QString& password);

} // namespace hmx
