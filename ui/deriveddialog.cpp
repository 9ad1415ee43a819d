#include "ui/deriveddialog.h"

#include "ui/derivedpanel.h"
#include "ui/language.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace hmx {

using humidity::Quantity;

DerivedDialog::DerivedDialog(const DerivedChoice& choice, QWidget* parent)
    : QDialog(parent), m_charted(new QComboBox(this)), m_pressure(new QDoubleSpinBox(this)),
      m_unit(new QComboBox(this)), m_gauge(new QCheckBox(ByLanguage("nadciśnienie", "gauge"), this))
{
    setObjectName(QStringLiteral("derivedDialog"));
    setWindowTitle(ByLanguage("Wielkości pochodne", "Derived quantities"));

    auto* shown = new QGroupBox(ByLanguage("Pokazywane na stronie pomiaru", "Shown on the measurement page"), this);
    auto* grid = new QGridLayout(shown);
    const std::vector<Quantity> offered = DerivableQuantities();
    const int perColumn = int(offered.size() + 1) / 2;
    for (std::size_t i = 0; i < offered.size(); ++i) {
        const Quantity q = offered[i];
        auto* box = new QCheckBox(DerivedTitle(q), shown);
        box->setObjectName(QStringLiteral("derived-") + QString::fromLatin1(humidity::Info(q).key.data(),
                                                                            qsizetype(humidity::Info(q).key.size())));
        box->setChecked(std::find(choice.shown.begin(), choice.shown.end(), q) != choice.shown.end());
        grid->addWidget(box, int(i) % perColumn, int(i) / perColumn);
        connect(box, &QCheckBox::toggled, this, &DerivedDialog::updateChartList);
        m_boxes.emplace_back(q, box);
    }

    m_charted->setObjectName(QStringLiteral("derivedCharted"));
    m_pressure->setObjectName(QStringLiteral("derivedPressure"));
    m_pressure->setDecimals(3);
    m_pressure->setRange(0, 100000);
    m_pressure->setValue(choice.pressure);
    m_unit->addItems(DerivedPressureUnits());
    m_unit->setCurrentText(choice.unit);
    m_gauge->setChecked(choice.gauge);
    auto* pressure = new QHBoxLayout;
    pressure->addWidget(m_pressure, 1);
    pressure->addWidget(m_unit);
    pressure->addWidget(m_gauge);

    auto* form = new QFormLayout;
    form->addRow(ByLanguage("Na wykresie (prawa oś):", "On the chart (right axis):"), m_charted);
    form->addRow(ByLanguage("Ciśnienie procesu:", "Process pressure:"), pressure);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(shown);
    layout->addLayout(form);
    layout->addWidget(buttons);

    updateChartList();
    if (choice.charted)
        m_charted->setCurrentIndex(std::max(0, m_charted->findData(int(*choice.charted))));
}

void DerivedDialog::updateChartList()
{
    const QVariant current = m_charted->currentData();
    m_charted->clear();
    m_charted->addItem(ByLanguage("żadna", "none"), QVariant());
    for (const auto& [q, box] : m_boxes) {
        if (box->isChecked())
            m_charted->addItem(DerivedTitle(q), int(q));
    }
    m_charted->setCurrentIndex(std::max(0, m_charted->findData(current)));
}

DerivedChoice DerivedDialog::choice() const
{
    DerivedChoice choice;
    for (const auto& [q, box] : m_boxes) {
        if (box->isChecked())
            choice.shown.push_back(q);
    }
    const QVariant charted = m_charted->currentData();
    if (charted.isValid())
        choice.charted = Quantity(charted.toInt());
    choice.pressure = m_pressure->value();
    choice.unit = m_unit->currentText();
    choice.gauge = m_gauge->isChecked();
    return choice;
}

} // namespace hmx
