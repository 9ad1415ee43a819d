// Publishing from the window: the Preferences dialog, the preferences and the password
// handed to the measuring session, whose publishing state Label36 shows. Failures show
// there, never as message boxes.
#include "ui/mainwindow.h"

#include "publish/publisher.h"
#include "session/instrumentset.h"
#include "session/measuringsession.h"
#include "ui/instruments.h"
#include "ui/language.h"
#include "ui/passwordstore.h"
#include "ui/preferencesdialog.h"
#include "ui/sessionpublishing.h"

#include <QAction>
#include <QPointer>
#include <QSettings>

using namespace hmx;

void TForm1::setUpPublishing()
{
    auto* preferences = new QAction(ByLanguage("Preferencje…", "Preferences…"), this);
    preferences->setObjectName(QStringLiteral("preferencesAction"));
    preferences->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    connect(preferences, &QAction::triggered, this, &TForm1::ShowPreferences);
    addAction(preferences);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TForm1::ShowPreferences()
{
    auto* dialog = new PreferencesDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QSettings settings;
    dialog->setSettings(LoadPublishSettings(settings));
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const PublishSettings chosen = dialog->settings();
        QSettings settings;
        SavePublishSettings(chosen, settings);
        if (!dialog->newPassword().isEmpty())
            StoreBrokerPassword(chosen, dialog->newPassword(), this, [this](const QString& error) {
                if (error.isEmpty())
                    return;
                m_publishStatus = ByLanguage("MQTT: nie można zapisać hasła: %1", "MQTT: cannot keep the password: %1").arg(error);
                updateStatus();
            });
        // A measurement under way keeps its settings; the next Connect uses the new ones.
    });
    dialog->open();
}

void TForm1::applyPublishPreferences()
{
    ApplyPublishPreferences(*m_session, m_instruments->set(), 0, true);
}

void TForm1::readBrokerPassword()
{
    ProvideBrokerPassword(*m_session, this);
}

namespace hmx {

void ApplyPublishPreferences(MeasuringSession& session, InstrumentSet& set, quint16 serialNumber, bool inStartFolder)
{
    QSettings stored;
    PublishSettings settings = InstrumentPublishing(LoadPublishSettings(stored), serialNumber, inStartFolder);
    // Preferences the dialog would refuse publish nothing.
    if (!PreferencesDialog::Problem(settings).isEmpty())
        settings.enabled = false;
    // The password comes from the key store once the publisher is made.
    session.setPublishing(settings, !settings.user.isEmpty(), set.broker(settings, serialNumber));
}

void ProvideBrokerPassword(MeasuringSession& session, QObject* context)
{
    // Readings handed over meanwhile wait in the publisher until it starts.
    const QPointer<Publisher> waiting = session.publisher();
    if (!waiting || !session.options().passwordToCome)
        return;
    const QPointer<MeasuringSession> asking = &session;
    ReadBrokerPassword(session.options().publish, context, [asking, waiting](const QString& password, const QString&) {
        // Without a stored password the broker's refusal tells the user in the status line.
        if (asking && waiting && asking->publisher() == waiting)
            asking->providePassword(password);
    });
}

} // namespace hmx
