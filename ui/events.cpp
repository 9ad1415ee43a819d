// The alarms of the measurement page and the event journal, wired to the window: every
// event the user may later ask about goes to hmx700-events.txt beside the log.
#include "ui/mainwindow.h"

#include "log/eventjournal.h"
#include "readings/lines.h"
#include "ui/alarmpanel.h"
#include "ui/chartlimits.h"
#include "ui/errorreport.h"
#include "ui/journalevents.h"
#include "ui/messages.h"
#include "ui/statisticspanel.h"

#include <cmath>

using namespace hmx;

void TForm1::setUpAlarmsAndJournal()
{
    m_journal = std::make_unique<EventJournal>();
    // One message per run of failures, as for the log; the events wait in memory.
    connect(m_journal.get(), &EventJournal::failed, this, [](const LogProblem& problem) {
        ShowErrorReport(LogProblemText(problem), QStringLiteral("journal"));
    });

    // Status lines beside the fields, the buttons beside "Wczytaj wykres" and "Połącz":
    // places no control of the page takes.
    m_alarms = new AlarmPanel(this, TabSheet3,
                              {{limits::QuantityId::DewPoint, Edit20, QRect(276, 96, 236, 48)},
                               {limits::QuantityId::Ambient, Edit14, QRect(264, 220, 160, 52)},
                               {limits::QuantityId::Humidity, Edit6, QRect(256, 348, 176, 52)}},
                              QRect(560, 376, 97, 25), QRect(560, 200, 105, 81),
                              // A limit's delay counts readings as the chart joins them.
                              std::chrono::milliseconds(std::llround(readings::LiveJoiningDistance * 86400000.0)));
    connect(m_alarms, &AlarmPanel::limitEvent, this, [this](limits::QuantityId quantity, const limits::LimitEvent& e) {
        m_journal->add(LimitEventKind(e), LimitEventDetails(quantity, e),
                       QDateTime::fromMSecsSinceEpoch(e.time));
    });
    ShowAlarmsOnChart(*Chart1, *m_alarms);
    m_statistics = new StatisticsPanel(*Chart1, *m_lines, [this] { return m_alarms->preferences(); });
    connect(m_alarms, &AlarmPanel::limitsChanged, m_statistics, &StatisticsPanel::scheduleRefresh);

    m_journal->add(QStringLiteral("start"), {Detail(QStringLiteral("version"), QStringLiteral(HMX700_VERSION))});
}

void TForm1::journalSettings(const QString& kind, const SettingsValues& values)
{
    m_journal->add(kind, SettingsChanges(m_journalSettings, values));
    m_journalSettings = values;
    m_alarms->setInstrumentSettings(values);
}
