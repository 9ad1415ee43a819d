// Desktop notifications, one backend per platform: the freedesktop notification
// service on the session bus (notifier_posix.cpp), the tray icon's message on Windows
// (notifier_win.cpp). Where neither is available, notify() does nothing.
#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace hmx {

class Notifier {
public:
    virtual ~Notifier() = default;
    // Returns at once; never waits for the desktop.
    virtual void notify(const QString& title, const QString& text) = 0;
};

// A notifier for the window (whose icon and name it shows).
std::unique_ptr<Notifier> CreateNotifier(QWidget* window);

} // namespace hmx
