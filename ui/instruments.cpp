#include "ui/instruments.h"

#include "log/eventjournal.h"
#include "readings/lines.h"
#include "report/chartview.h"
#include "session/instrumentset.h"
#include "ui/alarmpanel.h"
#include "ui/chartinstruments.h"
#include "ui/derivedpanel.h"
#include "ui/errorreport.h"
#include "ui/fieldlook.h"
#include "ui/fieldtext.h"
#include "ui/instrumentsettings.h"
#include "ui/instrumentspage.h"
#include "ui/language.h"
#include "ui/mainwindow.h"
#include "ui/messages.h"
#include "ui/sessionpublishing.h"
#include "ui/statisticspanel.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

namespace hmx {

namespace {

QString AddCaption()
{
    return ByLanguage("Dodaj przyrząd…", "Add instrument…");
}

QString DefaultName(quint16 serialNumber)
{
    return ByLanguage("HMX-700 nr %1", "HMX-700 no. %1").arg(serialNumber);
}

// Live readings, joined as the window's own lines are.
readings::Lines* NewLiveLines(QObject* parent)
{
    auto* lines = new readings::Lines(parent);
    for (const humidity::Quantity q :
         {humidity::Quantity::DewPoint, humidity::Quantity::RelativeHumidity, humidity::Quantity::Temperature})
        lines->line(q)->setJoiningDistance(readings::LiveJoiningDistance);
    return lines;
}

limits::Level WorstLevel(const SessionReading& shown)
{
    limits::Level worst = limits::Level::None;
    for (const limits::LimitStatus& status : shown.limits)
        if (status.level > worst)
            worst = status.level;
    return worst;
}

} // namespace

Instruments::Instruments(TForm1& window)
    : QObject(&window)
    , m_window(window)
    , m_set(new InstrumentSet({}, this))
{
    connect(m_set, &InstrumentSet::searched, this, &Instruments::searched);
    connect(this, &Instruments::instrumentsChanged, this, &Instruments::showStatisticsName);
    // The reconnect question waits until the window is on the screen.
    window.installEventFilter(this);
}

Instruments::~Instruments() = default;

MeasuringSession* Instruments::addFirst(SessionOptions options, readings::Lines& lines)
{
    MeasuringSession* first = m_set->add(std::move(options));
    m_instruments.push_back(Instrument{first, &lines});
    follow(first);
    return first;
}

void Instruments::setUp()
{
    m_addAction = new QAction(AddCaption(), &m_window);
    m_addAction->setObjectName(QStringLiteral("addInstrumentAction"));
    connect(m_addAction, &QAction::triggered, this, &Instruments::addInstruments);
    m_window.addAction(m_addAction);

    // Above "Limity…", beside the calculator: room no control of the page takes.
    m_addButton = new QPushButton(AddCaption(), m_window.TabSheet3);
    m_addButton->setObjectName(QStringLiteral("addInstrumentButton"));
    m_addButton->setGeometry(QRect(560, 344, 120, 25));
    connect(m_addButton, &QPushButton::clicked, this, &Instruments::addInstruments);

    m_chart = new ChartInstruments(*m_window.Chart1, {m_window.Series1, m_window.Series6, m_window.Series7}, *this);
    // The statistics cover the instruments drawn beside the shown one too.
    if (StatisticsPanel* statistics = m_window.statistics()) {
        statistics->setOthers([this] {
            std::vector<StatisticsPanel::Other> others;
            for (const int index : m_chart->drawn())
                others.push_back({lines(index), session(index)->limits().preferences()});
            return others;
        });
    }
}

QString Instruments::name(int index) const
{
    const Instrument& i = m_instruments[std::size_t(index)];
    if (i.view.serialNumber == 0)
        return i.device.isEmpty() ? QStringLiteral("HMX-700") : ShortDeviceName(i.device);
    const QString given = LoadInstrumentName(*ProgramSettings(), i.view.serialNumber);
    return given.isEmpty() ? DefaultName(i.view.serialNumber) : given;
}

QString Instruments::chartSource(int index) const
{
    return index == 0 ? m_window.m_chartSource : m_instruments[std::size_t(index)].chartSource;
}

void Instruments::setChartSource(int index, const QString& file)
{
    if (index == 0)
        m_window.m_chartSource = file;
    else
        m_instruments[std::size_t(index)].chartSource = file;
}

int Instruments::indexOf(const MeasuringSession* session) const
{
    for (std::size_t i = 0; i < m_instruments.size(); ++i)
        if (m_instruments[i].session == session)
            return int(i);
    return -1;
}

void Instruments::follow(MeasuringSession* s)
{
    // Each handler finds its instrument's place when it runs: removing one moves the others.
    const auto on = [this, s](auto signal, auto handler) {
        connect(s, signal, this, [this, s, handler](auto&&... args) {
            const int index = indexOf(s);
            if (index >= 0)
                handler(index, m_instruments[std::size_t(index)], args...);
        });
    };
    on(&MeasuringSession::trying, [this](int index, Instrument& i, int, const QString&) {
        if (i.view.state == InstrumentState::NotMeasuring)
            i.view.state = InstrumentState::Connecting;
        updateTile(index);
    });
    on(&MeasuringSession::instrumentRead, [this](int index, Instrument& i, const VersionInfo& version, bool, const SettingsValues&) {
        i.view.serialNumber = version.serialNumber;
        i.view.name = name(index);
        updateTile(index);
        emit instrumentsChanged();
    });
    on(&MeasuringSession::measuring, [this](int index, Instrument& i, const QString& logFile, const QString&) {
        if (index != 0)
            i.chartSource = logFile;
        i.lost = false;
        i.logFailing = false;
        updateState(index);
    });
    on(&MeasuringSession::cannotMeasure, [this](int index, Instrument& i, const QString&) {
        i.view.state = InstrumentState::NotMeasuring;
        updateTile(index);
    });
    on(&MeasuringSession::reading, [this](int index, Instrument& i, const SessionReading& shown) {
        i.last = shown;
        i.silentCycles = 0;
        i.view.humidity = shown.reading.humidityText;
        i.view.dewPoint = shown.reading.dewPointText;
        i.view.ambient = shown.reading.ambientText;
        i.view.level = WorstLevel(shown);
        updateTile(index);
        if (index == m_shown && index != 0) {
            showChosenReading();
            showChosenOld();
        }
    });
    // The first's silence is the window's own (its Edit20 says "Error"); another shown says
    // the same in the same field.
    on(&MeasuringSession::noReply, [this](int index, Instrument& i) {
        ++i.silentCycles;
        if (index == m_shown && index != 0) {
            ShowWhole(*m_window.Edit20, QStringLiteral("Error"));
            showChosenOld();
        }
    });
    on(&MeasuringSession::lost, [this](int index, Instrument& i) {
        i.lost = true;
        updateState(index);
        if (index == m_shown && index != 0)
            showChosenOld();
    });
    on(&MeasuringSession::back, [this](int index, Instrument& i, const QString&) {
        i.lost = false;
        updateState(index);
        if (index == m_shown && index != 0)
            showChosenOld();
    });
    on(&MeasuringSession::otherUnit, [this](int index, Instrument& i, const QString& device, quint16 serialNumber) {
        i.view.state = InstrumentState::OtherUnit;
        i.view.otherUnit = ByLanguage("nr %1 na %2", "no. %1 on %2").arg(serialNumber).arg(device);
        // The first asks in a box of the window's; an added one goes on searching.
        updateTile(index);
    });
    on(&MeasuringSession::logFailed, [this](int index, Instrument& i, const LogProblem&) {
        i.logFailing = true;
        updateState(index);
    });
    on(&MeasuringSession::logWorks, [this](int index, Instrument& i) {
        i.logFailing = false;
        updateState(index);
    });
    // The first's own handlers show its scan; the reconnect goes on once it has settled.
    if (s == m_instruments.front().session) {
        // No search of ours while Connect scans the same ports.
        connect(s, &MeasuringSession::trying, this, [this] {
            m_firstScanning = true;
            showSearching(m_set->searching());
        });
        connect(s, &MeasuringSession::scanned, this, [this](const ScanResult& scan) {
            m_firstScanning = false;
            showSearching(m_set->searching());
            if (!scan.connected) {
                m_instruments.front().view.state = InstrumentState::NotMeasuring;
                updateTile(0);
                searchWanted();
            }
        });
        connect(s, &MeasuringSession::measuring, this, &Instruments::searchWanted);
    }
}

void Instruments::updateState(int index)
{
    Instrument& i = m_instruments[std::size_t(index)];
    i.view.state = i.lost ? InstrumentState::Searching
        : i.logFailing    ? InstrumentState::LogProblem
                          : InstrumentState::Measuring;
    updateTile(index);
}

void Instruments::updateTile(int index)
{
    Instrument& i = m_instruments[std::size_t(index)];
    i.view.name = name(index);
    if (i.tile)
        i.tile->setView(i.view);
    if (index == m_shown && index != 0)
        showChosenStatus();
}

void Instruments::addInstruments()
{
    if (m_ending || m_set->searching() || m_firstScanning)
        return;
    m_userSearch = true;
    if (m_set->search())
        showSearching(true);
}

void Instruments::showSearching(bool searching)
{
    m_addButton->setEnabled(!searching && !m_firstScanning);
    m_addButton->setText(searching ? ByLanguage("Szukam…", "Searching…") : AddCaption());
    m_addAction->setEnabled(!searching && !m_firstScanning);
}

void Instruments::searched(const InstrumentSearch& search)
{
    showSearching(false);
    const bool told = m_userSearch;
    m_userSearch = false;
    if (m_ending || search.stopped)
        return;
    QStringList held;
    std::set<quint16> starting;
    for (const FoundInstrument& found : search.found) {
        const quint16 serial = found.version.serialNumber;
        if (const MeasuringSession* holder = m_set->holding(serial)) {
            held << ByLanguage("Przyrząd nr %1 (%2) jest już mierzony na porcie %3.",
                               "Instrument no. %1 (%2) is already measured on the port %3.")
                        .arg(serial)
                        .arg(QString::fromStdString(found.device), holder->device());
            continue;
        }
        // Reconnecting: only the units measured at the last close.
        if (!told && !m_wanted.contains(serial))
            continue;
        if (!starting.insert(serial).second)
            continue;
        m_wanted.erase(serial);
        startAdded(found);
    }
    if (!told) {
        QStringList missing;
        for (const quint16 serial : m_wanted)
            missing << QString::number(serial);
        m_wanted.clear();
        if (!missing.isEmpty())
            ShowNotice(ByLanguage("Nie znaleziono przyrządów: nr %1.", "Instruments not found: no. %1.")
                           .arg(missing.join(QStringLiteral(", "))));
        return;
    }
    if (!held.isEmpty())
        ShowNotice(held.join(QLatin1Char('\n')), QStringLiteral("instrumentHeld"));
    if (starting.empty() && held.isEmpty()) {
        ScanResult scan;
        scan.tried = m_set->freePorts();
        scan.denied = search.denied;
        ShowErrorReport(ByLanguage("Nie znaleziono nowego przyrządu.", "No new instrument found.") + QLatin1Char('\n')
                        + NoInstrumentText(scan));
    }
}

void Instruments::startAdded(const FoundInstrument& found)
{
    const quint16 serial = found.version.serialNumber;
    const QString folder = m_set->folderFor(serial);
    if (!QDir().mkpath(folder)) {
        ShowErrorReport(ByLanguage("Nie można utworzyć folderu %1", "Cannot create the folder %1")
                            .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    const std::unique_ptr<QSettings> stored = ProgramSettings();
    SessionOptions options;
    options.folder = folder;
    options.language = WindowLanguage;
    options.fallbackFolder = QDir::homePath();
    options.derived = LoadInstrumentDerived(*stored, serial, firstDerived());
    options.limits = LoadInstrumentLimits(*stored, serial);
    MeasuringSession* s = m_set->add(options);
    ApplyPublishPreferences(*s, *m_set, serial, false);
    readings::Lines* lines = NewLiveLines(this);
    s->setLines(lines);

    m_instruments.push_back(Instrument{s, lines});
    Instrument& added = m_instruments.back();
    added.device = QString::fromStdString(found.device);
    added.view.serialNumber = serial;
    added.view.state = InstrumentState::Connecting;
    follow(s);
    // Asked already: the unit's identification needs no box of its own.
    connect(s, &MeasuringSession::scanned, this, [this, s](const ScanResult& scan) {
        if (scan.connected) {
            s->readInstrument();
            return;
        }
        s->abandonConnect();
        const int index = indexOf(s);
        m_instruments[std::size_t(index)].view.state = InstrumentState::NotMeasuring;
        updateTile(index);
    });
    connect(s, &MeasuringSession::measuring, this, [this, s] { ProvideBrokerPassword(*s, this); });
    connect(s, &MeasuringSession::cannotMeasure, this, [](const QString& why) { ShowErrorReport(why); });
    m_window.alarms()->watchAlso(*s, [this, s] { return name(indexOf(s)); });

    ensurePage();
    added.tile = m_page->addTile();
    InstrumentTile* tile = added.tile;
    tile->setRemovable(true);
    connect(tile, &InstrumentTile::chosen, this, [this, s] { choose(indexOf(s)); });
    connect(tile, &InstrumentTile::renameAsked, this, [this, s] { askName(indexOf(s)); });
    connect(tile, &InstrumentTile::removeAsked, this, [this, s] { askRemove(indexOf(s)); });
    updateTile(indexOf(s));
    emit instrumentsChanged();
    s->connectInstrument({found.device});
}

void Instruments::ensurePage()
{
    if (m_page)
        return;
    // The overview appears with the second instrument, the first's tile first.
    m_page = new InstrumentsPage(m_window.PageControl1);
    m_page->setObjectName(QStringLiteral("instrumentsPage"));
    m_window.PageControl1->addTab(m_page, ByLanguage("Przyrządy", "Instruments"));
    Instrument& first = m_instruments.front();
    first.tile = m_page->addTile();
    first.tile->setChosen(m_shown == 0);
    connect(first.tile, &InstrumentTile::chosen, this, [this] { choose(0); });
    connect(first.tile, &InstrumentTile::renameAsked, this, [this] { askName(0); });
    updateTile(0);
}

void Instruments::choose(int index, bool toPage)
{
    if (index < 0 || index >= count())
        return;
    // The derived fields and lines show the shown instrument's choice; the first's comes back.
    DerivedPanel* derived = m_window.derived();
    if (m_shown == 0 && index != 0)
        m_firstDerived = derived->choice();
    if (index != 0)
        derived->setChoice(session(index)->options().derived);
    else if (m_shown != 0)
        derived->setChoice(m_firstDerived);
    m_shown = index;
    for (int i = 0; i < count(); ++i)
        if (InstrumentTile* tile = m_instruments[std::size_t(i)].tile)
            tile->setChosen(i == index);
    m_window.showLines(*lines(index));
    showChosenAlarms();
    showChosenReading();
    showChosenOld();
    showStatisticsName();
    if (index == 0)
        m_window.updateStatus();
    else
        showChosenStatus();
    if (toPage)
        m_window.PageControl1->setCurrentWidget(m_window.TabSheet3);
    emit chosen(index);
}

void Instruments::showChosenAlarms()
{
    AlarmPanel* alarms = m_window.alarms();
    if (m_shown == 0) {
        alarms->showSession(*session(0), {});  // the window's own keys
        return;
    }
    // Kept by serial number, as the next "Add instrument…" of the unit reads them.
    const quint16 serial = m_instruments[std::size_t(m_shown)].view.serialNumber;
    alarms->showSession(*session(m_shown), [serial](const AlarmPreferences& preferences) {
        SaveInstrumentLimits(*ProgramSettings(), serial, preferences);
    });
}

const DerivedChoice& Instruments::firstDerived() const
{
    return m_shown == 0 ? m_window.derived()->choice() : m_firstDerived;
}

void Instruments::setShownDerived(const DerivedChoice& choice)
{
    if (m_shown == 0)
        return;  // the window's own keys, its own dialog
    SaveInstrumentDerived(*ProgramSettings(), m_instruments[std::size_t(m_shown)].view.serialNumber, choice);
    session(m_shown)->setDerived(choice);
}

void Instruments::showChosenReading()
{
    const std::optional<SessionReading>& last = m_instruments[std::size_t(m_shown)].last;
    const Reading reading = last ? last->reading : Reading{};
    const bool silent = m_instruments[std::size_t(m_shown)].silentCycles > 0;
    ShowWhole(*m_window.Edit20, silent ? QStringLiteral("Error") : last ? reading.dewPointText : QString());
    ShowWhole(*m_window.Edit6, last ? reading.humidityText : QString());
    ShowWhole(*m_window.Edit14, last ? reading.ambientText : QString());
    m_window.Label35->setText(last ? reading.operatingTimeText : QString());
    if (last)
        m_window.derived()->showReading(reading);
}

void Instruments::showChosenOld()
{
    // The first's values are old as the window decides; another's as the same rule says:
    // while its session searches for it, or silent for a few cycles after a reading.
    const Instrument& shown = m_instruments[std::size_t(m_shown)];
    const bool old = m_shown == 0 ? m_window.m_valuesOld
                                  : shown.lost || (shown.last && shown.silentCycles > SilentCyclesStillLive);
    m_window.alarms()->setValueOld(limits::QuantityId::Humidity, old);
    m_window.alarms()->setValueOld(limits::QuantityId::Ambient, old);
    m_window.derived()->setOld(old);
}

void Instruments::showStatisticsName()
{
    if (StatisticsPanel* statistics = m_window.statistics())
        statistics->setInstrument(count() > 1 ? name(m_shown) : QString());
}

void Instruments::showChosenStatus()
{
    // Which instrument the page shows, and what the user must know about it.
    const Instrument& i = m_instruments[std::size_t(m_shown)];
    QStringList lines{name(m_shown)};
    if (i.view.state != InstrumentState::Measuring)
        lines << InstrumentStateText(i.view);
    m_window.Label36->setText(lines.join(QLatin1Char('\n')));
}

void Instruments::askName(int index)
{
    const quint16 serial = m_instruments[std::size_t(index)].view.serialNumber;
    if (serial == 0)
        return;  // named once it has answered
    auto* dialog = new QInputDialog(&m_window);
    dialog->setObjectName(QStringLiteral("instrumentName"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(ProgramTitle());
    dialog->setLabelText(ByLanguage("Nazwa przyrządu nr %1:", "Name of instrument no. %1:").arg(serial));
    dialog->setTextValue(LoadInstrumentName(*ProgramSettings(), serial));
    connect(dialog, &QInputDialog::textValueSelected, this, [this, serial](const QString& given) {
        SaveInstrumentName(*ProgramSettings(), serial, given);
        for (int i = 0; i < count(); ++i)
            updateTile(i);
        emit instrumentsChanged();
    });
    dialog->open();
}

void Instruments::askRemove(int index)
{
    if (index <= 0 || index >= count() || m_ending)
        return;
    auto* box = new QMessageBox(QMessageBox::Question, ProgramTitle(),
                                ByLanguage("Zakończyć pomiary przyrządu %1 i usunąć go z okna?\nJego pliki zostają w folderze %2.",
                                           "Stop measuring %1 and remove it from the window?\nIts files stay in the folder %2.")
                                    .arg(name(index), QDir::toNativeSeparators(session(index)->options().folder)),
                                QMessageBox::Yes | QMessageBox::No, &m_window);
    box->setObjectName(QStringLiteral("removeInstrument"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    MeasuringSession* s = session(index);
    connect(box, &QDialog::finished, this, [this, box, s](int result) {
        QAbstractButton* clicked = box->clickedButton();
        const bool yes = clicked ? box->standardButton(clicked) == QMessageBox::Yes : result == QDialog::Accepted;
        if (yes)
            remove(indexOf(s));
    });
    box->open();
}

void Instruments::remove(int index)
{
    if (index <= 0 || index >= count() || m_ending)
        return;
    // The page, the chart and a load under way let go of its lines first.
    if (m_shown == index)
        choose(0, false);
    m_window.stopLoadingInto(*lines(index));
    emit removing(index);
    Instrument& going = m_instruments[std::size_t(index)];
    MeasuringSession* s = going.session;
    m_window.alarms()->stopWatching(*s);
    s->disconnect(this);
    const SessionEnd ended = s->stop();
    if (going.tile)
        m_page->removeTile(going.tile);
    readings::Lines* lines = going.lines;
    m_instruments.erase(m_instruments.begin() + index);
    if (m_shown > index)
        --m_shown;
    m_set->remove(s);
    lines->deleteLater();
    // Its units are forgotten: the next start does not look for it.
    keepForNextStart();
    emit instrumentsChanged();
    QStringList notices;
    for (const QString& notice : {ended.lines, ended.events})
        if (!notice.isEmpty())
            notices << notice;
    if (!notices.isEmpty())
        ShowErrorReport(notices.join(QLatin1Char('\n')));
}

void Instruments::keepForNextStart()
{
    std::vector<KeptInstrument> kept;
    for (const Instrument& i : m_instruments)
        if (i.view.serialNumber != 0 && !i.session->device().isEmpty())
            kept.push_back({i.view.serialNumber, i.session->device()});
    // The first must be among them: it is the one that measures in the start folder.
    if (m_instruments.front().view.serialNumber == 0)
        kept.clear();
    const std::unique_ptr<QSettings> stored = ProgramSettings();
    if (kept.size() > 1 || stored->contains(QStringLiteral("lastInstruments/size")))
        SaveLastInstruments(*stored, kept);
}

bool Instruments::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window && event->type() == QEvent::Show && !m_offered) {
        m_offered = true;
        QTimer::singleShot(0, this, &Instruments::offerReconnect);
    }
    return QObject::eventFilter(watched, event);
}

void Instruments::offerReconnect()
{
    const std::vector<KeptInstrument> kept = LoadLastInstruments(*ProgramSettings());
    if (kept.size() < 2 || m_ending)
        return;
    QStringList names;
    for (const KeptInstrument& k : kept) {
        const QString given = LoadInstrumentName(*ProgramSettings(), k.serialNumber);
        const QString unit = DefaultName(k.serialNumber);
        names << QStringLiteral("%1 – %2").arg(given.isEmpty() ? unit : QStringLiteral("%1 (%2)").arg(unit, given), k.port);
    }
    auto* box = new QMessageBox(QMessageBox::Question, ProgramTitle(),
                                ByLanguage("Przy ostatnim zamknięciu mierzono:\n%1\n\nPołączyć ponownie wszystkie?",
                                           "At the last close these were measured:\n%1\n\nConnect all of them again?")
                                    .arg(names.join(QLatin1Char('\n'))),
                                QMessageBox::Yes | QMessageBox::No, &m_window);
    box->setObjectName(QStringLiteral("reconnectInstruments"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QDialog::finished, this, [this, box, kept](int result) {
        QAbstractButton* clicked = box->clickedButton();
        const bool yes = clicked ? box->standardButton(clicked) == QMessageBox::Yes : result == QDialog::Accepted;
        if (yes && !m_ending)
            reconnect(kept);
    });
    box->open();
}

void Instruments::reconnect(const std::vector<KeptInstrument>& kept)
{
    for (std::size_t i = 1; i < kept.size(); ++i) {
        m_wanted.insert(kept[i].serialNumber);
        m_wantedPorts.push_back(kept[i].port.toStdString());
    }
    // The first as Connect does it, its old port first; the others are looked for once
    // it has settled, so no search asks a port while it is scanned.
    if (!m_window.Connect->isEnabled() || m_instruments.front().session->poller()) {
        searchWanted();
        return;
    }
    // Its old port, then the usual ones, each device once: nothing is measured yet.
    m_window.startConnecting(m_set->freePorts({kept.front().port.toStdString()}));
}

void Instruments::searchWanted()
{
    if (m_wanted.empty() || m_ending || m_set->searching())
        return;
    // Their old ports first, even those the usual ports do not list.
    if (m_set->search(m_wantedPorts))
        showSearching(true);
    m_wantedPorts.clear();
}

QString Instruments::end()
{
    m_ending = true;
    QStringList notices;
    for (std::size_t i = 1; i < m_instruments.size(); ++i) {
        MeasuringSession* s = m_instruments[i].session;
        s->disconnect(this);
        const SessionEnd ended = s->stop();
        for (const QString& notice : {ended.lines, ended.events})
            if (!notice.isEmpty())
                notices << ErrorReportText(notice);
    }
    if (!m_instruments.empty())
        m_instruments.front().session->disconnect(this);
    return notices.join(QLatin1Char('\n'));
}

} // namespace hmx
