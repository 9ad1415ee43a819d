// The broker password in the system's key store (QtKeychain on Linux, the Credential
// Manager on Windows), never in QSettings.
#pragma once

#include "publish/publishsettings.h"

#include <QObject>
#include <QString>

#include <functional>

namespace hmx {

// Reads the password of the broker account in `settings`; `done` gets it, or an empty
// one and the key store's reason. `done` runs on `context`'s thread.
void ReadBrokerPassword(const PublishSettings& settings, QObject* context,
                        std::function<void(const QString& password, const QString& error)> done);
// Keeps `password` for that account; `done` gets the key store's reason on failure.
void StoreBrokerPassword(const PublishSettings& settings, const QString& password, QObject* context,
                         std::function<void(const QString& error)> done);

} // namespace hmx
