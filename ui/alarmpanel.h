// The alarms of the measurement page: shows what the measuring session's limit watches
// find crossed (the field's colour, a line beside it, a warning sign in the title), asks
// for attention, notifies the desktop once per crossing and sounds until acknowledged.
// Everything here runs on the window thread.
#pragma once

#include "instrument/alarmthresholds.h"
#include "limits/limitsettings.h"
#include "session/limitwatches.h"
#include "ui/fieldlook.h"

#include <QObject>
#include <QRect>
#include <QTimer>

#include <chrono>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace hmx {

class LimitsDialog;
class MeasuringSession;
class Notifier;

class AlarmPanel : public QObject {
    Q_OBJECT
public:
    // A display field of the page, the quantity it shows and where its status line goes.
    struct Field {
        limits::QuantityId quantity;
        QLineEdit* edit;
        QRect statusGeometry;
    };

    // Puts its buttons (Limits, Acknowledge at the given places) and status lines on
    // `page`; `window` gets the warning sign and the requests for attention. Shows the
    // limit watches of `session`, which watches the readings; the stored limits go to it.
    // The page shows it until another is shown (showSession).
    AlarmPanel(QWidget* window, QWidget* page, const std::vector<Field>& fields, QRect limitsButton,
               QRect acknowledgeButton, MeasuringSession& session);
    ~AlarmPanel() override;

    // How the Limits dialog keeps an instrument's accepted limits.
    using SaveLimits = std::function<void(const AlarmPreferences&)>;

    // The shown instrument's limits, the dialog's and the chart's.
    const AlarmPreferences& preferences() const { return watches().preferences(); }
    // The shown instrument's limits: those that stay keep their state; changed ones are
    // decided again from the latest reading (see LimitWatch::setLimits).
    void setPreferences(const AlarmPreferences& preferences);

    // The fields, status lines, Limits dialog and chart show `session`'s limit watches from
    // now on; accepted limits are kept by `save` (empty: the window's own keys, the first's).
    // The title and Acknowledge go on counting every instrument.
    void showSession(MeasuringSession& session, SaveLimits save);
    MeasuringSession& shownSession() const { return *m_showing; }

    // The instrument's alarms as last read, for the copy button and the chart.
    const std::vector<InstrumentAlarm>& instrumentAlarms() const { return watches().instrumentAlarms(); }

    // Stops the sound and its repeats; the colours stay until the readings are back inside.
    void acknowledge();
    // The same for one quantity's limits; the sound goes on for another's still waiting.
    void acknowledge(limits::QuantityId quantity);

    // The quantity's field shows an old value (dimmed) or a live one.
    void setValueOld(limits::QuantityId quantity, bool old);

    limits::LimitStatus status(limits::QuantityId quantity) const;
    // The periods spent past an alarm limit, oldest first (the chart shades them).
    std::vector<limits::Period> alarmPeriods(limits::QuantityId quantity) const;

    // Opens the Limits dialog (not modal to the event loop: readings go on meanwhile).
    void openLimitsDialog();
    LimitsDialog* limitsDialog() const;

    // Another instrument's limits reach the window as well: its crossings are notified
    // naming it (`name`, asked each time) and sound as its own preferences say, the title's
    // sign counts it, and Acknowledge silences it with the page's.
    void watchAlso(MeasuringSession& session, std::function<QString()> name);
    // No longer: the session is going (its instrument removed). It must not be the shown one.
    void stopWatching(MeasuringSession& session);

    void setRepeatInterval(std::chrono::milliseconds interval);
    QPushButton* limitsButton() const { return m_limitsButton; }
    QPushButton* acknowledgeButton() const { return m_acknowledgeButton; }
    QLabel* statusLabel(limits::QuantityId quantity) const;

signals:
    void limitEventsShown();  // crossings, clearings, acknowledgements: the alarm periods change
    void limitsChanged();  // new limits or new instrument thresholds
    void soundPlayed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A quantity's field and status line.
    struct Shown {
        std::unique_ptr<FieldLook> look;
        QLineEdit* edit = nullptr;
        QLabel* status = nullptr;
    };

    // Another instrument's session and its name.
    struct Other {
        MeasuringSession* session;
        std::function<QString()> name;
    };

    const LimitWatches& watches() const;
    void handle(const QuantityLimitEvents& events);
    void handleOther(const Other& other, const QuantityLimitEvents& events);
    // The fields of the quantities `events` touch, when `from` is shown.
    void showTouched(const MeasuringSession* from, const QuantityLimitEvents& events);
    // New limits of `from`: the page's as well when it is shown.
    void limitsChangedIn(const MeasuringSession* from);
    void notifyCrossings(const QuantityLimitEvents& events, const LimitWatches& watches, const QString& name);
    void showAll();
    void show(limits::QuantityId quantity, Shown& s);
    void showWindowState();
    bool soundFor(limits::Level level) const;
    static bool soundFor(const LimitWatches& watches, limits::Level level);
    static bool soundWaiting(const LimitWatches& watches);
    bool soundWaiting() const;
    void sound();

    QWidget* m_window;
    QString m_title;
    MeasuringSession& m_session;  // the first instrument's
    MeasuringSession* m_showing;  // the shown instrument's
    SaveLimits m_save;
    std::map<limits::QuantityId, Shown> m_shown;
    std::vector<Other> m_others;
    QPushButton* m_limitsButton;
    QPushButton* m_acknowledgeButton;
    QTimer m_repeat;
    std::unique_ptr<Notifier> m_notifier;
};

} // namespace hmx
