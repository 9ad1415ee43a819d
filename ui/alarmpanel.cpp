#include "ui/alarmpanel.h"

#include "session/measuringsession.h"
#include "ui/alarmtexts.h"
#include "ui/language.h"
#include "ui/limitsdialog.h"
#include "ui/notifier.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStringList>

#include <set>

namespace hmx {

using limits::Level;
using limits::LimitEvent;
using limits::QuantityId;

namespace {

constexpr std::chrono::minutes SoundRepeat{1};

QColor StatusColor(Level level)
{
    return level == Level::Alarm ? QColor(128, 0, 0) : QColor(128, 80, 0);
}

} // namespace

AlarmPanel::AlarmPanel(QWidget* window, QWidget* page, const std::vector<Field>& fields, QRect limitsButton,
                       QRect acknowledgeButton, MeasuringSession& session)
    : QObject(window), m_window(window), m_title(window->windowTitle()), m_session(session), m_showing(&session),
      m_notifier(CreateNotifier(window))
{
    for (const Field& field : fields) {
        Shown& s = m_shown[field.quantity];
        s.edit = field.edit;
        s.look = std::make_unique<FieldLook>(field.edit);
        s.status = new QLabel(page);
        s.status->setObjectName(QStringLiteral("limitStatus_")
                                + QString::fromLatin1(limits::QuantityKey(field.quantity).data()));
        s.status->setGeometry(field.statusGeometry);
        s.status->setWordWrap(true);
        s.status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QFont font = s.status->font();
        font.setPixelSize(13);
        font.setBold(true);
        s.status->setFont(font);
        field.edit->installEventFilter(this);
    }

    m_limitsButton = new QPushButton(ByLanguage("Limity…", "Limits…"), page);
    m_limitsButton->setObjectName(QStringLiteral("LimitsButton"));
    m_limitsButton->setGeometry(limitsButton);
    connect(m_limitsButton, &QPushButton::clicked, this, &AlarmPanel::openLimitsDialog);

    m_acknowledgeButton = new QPushButton(ByLanguage("Potwierdź", "Acknowledge"), page);
    m_acknowledgeButton->setObjectName(QStringLiteral("AcknowledgeButton"));
    m_acknowledgeButton->setGeometry(acknowledgeButton);
    QFont large = m_acknowledgeButton->font();  // as large as "Połącz" beside it
    large.setPixelSize(16);
    m_acknowledgeButton->setFont(large);
    m_acknowledgeButton->setToolTip(ByLanguage("Wycisza alarm; kolory zostają, dopóki odczyt nie wróci w granice",
                                               "Silences the alarm; the colours stay until the reading is back inside"));
    m_acknowledgeButton->hide();
    connect(m_acknowledgeButton, &QPushButton::clicked, this, [this] { acknowledge(); });

    m_repeat.setInterval(SoundRepeat);
    connect(&m_repeat, &QTimer::timeout, this, [this] {
        if (soundWaiting())
            sound();
        else
            m_repeat.stop();
    });

    connect(&session, &MeasuringSession::limitEvents, this, &AlarmPanel::handle);
    connect(&session, &MeasuringSession::limitsChanged, this, [this] { limitsChangedIn(&m_session); });
    const std::unique_ptr<QSettings> stored = ProgramSettings();
    setPreferences(LoadAlarmPreferences(*stored));
}

AlarmPanel::~AlarmPanel() = default;

const LimitWatches& AlarmPanel::watches() const
{
    return m_showing->limits();
}

void AlarmPanel::setPreferences(const AlarmPreferences& preferences)
{
    m_showing->setLimits(preferences);  // its events and the new limits come back as signals
}

void AlarmPanel::showSession(MeasuringSession& session, SaveLimits save)
{
    m_save = std::move(save);
    if (&session == m_showing)
        return;
    // An open dialog holds the limits of the instrument shown before.
    if (LimitsDialog* open = limitsDialog())
        open->close();
    m_showing = &session;
    showAll();
    emit limitEventsShown();
}

void AlarmPanel::limitsChangedIn(const MeasuringSession* from)
{
    if (from == m_showing)
        showAll();
    else
        showWindowState();
}

void AlarmPanel::showTouched(const MeasuringSession* from, const QuantityLimitEvents& events)
{
    if (from != m_showing)
        return;
    std::set<QuantityId> touched;
    for (const QuantityLimitEvent& e : events)
        touched.insert(e.quantity);
    for (const QuantityId quantity : touched) {
        if (const auto found = m_shown.find(quantity); found != m_shown.end())
            show(quantity, found->second);
    }
}

void AlarmPanel::showAll()
{
    for (auto& [quantity, s] : m_shown)
        show(quantity, s);
    showWindowState();
    emit limitsChanged();
}

void AlarmPanel::handle(const QuantityLimitEvents& events)
{
    showTouched(&m_session, events);
    showWindowState();
    if (m_showing == &m_session)
        emit limitEventsShown();
    notifyCrossings(events, m_session.limits(), QString());
}

void AlarmPanel::watchAlso(MeasuringSession& session, std::function<QString()> name)
{
    m_others.push_back({&session, std::move(name)});
    MeasuringSession* s = &session;
    connect(s, &MeasuringSession::limitEvents, this, [this, s](const QuantityLimitEvents& events) {
        for (const Other& other : m_others)
            if (other.session == s)
                handleOther(other, events);
    });
    connect(s, &MeasuringSession::limitsChanged, this, [this, s] { limitsChangedIn(s); });
}

void AlarmPanel::stopWatching(MeasuringSession& session)
{
    std::erase_if(m_others, [&session](const Other& other) { return other.session == &session; });
    session.disconnect(this);
    if (!soundWaiting())
        m_repeat.stop();
    showWindowState();
}

void AlarmPanel::handleOther(const Other& other, const QuantityLimitEvents& events)
{
    showTouched(other.session, events);
    showWindowState();
    if (m_showing == other.session)
        emit limitEventsShown();
    notifyCrossings(events, other.session->limits(), other.name());
}

void AlarmPanel::notifyCrossings(const QuantityLimitEvents& events, const LimitWatches& watches, const QString& name)
{
    std::map<QuantityId, const LimitEvent*> worst;
    for (const QuantityLimitEvent& e : events) {
        const LimitEvent*& w = worst[e.quantity];
        if (e.event.kind == LimitEvent::Kind::Crossed && (!w || limits::LevelOf(e.event.bound) > limits::LevelOf(w->bound)))
            w = &e.event;
    }
    // Once per crossing: a reading past both the warning and the alarm limit tells of the alarm.
    for (const auto& [quantity, crossed] : worst) {
        if (!crossed)
            continue;
        const Level level = limits::LevelOf(crossed->bound);
        const QString text = CrossingText(quantity, *crossed);
        m_notifier->notify(CrossingTitle(level), name.isEmpty() ? text : name + QStringLiteral(": ") + text);
        QApplication::alert(m_window);
        if (soundFor(watches, level)) {
            sound();
            m_repeat.start();
        }
    }
}

void AlarmPanel::show(QuantityId quantity, Shown& s)
{
    const limits::LimitStatus status = watches().status(quantity);
    s.look->setLimitLevel(status.level);
    s.status->setText(LimitStatusText(quantity, status));
    QPalette palette = s.status->palette();
    palette.setColor(QPalette::WindowText, StatusColor(status.level));
    s.status->setPalette(palette);
}

void AlarmPanel::showWindowState()
{
    // The first instrument's, whichever is shown.
    const LimitWatches& first = m_session.limits();
    bool waiting = first.unacknowledged(Level::Alarm) || first.unacknowledged(Level::Warning);
    // Other instruments past a limit are named in the title; the first alone keeps it as it is.
    QStringList others;
    for (const Other& other : m_others) {
        const LimitWatches& w = other.session->limits();
        waiting = waiting || w.unacknowledged(Level::Alarm) || w.unacknowledged(Level::Warning);
        if (w.crossed())
            others << other.name();
    }
    QString title = m_title;
    if (!others.isEmpty())
        title += QStringLiteral(" – ") + others.join(QStringLiteral(", "));
    m_window->setWindowTitle(first.crossed() || !others.isEmpty() ? QStringLiteral("⚠ ") + title : title);
    m_acknowledgeButton->setVisible(waiting);
}

void AlarmPanel::acknowledge()
{
    m_session.acknowledge();
    for (const Other& other : m_others)
        other.session->acknowledge();
    if (!soundWaiting())
        m_repeat.stop();
    showWindowState();
}

void AlarmPanel::acknowledge(QuantityId quantity)
{
    m_showing->acknowledge(quantity);
    if (!soundWaiting())
        m_repeat.stop();
    showWindowState();
}

void AlarmPanel::setValueOld(QuantityId quantity, bool old)
{
    const auto found = m_shown.find(quantity);
    if (found != m_shown.end())
        found->second.look->setOld(old);
}

limits::LimitStatus AlarmPanel::status(QuantityId quantity) const
{
    return watches().status(quantity);
}

std::vector<limits::Period> AlarmPanel::alarmPeriods(QuantityId quantity) const
{
    return watches().alarmPeriods(quantity);
}

void AlarmPanel::openLimitsDialog()
{
    if (LimitsDialog* open = limitsDialog()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dialog = new LimitsDialog(watches().preferences(), watches().instrumentRead(), watches().instrumentAlarms(),
                                    m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        setPreferences(dialog->preferences());
        if (m_save) {
            m_save(watches().preferences());
            return;
        }
        const std::unique_ptr<QSettings> stored = ProgramSettings();
        SaveAlarmPreferences(*stored, watches().preferences());
    });
    dialog->open();
}

LimitsDialog* AlarmPanel::limitsDialog() const
{
    return m_window->findChild<LimitsDialog*>(QString(), Qt::FindDirectChildrenOnly);
}

void AlarmPanel::setRepeatInterval(std::chrono::milliseconds interval)
{
    m_repeat.setInterval(interval);
}

QLabel* AlarmPanel::statusLabel(QuantityId quantity) const
{
    const auto found = m_shown.find(quantity);
    return found == m_shown.end() ? nullptr : found->second.status;
}

bool AlarmPanel::soundFor(Level level) const
{
    return soundFor(watches(), level);
}

bool AlarmPanel::soundFor(const LimitWatches& watches, Level level)
{
    return level == Level::Alarm ? watches.preferences().soundForAlarms : watches.preferences().soundForWarnings;
}

bool AlarmPanel::soundWaiting(const LimitWatches& watches)
{
    for (const Level level : {Level::Alarm, Level::Warning}) {
        if (soundFor(watches, level) && watches.unacknowledged(level))
            return true;
    }
    return false;
}

bool AlarmPanel::soundWaiting() const
{
    if (soundWaiting(m_session.limits()))
        return true;
    for (const Other& other : m_others)
        if (soundWaiting(other.session->limits()))
            return true;
    return false;
}

void AlarmPanel::sound()
{
    QApplication::beep();
    emit soundPlayed();
}

bool AlarmPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        for (auto& [quantity, s] : m_shown) {
            if (s.edit == watched && s.look->limitLevel() != Level::None) {
                acknowledge(quantity);
                break;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace hmx
