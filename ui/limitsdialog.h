// The Limits dialog: per quantity the lower and upper alarm and warning limits, the
// hysteresis and the delay, the sounds, and a button that copies the instrument's own
// alarm thresholds. Limits and the hysteresis take two decimals, the delay one; a value
// shown and left as it is stays exactly as it was. It refuses what makes no sense or
// what a field cannot hold, with a message saying what.
#pragma once

#include "instrument/alarmthresholds.h"
#include "limits/limitsettings.h"

#include <QDialog>

#include <map>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace hmx {

class LimitsDialog : public QDialog {
    Q_OBJECT
public:
    // `instrumentRead`: the instrument's settings have been read (at a connection), and
    // `instrumentAlarms` are its alarms a chart line shows.
    LimitsDialog(const AlarmPreferences& preferences, bool instrumentRead,
                 std::vector<InstrumentAlarm> instrumentAlarms, QWidget* parent = nullptr);

    // What the fields say; set once the dialog has been accepted.
    AlarmPreferences preferences() const { return m_result; }
    // Why the last OK was refused; empty when it was not.
    QString problem() const;

    void accept() override;
    // Puts the instrument's alarm thresholds into the fields it sets, as the copy button
    // does; the other fields keep what they say.
    void copyInstrumentAlarms();

private:
    struct Row {
        std::map<limits::Bound, QLineEdit*> bounds;
        QLineEdit* hysteresis = nullptr;
        QLineEdit* delay = nullptr;
    };

    // A value shown in a field, with the text it was shown as.
    struct Shown {
        QString text;
        double value = 0;
    };

    void fill(limits::QuantityId quantity, const limits::Limits& limits);
    void showValue(QLineEdit* edit, std::optional<double> value);
    // The value a field was filled with, while it still shows the text it was given.
    std::optional<double> untouched(const QLineEdit* edit) const;
    // What the field says now; nullopt for an empty or unreadable one.
    std::optional<double> value(const QLineEdit* edit) const;
    // The fields of one quantity, or nullopt with the message shown.
    std::optional<limits::Limits> read(limits::QuantityId quantity);
    void refuse(const QString& message, QLineEdit* field);

    std::map<limits::QuantityId, Row> m_rows;
    std::map<const QLineEdit*, Shown> m_shown;
    std::vector<InstrumentAlarm> m_instrumentAlarms;
    QCheckBox* m_soundForAlarms;
    QCheckBox* m_soundForWarnings;
    QPushButton* m_copy;
    QLabel* m_problem;
    AlarmPreferences m_result;
};

} // namespace hmx
