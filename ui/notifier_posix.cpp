// Notifications through org.freedesktop.Notifications on the session bus. The call is
// sent without waiting for its reply, so a slow or missing service never holds the window.
#include "ui/notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

namespace hmx {

namespace {

// Without an address or the usual per-user bus there is no session bus to try; asking
// for one then could start a bus of its own.
bool SessionBusExpected()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath(QStringLiteral("bus")));
}

class BusNotifier : public Notifier {
public:
    void notify(const QString& title, const QString& text) override
    {
        if (!SessionBusExpected())
            return;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        QVariantMap hints;
        // The menu entry of the program in this language (hmx700-en has its own), so the
        // desktop files the notification under the program that sent it.
        hints.insert(QStringLiteral("desktop-entry"), QStringLiteral(HMX700_DESKTOP_ENTRY));
        call << QStringLiteral("HMX-700") << 0u << QStringLiteral("pl.velta.hmx700") << title << text << QStringList()
             << hints << -1;
        bus.send(call);
    }
};

} // namespace

std::unique_ptr<Notifier> CreateNotifier(QWidget*)
{
    return std::make_unique<BusNotifier>();
}

} // namespace hmx
