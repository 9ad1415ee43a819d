#include "ui/limitsdialog.h"

#include "instrument/settings.h"
#include "ui/alarmtexts.h"
#include "ui/language.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <tuple>

namespace hmx {

using limits::Bound;
using limits::QuantityId;

namespace {

QString BoundColumn(Bound b)
{
    switch (b) {
    case Bound::AlarmLow: return ByLanguage("Alarm\ndolny", "Lower\nalarm");
    case Bound::WarningLow: return ByLanguage("Ostrzeżenie\ndolne", "Lower\nwarning");
    case Bound::WarningHigh: return ByLanguage("Ostrzeżenie\ngórne", "Upper\nwarning");
    case Bound::AlarmHigh: return ByLanguage("Alarm\ngórny", "Upper\nalarm");
    }
    return {};
}

QString FieldName(QuantityId quantity, const char* part)
{
    return QString::fromLatin1(limits::QuantityKey(quantity).data()) + QLatin1Char('.') + QLatin1String(part);
}

} // namespace

LimitsDialog::LimitsDialog(const AlarmPreferences& preferences, bool instrumentRead,
                           std::vector<InstrumentAlarm> instrumentAlarms, QWidget* parent)
    : QDialog(parent), m_instrumentAlarms(std::move(instrumentAlarms)), m_result(preferences)
{
    setObjectName(QStringLiteral("limitsDialog"));
    setWindowTitle(ByLanguage("Limity", "Limits"));

    auto* grid = new QGridLayout;
    int column = 1;
    for (const Bound b : limits::AllBounds)
        grid->addWidget(new QLabel(BoundColumn(b)), 0, column++, Qt::AlignCenter);
    grid->addWidget(new QLabel(ByLanguage("Histereza", "Hysteresis")), 0, column++, Qt::AlignCenter);
    grid->addWidget(new QLabel(ByLanguage("Opóźnienie\n[s]", "Delay\n[s]")), 0, column, Qt::AlignCenter);

    int row = 1;
    const auto field = [this](const QString& name) {
        auto* edit = new QLineEdit;
        edit->setObjectName(name);
        edit->setFixedWidth(72);
        connect(edit, &QLineEdit::textEdited, this, [this] { m_problem->clear(); });
        return edit;
    };
    for (const limits::QuantityInfo& q : limits::MeasuredQuantities) {
        grid->addWidget(new QLabel(QStringLiteral("%1 [%2]").arg(QuantityName(q.id), QuantityUnit(q.id))), row, 0);
        Row& r = m_rows[q.id];
        column = 1;
        const char* keys[] = {"alarmLow", "warningLow", "warningHigh", "alarmHigh"};
        for (const Bound b : limits::AllBounds) {
            r.bounds[b] = field(FieldName(q.id, keys[int(b)]));
            grid->addWidget(r.bounds[b], row, column++);
        }
        r.hysteresis = field(FieldName(q.id, "hysteresis"));
        grid->addWidget(r.hysteresis, row, column++);
        r.delay = field(FieldName(q.id, "delay"));
        grid->addWidget(r.delay, row, column);
        fill(q.id, preferences.of(q.id));
        ++row;
    }

    m_soundForAlarms = new QCheckBox(ByLanguage("Dźwięk przy alarmie (co minutę do potwierdzenia)",
                                                "Sound for alarms (every minute until acknowledged)"));
    m_soundForAlarms->setChecked(preferences.soundForAlarms);
    m_soundForWarnings = new QCheckBox(ByLanguage("Dźwięk przy ostrzeżeniu", "Sound for warnings"));
    m_soundForWarnings->setChecked(preferences.soundForWarnings);

    m_copy = new QPushButton(ByLanguage("Przepisz progi alarmów z urządzenia", "Copy the instrument's alarm thresholds"));
    m_copy->setObjectName(QStringLiteral("copyInstrumentAlarms"));
    bool copyable = false;
    for (const InstrumentAlarm& alarm : m_instrumentAlarms)
        copyable = copyable || CanCopy(alarm);
    m_copy->setEnabled(copyable);
    if (!instrumentRead)
        m_copy->setToolTip(ByLanguage("Progi urządzenia są odczytywane przy połączeniu.",
                                      "The instrument's thresholds are read when connecting."));
    else if (!copyable)
        m_copy->setToolTip(ByLanguage("Żaden alarm urządzenia nie dotyczy wielkości pokazywanych przez program.",
                                      "None of the instrument's alarms is on a quantity this program shows."));
    connect(m_copy, &QPushButton::clicked, this, &LimitsDialog::copyInstrumentAlarms);

    auto* help = new QLabel(ByLanguage("Puste pole: bez tego progu. Próg jest przekroczony, gdy odczyt leży za nim "
                                       "dłużej niż opóźnienie; przestaje nim być, gdy wróci o histerezę.",
                                       "An empty field: no such limit. A limit is crossed when the reading stays past "
                                       "it for the delay; it clears when the reading is back inside by the hysteresis."));
    help->setWordWrap(true);

    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    QPalette palette = m_problem->palette();
    palette.setColor(QPalette::WindowText, QColor(128, 0, 0));
    m_problem->setPalette(palette);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(ByLanguage("Anuluj", "Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &LimitsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LimitsDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(help);
    layout->addWidget(m_soundForAlarms);
    layout->addWidget(m_soundForWarnings);
    layout->addWidget(m_copy, 0, Qt::AlignLeft);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

QString LimitsDialog::problem() const
{
    return m_problem->text();
}

void LimitsDialog::fill(QuantityId quantity, const limits::Limits& l)
{
    Row& r = m_rows.at(quantity);
    for (const Bound b : limits::AllBounds)
        r.bounds[b]->setText(l[b] ? LimitNumberText(*l[b]) : QString());
    r.hysteresis->setText(l.hysteresis != 0 ? LimitNumberText(l.hysteresis) : QString());
    r.delay->setText(l.delaySeconds != 0 ? LimitNumberText(l.delaySeconds) : QString());
}

void LimitsDialog::copyInstrumentAlarms()
{
    for (const InstrumentAlarm& alarm : m_instrumentAlarms) {
        if (!CanCopy(alarm) || !m_rows.count(alarm.quantity))
            continue;
        // What the fields say now, so limits typed meanwhile stay; unreadable fields start empty.
        limits::Limits current;
        const Row& r = m_rows.at(alarm.quantity);
        for (const Bound b : limits::AllBounds) {
            try {
                if (!r.bounds.at(b)->text().trimmed().isEmpty())
                    current[b] = TextToTenths(r.bounds.at(b)->text()) / 10.0;
            } catch (const ConversionError&) {
            }
        }
        fill(alarm.quantity, CopyAlarm(alarm, current));
    }
    m_problem->clear();
}

void LimitsDialog::refuse(const QString& message, QLineEdit* field)
{
    m_problem->setText(message);
    if (field) {
        field->setFocus();
        field->selectAll();
    }
}

std::optional<limits::Limits> LimitsDialog::read(QuantityId quantity)
{
    Row& r = m_rows.at(quantity);
    limits::Limits l;
    // The settings page's rules: digits, an optional '-' and the locale's decimal separator.
    const auto number = [&](QLineEdit* edit, const QString& name) -> std::optional<double> {
        const QString text = edit->text();
        try {
            return TextToTenths(text) / 10.0;
        } catch (const ConversionError& e) {
            const QString what = e.kind() == ConversionError::Kind::Range
                ? ByLanguage("'%1' jest poza dozwolonym zakresem od %2 do %3",
                             "'%1' is outside the allowed range %2 to %3")
                      .arg(text, e.low(), e.high())
                : ByLanguage("'%1' nie jest liczbą", "'%1' is not a number").arg(text);
            refuse(QStringLiteral("%1, %2: %3.").arg(QuantityName(quantity), name, what), edit);
            return std::nullopt;
        }
    };
    for (const Bound b : limits::AllBounds) {
        QLineEdit* edit = r.bounds.at(b);
        if (edit->text().isEmpty())
            continue;
        l[b] = number(edit, BoundName(b));
        if (!l[b])
            return std::nullopt;
    }
    for (auto [edit, value, name] : {std::tuple{r.hysteresis, &l.hysteresis, ByLanguage("histereza", "hysteresis")},
                                     std::tuple{r.delay, &l.delaySeconds, ByLanguage("opóźnienie", "delay")}}) {
        if (edit->text().isEmpty())
            continue;
        const std::optional<double> read = number(edit, name);
        if (!read)
            return std::nullopt;
        *value = *read;
    }
    if (const limits::LimitCheck check = limits::Validate(l); !check) {
        QLineEdit* field = check.problem == limits::LimitCheck::Problem::NegativeHysteresis ? r.hysteresis
            : check.problem == limits::LimitCheck::Problem::NegativeDelay                   ? r.delay
                                                                                            : r.bounds.at(check.bound);
        refuse(LimitCheckText(quantity, check), field);
        return std::nullopt;
    }
    return l;
}

void LimitsDialog::accept()
{
    AlarmPreferences result;
    for (const limits::QuantityInfo& q : limits::MeasuredQuantities) {
        const std::optional<limits::Limits> l = read(q.id);
        if (!l)
            return;  // the dialog stays open with the message
        if (l->any())
            result.limits[q.id] = *l;
    }
    result.soundForAlarms = m_soundForAlarms->isChecked();
    result.soundForWarnings = m_soundForWarnings->isChecked();
    m_result = result;
    m_problem->clear();
    QDialog::accept();
}

} // namespace hmx
