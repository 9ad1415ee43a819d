// Publishing from the window: the Preferences dialog, the publisher beside the Poller,
// and its state as a line of Label36. Failures show there, never as message boxes.
#include "ui/mainwindow.h"

#include "instrument/poller.h"
#include "log/eventjournal.h"
#include "log/measurementlog.h"
#include "publish/payloads.h"
#include "publish/publisher.h"
#include "ui/derivedpanel.h"
#include "ui/language.h"
#include "ui/passwordstore.h"
#include "ui/preferencesdialog.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

using namespace hmx;

namespace {

QString PublishStatusText(const PublishState& state, const QString& broker)
{
    QString text;
    switch (state.link) {
    case PublishState::Link::Off:
        return {};
    case PublishState::Link::Connecting:
        text = ByLanguage("MQTT: łączę z %1…", "MQTT: connecting to %1…").arg(broker);
        break;
    case PublishState::Link::Connected:
        text = ByLanguage("MQTT: połączono z %1", "MQTT: connected to %1").arg(broker);
        if (!state.refused.isEmpty())
            text += ByLanguage(" – broker odrzuca %1 (czekają w kolejce)", " – the broker refuses %1 (they wait in the queue)")
                        .arg(state.refused);
        break;
    case PublishState::Link::Failed:
        text = ByLanguage("MQTT: brak połączenia z %1 (%2)", "MQTT: cannot reach %1 (%2)").arg(broker, state.reason);
        break;
    }
    if (state.queued > 0)
        text += ByLanguage(" – w kolejce: %1", " – queued: %1").arg(state.queued);
    if (state.dropped > 0)
        text += ByLanguage(" – kolejka pełna, pominięto najstarsze: %1 (są w logu)",
                           " – queue full, oldest dropped: %1 (they are in the log)")
                    .arg(state.dropped);
    if (state.setAside > 0)
        text += ByLanguage(" – uszkodzone wiadomości odłożone do %2: %1", " – damaged messages set aside in %2: %1")
                    .arg(state.setAside)
                    .arg(state.setAsideFile);
    if (!state.queueProblem.isEmpty())
        text += QStringLiteral(" – ") + state.queueProblem;
    return text;
}

} // namespace

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
    const QFileInfo log(m_log->fileName());
    const QString queue = log.dir().filePath(log.completeBaseName() + QStringLiteral(".queue"));
    m_publisher = std::make_shared<Publisher>(settings, version, queue);
    m_publisher->setDerived(m_derived->choice());
    const QString broker = QStringLiteral("%1:%2").arg(settings.host).arg(settings.port);
    connect(m_publisher.get(), &Publisher::stateChanged, this, [this, broker](const PublishState& state) {
        m_publishStatus = PublishStatusText(state, broker);
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
