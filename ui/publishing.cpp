// Publishing from the window: the Preferences dialog, the preferences and the password
// handed to the measuring session, whose publishing state Label36 shows. Failures show
// there, never as message boxes.
#include "ui/mainwindow.h"

#include "publish/publisher.h"
#include "session/measuringsession.h"
#include "ui/language.h"
#include "ui/passwordstore.h"
#include "ui/preferencesdialog.h"

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
    QSettings stored;
    PublishSettings settings = LoadPublishSettings(stored);
    // Preferences the dialog would refuse publish nothing.
    if (!PreferencesDialog::Problem(settings).isEmpty())
        settings.enabled = false;
    // The password comes from the key store once the publisher is made.
    m_session->setPublishing(settings, !settings.user.isEmpty());
}

void TForm1::readBrokerPassword()
{
    // Readings handed over meanwhile wait in the publisher until it starts.
    const QPointer<Publisher> waiting = m_session->publisher();
    if (!waiting || !m_session->options().passwordToCome)
        return;
    ReadBrokerPassword(m_session->options().publish, this, [this, waiting](const QString& password, const QString&) {
        // Without a stored password the broker's refusal tells the user in the status line.
        if (waiting && m_session->publisher() == waiting)
            m_session->providePassword(password);
    });
}
