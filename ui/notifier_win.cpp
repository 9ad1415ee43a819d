// Notifications as the tray icon's message. The icon appears with the first
// notification and stays for the run; without a notification area nothing is shown.
#include "ui/notifier.h"

#include <QSystemTrayIcon>
#include <QWidget>

namespace hmx {

namespace {

class TrayNotifier : public Notifier {
public:
    explicit TrayNotifier(QWidget* window) : m_window(window) {}

    void notify(const QString& title, const QString& text) override
    {
        if (!QSystemTrayIcon::isSystemTrayAvailable() || !QSystemTrayIcon::supportsMessages())
            return;
        if (!m_icon) {
            m_icon = std::make_unique<QSystemTrayIcon>(m_window->windowIcon());
            m_icon->setToolTip(QStringLiteral("HMX-700"));
            QObject::connect(m_icon.get(), &QSystemTrayIcon::messageClicked, m_window, [window = m_window] {
                window->showNormal();
                window->activateWindow();
            });
        }
        m_icon->show();
        m_icon->showMessage(title, text, QSystemTrayIcon::Warning);
    }

private:
    QWidget* m_window;
    std::unique_ptr<QSystemTrayIcon> m_icon;
};

} // namespace

std::unique_ptr<Notifier> CreateNotifier(QWidget* window)
{
    return std::make_unique<TrayNotifier>(window);
}

} // namespace hmx
