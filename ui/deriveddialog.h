// The derived-quantities dialog: which quantities the measurement page shows, which
// one the chart draws on its right axis, and the process pressure they are computed at.
#pragma once

#include "instrument/derived.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;

namespace hmx {

class DerivedDialog : public QDialog {
    Q_OBJECT
public:
    explicit DerivedDialog(const DerivedChoice& choice, QWidget* parent = nullptr);

    // What the dialog says now.
    DerivedChoice choice() const;

private:
    void updateChartList();

    std::vector<std::pair<humidity::Quantity, QCheckBox*>> m_boxes;
    QComboBox* m_charted;
    QDoubleSpinBox* m_pressure;
    QComboBox* m_unit;
    QCheckBox* m_gauge;
};

} // namespace hmx
