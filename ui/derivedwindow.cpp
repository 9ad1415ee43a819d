// The derived quantities in the window: the panel on the measurement page, the dialog
// that chooses them (in the chart's menu and the window's), kept with QSettings.
#include "ui/mainwindow.h"

#include "session/measuringsession.h"
#include "ui/deriveddialog.h"
#include "ui/derivedpanel.h"
#include "ui/instruments.h"
#include "ui/language.h"

#include <QAction>
#include <QSettings>

using namespace hmx;

void TForm1::setUpDerived()
{
    // Between the address and the alarms' acknowledge button: room no control of the page takes.
    m_derived = new DerivedPanel(TabSheet3, QRect(540, 94, 248, 102), *Chart1, *m_lines);
    QSettings settings;
    m_derived->setChoice(LoadDerivedChoice(settings));

    auto* open = new QAction(ByLanguage("Wielkości pochodne…", "Derived quantities…"), this);
    open->setObjectName(QStringLiteral("derivedAction"));
    connect(open, &QAction::triggered, this, &TForm1::ShowDerivedDialog);
    Chart1->addMenuAction(open);
    addAction(open);
}

void TForm1::ShowDerivedDialog()
{
    auto* dialog = new DerivedDialog(m_derived->choice(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const DerivedChoice chosen = dialog->choice();
        if (!m_instruments->showsFirst()) {
            // The shown instrument's own choice; the first's stays as it is.
            m_derived->setChoice(chosen);
            m_instruments->setShownDerived(chosen);
            return;
        }
        QSettings settings;
        SaveDerivedChoice(chosen, settings);
        // The fields and the chart at once, and the readings from the next one on carry them
        // (Home Assistant's discovery keeps the quantities of the Connect until the next one).
        m_derived->setChoice(chosen);
        m_session->setDerived(chosen);
    });
    dialog->open();
}
