#include "ui/alarmpanel.h"

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

namespace hmx {

using limits::Level;
using limits::LimitEvent;
using limits::Millis;
using limits::QuantityId;

namespace {

constexpr std::chrono::minutes SoundRepeat{1};

QColor StatusColor(Level level)
{
    return level == Level::Alarm ? QColor(128, 0, 0) : QColor(128, 80, 0);
}

} // namespace

Millis AlarmPanel::Now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

AlarmPanel::AlarmPanel(QWidget* window, QWidget* page, const std::vector<Field>& fields, QRect limitsButton,
                       QRect acknowledgeButton, std::chrono::milliseconds joiningDistance)
    : QObject(window), m_window(window), m_title(window->windowTitle()), m_notifier(CreateNotifier(window))
{
    for (const Field& field : fields) {
        Watched& w = m_watched.try_emplace(field.quantity, limits::LimitWatch({}, joiningDistance.count()))
                         .first->second;
        w.edit = field.edit;
        w.look = std::make_unique<FieldLook>(field.edit);
        w.status = new QLabel(page);
        w.status->setObjectName(QStringLiteral("limitStatus_")
                                + QString::fromLatin1(limits::QuantityKey(field.quantity).data()));
        w.status->setGeometry(field.statusGeometry);
        w.status->setWordWrap(true);
        w.status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QFont font = w.status->font();
        font.setPixelSize(13);
        font.setBold(true);
        w.status->setFont(font);
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

    const std::unique_ptr<QSettings> stored = ProgramSettings();
    setPreferences(LoadAlarmPreferences(*stored));
}

AlarmPanel::~AlarmPanel() = default;

void AlarmPanel::setPreferences(const AlarmPreferences& preferences, Millis now)
{
    m_preferences = preferences;
    for (auto& [quantity, w] : m_watched) {
        handle(quantity, w, w.watch.setLimits(preferences.of(quantity), now), now);
        show(quantity, w);
    }
    showWindowState();
    emit limitsChanged();
}

void AlarmPanel::setInstrumentSettings(const SettingsValues& settings)
{
    m_instrumentRead = true;
    std::vector<InstrumentAlarm> alarms = InstrumentAlarms(settings);
    if (alarms == m_instrumentAlarms)
        return;
    m_instrumentAlarms = std::move(alarms);
    emit limitsChanged();
}

void AlarmPanel::observe(QuantityId quantity, double value, Millis now)
{
    const auto found = m_watched.find(quantity);
    if (found == m_watched.end())
        return;
    Watched& w = found->second;
    const limits::LimitEvents events = w.watch.update(value, now);
    if (events.empty())
        return;
    handle(quantity, w, events, now);
    show(quantity, w);
    showWindowState();
}

void AlarmPanel::handle(QuantityId quantity, Watched& w, const limits::LimitEvents& events, Millis now)
{
    // The periods past an alarm limit: from the first reading past it to the clearing.
    // Kept first, so that those told of the events see the periods they make.
    const limits::LimitStatus status = w.watch.status();
    const bool inAlarm = status.level == Level::Alarm;
    const bool wasInAlarm = !w.alarmPeriods.empty() && !w.alarmPeriods.back().end;
    if (inAlarm && !wasInAlarm)
        w.alarmPeriods.push_back({status.since, std::nullopt});
    else if (!inAlarm && wasInAlarm)
        w.alarmPeriods.back().end = now;

    const LimitEvent* worst = nullptr;
    for (const LimitEvent& e : events) {
        emit limitEvent(quantity, e);
        if (e.kind == LimitEvent::Kind::Crossed && (!worst || limits::LevelOf(e.bound) > limits::LevelOf(worst->bound)))
            worst = &e;
    }

    if (!worst)
        return;
    // Once per crossing: a reading past both the warning and the alarm limit tells of the alarm.
    const Level level = limits::LevelOf(worst->bound);
    m_notifier->notify(CrossingTitle(level), CrossingText(quantity, *worst));
    QApplication::alert(m_window);
    if (soundFor(level)) {
        sound();
        m_repeat.start();
    }
}

void AlarmPanel::show(QuantityId quantity, Watched& w)
{
    const limits::LimitStatus status = w.watch.status();
    w.look->setLimitLevel(status.level);
    w.status->setText(LimitStatusText(quantity, status));
    QPalette palette = w.status->palette();
    palette.setColor(QPalette::WindowText, StatusColor(status.level));
    w.status->setPalette(palette);
}

void AlarmPanel::showWindowState()
{
    bool crossed = false;
    bool waiting = false;
    for (const auto& [quantity, w] : m_watched) {
        crossed = crossed || w.watch.status().level != Level::None;
        waiting = waiting || w.watch.unacknowledged(Level::Alarm) || w.watch.unacknowledged(Level::Warning);
    }
    m_window->setWindowTitle(crossed ? QStringLiteral("⚠ ") + m_title : m_title);
    m_acknowledgeButton->setVisible(waiting);
}

void AlarmPanel::acknowledge(Millis now)
{
    for (auto& [quantity, w] : m_watched)
        acknowledge(quantity, w, now);
    showWindowState();
}

void AlarmPanel::acknowledge(QuantityId quantity, Millis now)
{
    const auto found = m_watched.find(quantity);
    if (found == m_watched.end())
        return;
    acknowledge(quantity, found->second, now);
    showWindowState();
}

void AlarmPanel::acknowledge(QuantityId quantity, Watched& w, Millis now)
{
    handle(quantity, w, w.watch.acknowledge(now), now);
    if (!soundWaiting())
        m_repeat.stop();
}

void AlarmPanel::readingsInterrupted()
{
    for (auto& [quantity, w] : m_watched)
        w.watch.interrupt();
}

void AlarmPanel::setValueOld(QuantityId quantity, bool old)
{
    const auto found = m_watched.find(quantity);
    if (found != m_watched.end())
        found->second.look->setOld(old);
}

limits::LimitStatus AlarmPanel::status(QuantityId quantity) const
{
    const auto found = m_watched.find(quantity);
    return found == m_watched.end() ? limits::LimitStatus{} : found->second.watch.status();
}

std::vector<limits::Period> AlarmPanel::alarmPeriods(QuantityId quantity) const
{
    const auto found = m_watched.find(quantity);
    return found == m_watched.end() ? std::vector<limits::Period>{} : found->second.alarmPeriods;
}

void AlarmPanel::openLimitsDialog()
{
    if (LimitsDialog* open = limitsDialog()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dialog = new LimitsDialog(m_preferences, m_instrumentRead, m_instrumentAlarms, m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        setPreferences(dialog->preferences());
        const std::unique_ptr<QSettings> stored = ProgramSettings();
        SaveAlarmPreferences(*stored, m_preferences);
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
    const auto found = m_watched.find(quantity);
    return found == m_watched.end() ? nullptr : found->second.status;
}

bool AlarmPanel::soundFor(Level level) const
{
    return level == Level::Alarm ? m_preferences.soundForAlarms : m_preferences.soundForWarnings;
}

bool AlarmPanel::soundWaiting() const
{
    for (const auto& [quantity, w] : m_watched) {
        for (const Level level : {Level::Alarm, Level::Warning}) {
            if (soundFor(level) && w.watch.unacknowledged(level))
                return true;
        }
    }
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
        for (auto& [quantity, w] : m_watched) {
            if (w.edit == watched && w.look->limitLevel() != Level::None) {
                acknowledge(quantity);
                break;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace hmx
