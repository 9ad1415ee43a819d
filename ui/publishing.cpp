// Publishing from the window: the Preferences dialog, the publisher beside the Poller,
// and its state as a line of Label36. Failures show there, never as message boxes.
#include "ui/mainwindow.h"

#include "instrument/poller.h"
#include "log/eventjournal.h"
#include "log/measurementlog.h"
#include "publish/payloads.h"
#include "publish/publisher.h"
#include "session/sessionfiles.h"
#include "session/sessiontexts.h"
#include "ui/derivedpanel.h"
#include "ui/language.h"
#include "ui/passwordstore.h"
#include "ui/preferencesdialog.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
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

void TForm1::startPublishing(const VersionInfo& version)
{
    QSettings stored;
    PublishSettings settings = LoadPublishSettings(stored);
    if (!settings.enabled || !PreferencesDialog::Problem(settings).isEmpty())
        return;
    // The queue lives beside the log, so an outage or a crash loses nothing.
    const QString queue = SessionFiles::Beside(m_log->fileName()).queue();
    m_publisher = std::make_shared<Publisher>(settings, version, queue);
    m_publisher->setDerived(m_derived->choice());
    const QString broker = QStringLiteral("%1:%2").arg(settings.host).arg(settings.port);
    connect(m_publisher.get(), &Publisher::stateChanged, this, [this, broker](const PublishState& state) {
        // Stopped is no news on the status line: the measuring has ended.
        m_publishStatus = state.link == PublishState::Link::Off ? QString() : PublishStateText(state, broker, WindowLanguage);
        updateStatus();
    });
    // Each reading to the queue file before its line goes to the log, from the Poller's thread.
    Publisher* publisher = m_publisher.get();
    publisher->follow(*m_poller);
    connect(m_journal.get(), &EventJournal::eventAdded, publisher, [publisher](const JournalEvent& event) {
        publisher->publishEvent(EventPayload(event.time, event.kind, event.details));
    });
    if (settings.user.isEmpty()) {
        publisher->start();
        return;
    }
    // Readings handed over meanwhile wait in the publisher until it starts.
    std::weak_ptr<Publisher> weak = m_publisher;
    ReadBrokerPassword(settings, this, [weak](const QString& password, const QString&) {
        // Without a stored password the broker's refusal tells the user in the status line.
        if (const auto p = weak.lock()) {
            p->setPassword(password);
            p->start();
        }
    });
}

void TForm1::publishInstrumentStatus(bool measuring)
{
    if (m_publisher)
        m_publisher->setInstrumentStatus(measuring ? InstrumentStatus::Measuring : InstrumentStatus::Searching);
}

void TForm1::stopPublishing()
{
    if (m_publisher)
        m_publisher->stop();
    m_publisher.reset();
}
