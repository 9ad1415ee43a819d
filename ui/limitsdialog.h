// The Limits dialog: per quantity the lower and upper alarm and warning limits, the
// hysteresis and the delay, the sounds, and a button that copies the instrument's own
// alarm thresholds. It refuses what makes no sense, with a message saying what.
#pragma once

#include "instrument/alarmthresholds.h"
#include "ui/alarmpreferences.h"

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
    // Puts the instrument's alarm thresholds into the fields, as the copy button does.
    void copyInstrumentAlarms();

private:
    struct Row {
        std::map<limits::Bound, QLineEdit*> bounds;
        QLineEdit* hysteresis = nullptr;
        QLineEdit* delay = nullptr;
    };

    void fill(limits::QuantityId quantity, const limits::Limits& limits);
    // The fields of one quantity, or nullopt with the message shown.
    std::optional<limits::Limits> read(limits::QuantityId quantity);
    void refuse(const QString& message, QLineEdit* field);

    std::map<limits::QuantityId, Row> m_rows;
    std::vector<InstrumentAlarm> m_instrumentAlarms;
    QCheckBox* m_soundForAlarms;
    QCheckBox* m_soundForWarnings;
    QPushButton* m_copy;
    QLabel* m_problem;
    AlarmPreferences m_result;
};

} // namespace hmx
