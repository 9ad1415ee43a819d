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

#include <cmath>
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

// Limits and the hysteresis to a hundredth, the delay to a tenth of a second.
constexpr int LimitDecimals = 2;
constexpr int DelayDecimals = 1;
// The limits' range, as the settings page takes temperatures.
constexpr double LowestLimit = -3276.8;
constexpr double HighestLimit = 3276.7;

double ToHundredths(double value)
{
    return std::round(value * 100.0) / 100.0;
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
        showValue(r.bounds[b], l[b]);
    showValue(r.hysteresis, l.hysteresis != 0 ? std::optional(l.hysteresis) : std::nullopt);
    showValue(r.delay, l.delaySeconds != 0 ? std::optional(l.delaySeconds) : std::nullopt);
}

void LimitsDialog::showValue(QLineEdit* edit, std::optional<double> value)
{
    if (!value) {
        edit->clear();
        m_shown.erase(edit);
        return;
    }
    // Every digit the value has, so that OK on an untouched field changes nothing.
    const QString text = NumberToText(*value);
    edit->setText(text);
    m_shown[edit] = {text, *value};
}

std::optional<double> LimitsDialog::untouched(const QLineEdit* edit) const
{
    const auto shown = m_shown.find(edit);
    return shown != m_shown.end() && shown->second.text == edit->text() ? std::optional(shown->second.value)
                                                                         : std::nullopt;
}

std::optional<double> LimitsDialog::value(const QLineEdit* edit) const
{
    if (const std::optional<double> kept = untouched(edit))
        return kept;
    const QString text = edit->text();
    try {
        return text.isEmpty() ? std::nullopt : std::optional(TextToNumber(text).value);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

void LimitsDialog::copyInstrumentAlarms()
{
    const double unreadable = std::nan("");
    const auto same = [](std::optional<double> a, std::optional<double> b) {
        return a.has_value() == b.has_value() && (!a || *a == *b || (std::isnan(*a) && std::isnan(*b)));
    };
    for (const InstrumentAlarm& alarm : m_instrumentAlarms) {
        if (!CanCopy(alarm) || !m_rows.count(alarm.quantity))
            continue;
        // What the fields say now, an unreadable one as NaN, so that any value the copy
        // puts there differs from it.
        const Row& r = m_rows.at(alarm.quantity);
        limits::Limits current;
        for (const Bound b : limits::AllBounds) {
            if (!r.bounds.at(b)->text().isEmpty())
                current[b] = value(r.bounds.at(b)).value_or(unreadable);
        }
        if (!r.hysteresis->text().isEmpty())
            current.hysteresis = value(r.hysteresis).value_or(unreadable);
        // Only the fields the copy sets change, to a hundredth as they take it; the
        // others keep what they say, readable or not.
        const limits::Limits copied = CopyAlarm(alarm, current);
        for (const Bound b : limits::AllBounds) {
            if (!same(copied[b], current[b]))
                showValue(r.bounds.at(b), copied[b] ? std::optional(ToHundredths(*copied[b])) : std::nullopt);
        }
        if (!same(copied.hysteresis, current.hysteresis))
            showValue(r.hysteresis, copied.hysteresis != 0 ? std::optional(ToHundredths(copied.hysteresis)) : std::nullopt);
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
    // The settings page's rules: digits, an optional '-' and the locale's decimal
    // separator; no more decimals than the field takes, no digit of them rounded away.
    const auto number = [&](QLineEdit* edit, const QString& name, int decimals) -> std::optional<double> {
        if (const std::optional<double> kept = untouched(edit))
            return kept;
        const QString text = edit->text();
        const auto refused = [&](const QString& what) -> std::optional<double> {
            refuse(QStringLiteral("%1, %2: %3.").arg(QuantityName(quantity), name, what), edit);
            return std::nullopt;
        };
        TypedNumber typed;
        try {
            typed = TextToNumber(text);
        } catch (const ConversionError&) {
            return refused(ByLanguage("'%1' nie jest liczbą", "'%1' is not a number").arg(text));
        }
        if (typed.decimals > decimals)
            return refused(ByLanguage("'%1' ma za dużo miejsc po przecinku (najwyżej %2)",
                                      "'%1' has too many decimals (at most %2)")
                               .arg(text, QString::number(decimals)));
        // The delay has a range of its own, which Validate checks.
        if (edit != r.delay && !(typed.value >= LowestLimit && typed.value <= HighestLimit))
            return refused(ByLanguage("'%1' jest poza dozwolonym zakresem od %2 do %3",
                                      "'%1' is outside the allowed range %2 to %3")
                               .arg(text, NumberToText(LowestLimit), NumberToText(HighestLimit)));
        return typed.value;
    };
    for (const Bound b : limits::AllBounds) {
        QLineEdit* edit = r.bounds.at(b);
        if (edit->text().isEmpty())
            continue;
        l[b] = number(edit, BoundName(b), LimitDecimals);
        if (!l[b])
            return std::nullopt;
    }
    for (auto [edit, value, name, decimals] :
         {std::tuple{r.hysteresis, &l.hysteresis, ByLanguage("histereza", "hysteresis"), LimitDecimals},
          std::tuple{r.delay, &l.delaySeconds, ByLanguage("opóźnienie", "delay"), DelayDecimals}}) {
        if (edit->text().isEmpty())
            continue;
        const std::optional<double> read = number(edit, name, decimals);
        if (!read)
            return std::nullopt;
        *value = *read;
    }
    if (const limits::LimitCheck check = limits::Validate(l); !check) {
        using Problem = limits::LimitCheck::Problem;
        QLineEdit* field = check.problem == Problem::NegativeHysteresis ? r.hysteresis
            : check.problem == Problem::NegativeDelay || check.problem == Problem::DelayTooLong ? r.delay
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
