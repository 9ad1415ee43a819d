// The humidity calculator: the air temperature, one humidity quantity and the pressure
// (and a second pressure) in; every other quantity out at once, recomputed as the user
// types. Numbers in the user's locale; the inputs it was last given are kept.
#pragma once

#include "humidity/quantities.h"

#include <QDialog>

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;

namespace hmx {

class HumidityDialog : public QDialog {
    Q_OBJECT
public:
    explicit HumidityDialog(QWidget* parent = nullptr);
    ~HumidityDialog() override;

    // The text shown for a quantity (empty for one the dialog does not list), and for
    // the status line: why nothing could be computed, empty when all is well.
    QString shownText(humidity::Quantity quantity) const;
    QString statusText() const;

    QLineEdit* temperatureEdit() const { return m_temperature; }
    QComboBox* inputChoice() const { return m_input; }
    QLineEdit* valueEdit() const { return m_value; }
    QLineEdit* pressureEdit(int which) const { return m_pressure[which]; }
    QComboBox* pressureUnit(int which) const { return m_unit[which]; }

private:
    void recompute();
    void save() const;

    QLineEdit* m_temperature;
    QComboBox* m_input;
    QLineEdit* m_value;
    std::array<QLineEdit*, 2> m_pressure;
    std::array<QComboBox*, 2> m_unit;
    QLabel* m_status;
    // Per quantity: the °C (or only) value, and the °F value beside it.
    std::array<QLabel*, humidity::QuantityCount> m_shown{};
};

} // namespace hmx
