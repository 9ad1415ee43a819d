// The alarms of the measurement page: watches each quantity's readings against the
// user's limits and shows what is crossed (the field's colour, a line beside it, a
// warning sign in the title), asks for attention, notifies the desktop once per
// crossing and sounds until acknowledged. Everything here runs on the window thread.
#pragma once

#include "instrument/alarmthresholds.h"
#include "limits/limitwatch.h"
#include "limits/limitsettings.h"
#include "ui/fieldlook.h"

#include <QObject>
#include <QRect>
#include <QTimer>

#include <chrono>
#include <map>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace hmx {

class LimitsDialog;
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
    // `page`; `window` gets the warning sign and the requests for attention. Readings
    // further apart than `joiningDistance` start a limit's delay again.
    AlarmPanel(QWidget* window, QWidget* page, const std::vector<Field>& fields, QRect limitsButton,
               QRect acknowledgeButton, std::chrono::milliseconds joiningDistance);
    ~AlarmPanel() override;

    const AlarmPreferences& preferences() const { return m_preferences; }
    // Limits that stay keep their state; changed ones are decided again from the latest
    // reading (see LimitWatch::setLimits).
    void setPreferences(const AlarmPreferences& preferences, limits::Millis now = Now());

    // The instrument's settings as last read: its alarms for the copy button and the chart.
    void setInstrumentSettings(const SettingsValues& settings);
    const std::vector<InstrumentAlarm>& instrumentAlarms() const { return m_instrumentAlarms; }

    // One reading of a quantity. Costs a few microseconds unless a limit is crossed or cleared.
    void observe(limits::QuantityId quantity, double value, limits::Millis now = Now());
    // Stops the sound and its repeats; the colours stay until the readings are back inside.
    void acknowledge(limits::Millis now = Now());
    // The same for one quantity's limits; the sound goes on for another's still waiting.
    void acknowledge(limits::QuantityId quantity, limits::Millis now = Now());
    // The readings broke off (the instrument lost, measuring ended): delays start again.
    void readingsInterrupted();

    // The quantity's field shows an old value (dimmed) or a live one.
    void setValueOld(limits::QuantityId quantity, bool old);

    limits::LimitStatus status(limits::QuantityId quantity) const;
    // The periods spent past an alarm limit, oldest first (the chart shades them).
    std::vector<limits::Period> alarmPeriods(limits::QuantityId quantity) const;

    // Opens the Limits dialog (not modal to the event loop: readings go on meanwhile).
    void openLimitsDialog();
    LimitsDialog* limitsDialog() const;

    void setRepeatInterval(std::chrono::milliseconds interval);
    QPushButton* limitsButton() const { return m_limitsButton; }
    QPushButton* acknowledgeButton() const { return m_acknowledgeButton; }
    QLabel* statusLabel(limits::QuantityId quantity) const;

    static limits::Millis Now();

signals:
    void limitEvent(limits::QuantityId quantity, const hmx::limits::LimitEvent& event);
    void limitsChanged();  // new limits or new instrument thresholds
    void soundPlayed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Watched {
        explicit Watched(const limits::LimitWatch& w) : watch(w) {}
        limits::LimitWatch watch;
        std::unique_ptr<FieldLook> look;
        QLineEdit* edit = nullptr;
        QLabel* status = nullptr;
        std::vector<limits::Period> alarmPeriods;
    };

    void handle(limits::QuantityId quantity, Watched& w, const limits::LimitEvents& events, limits::Millis now);
    void acknowledge(limits::QuantityId quantity, Watched& w, limits::Millis now);
    void show(limits::QuantityId quantity, Watched& w);
    void showWindowState();
    bool soundFor(limits::Level level) const;
    bool soundWaiting() const;
    void sound();

    QWidget* m_window;
    QString m_title;
    AlarmPreferences m_preferences;
    std::vector<InstrumentAlarm> m_instrumentAlarms;
    bool m_instrumentRead = false;
    std::map<limits::QuantityId, Watched> m_watched;
    QPushButton* m_limitsButton;
    QPushButton* m_acknowledgeButton;
    QTimer m_repeat;
    std::unique_ptr<Notifier> m_notifier;
};

} // namespace hmx
