#include "ui/humiditydialog.h"

#include "humidity/units.h"
#include "ui/language.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <cmath>
#include <optional>

namespace hmx {

namespace {

using humidity::Quantity;

// The rows of results: a quantity and, for temperatures, the same in °F beside it.
struct Row {
    Quantity quantity;
    std::optional<Quantity> fahrenheit;
};
constexpr Row Rows[] = {
    {Quantity::Temperature, Quantity::TemperatureF},
    {Quantity::DewPoint, Quantity::DewPointF},
    {Quantity::FrostPoint, Quantity::FrostPointF},
    {Quantity::DewPointAtSecondPressure, Quantity::DewPointAtSecondPressureF},
    {Quantity::Depression, Quantity::DepressionF},
    {Quantity::WetBulb, Quantity::WetBulbF},
    {Quantity::RelativeHumidity, std::nullopt},
    {Quantity::RelativeHumidityIce, std::nullopt},
    {Quantity::WaterActivity, std::nullopt},
    {Quantity::VapourPressure, std::nullopt},
    {Quantity::SaturationVapourPressure, std::nullopt},
    {Quantity::AbsoluteHumidity, std::nullopt},
    {Quantity::MixingRatio, std::nullopt},
    {Quantity::SpecificHumidity, std::nullopt},
    {Quantity::VolumeRatio, std::nullopt},
    {Quantity::MassRatio, std::nullopt},
    {Quantity::Enthalpy, std::nullopt},
};

QString Utf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString Name(Quantity q)
{
    const humidity::QuantityInfo& info = humidity::Info(q);
    return Utf8(InterfaceLanguage == 0 ? info.polish : info.english);
}

// A number typed in the user's locale, or with '.' as scripts write it.
std::optional<double> Number(const QString& text)
{
    bool ok = false;
    double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

// The user's locale without thousands separators, which only clutter a field.
QLocale Locale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

QString Shown(double value, int decimals)
{
    // Values too small for the usual decimals keep four significant digits instead.
    if (value != 0 && std::abs(value) < std::pow(10.0, 1 - decimals))
        return Locale().toString(value, 'g', 4);
    return Locale().toString(value, 'f', decimals);
}

QLabel* ValueLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(90);
    return label;
}

const QString SettingsGroup = QStringLiteral("calculator/");

// Why the inputs describe no air, naming the input at fault and its range.
QString Refused(const humidity::State& state, humidity::Input input, const QString& inputName)
{
    using humidity::Refusal;
    const QString unit = Utf8(humidity::Info(humidity::QuantityOf(input)).unit);
    switch (state.refusal()) {
    case Refusal::None:
        return {};
    case Refusal::Temperature:
        return ByLanguage("Temperatura powietrza poza zakresem: od -50 do 100 °C.",
                          "Air temperature out of range: -50 to 100 °C.");
    case Refusal::Pressure:
        return ByLanguage("Ciśnienie poza zakresem: powyżej 0, do 2 MPa (bezwzględnego).",
                          "Pressure out of range: above 0, up to 2 MPa absolute.");
    case Refusal::SecondPressure:
        return ByLanguage("Drugie ciśnienie poza zakresem: powyżej 0, do 2 MPa (bezwzględnego).",
                          "Second pressure out of range: above 0, up to 2 MPa absolute.");
    case Refusal::NotComputed:
    case Refusal::MolarMass:  // the dialog computes for air
        break;
    case Refusal::Humidity: {
        const humidity::InputRange range = humidity::RangeOf(input);
        if (!std::isfinite(range.high))
            return ByLanguage("%1: musi być większa od zera.", "%1: must be above zero.").arg(inputName);
        return ByLanguage("%1 poza zakresem: od %2 do %3 %4.", "%1 out of range: %2 to %3 %4.")
            .arg(inputName, Locale().toString(range.low), Locale().toString(range.high), unit);
    }
    case Refusal::TotalPressure:
        return ByLanguage("%1: ciśnienie cząstkowe pary wodnej sięgałoby ciśnienia całkowitego.",
                          "%1: the water vapour pressure would reach the total pressure.")
            .arg(inputName);
    case Refusal::AboveSaturation: {
        const humidity::Quantity q = humidity::QuantityOf(input);
        const QString limit = Shown(*state.inputLimit(), humidity::Info(q).decimals);
        return ByLanguage("%1 powyżej stanu nasycenia w temperaturze powietrza: najwyżej %2 %3.",
                          "%1 above saturation at the air temperature: at most %2 %3.")
            .arg(inputName, limit, unit);
    }
    }
    return ByLanguage("Dane poza zakresem.", "Out of range.");
}

} // namespace

HumidityDialog::HumidityDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(ByLanguage("Kalkulator wilgotności", "Humidity calculator"));
    auto* layout = new QVBoxLayout(this);

    auto* inputs = new QGridLayout;
    layout->addLayout(inputs);
    m_temperature = new QLineEdit(this);
    inputs->addWidget(new QLabel(ByLanguage("Temperatura powietrza [°C]", "Air temperature [°C]"), this), 0, 0);
    inputs->addWidget(m_temperature, 0, 1);

    m_input = new QComboBox(this);
    for (std::size_t k = 0; k < humidity::InputCount; ++k) {
        const Quantity q = humidity::QuantityOf(humidity::Input(k));
        m_input->addItem(QStringLiteral("%1 [%2]").arg(Name(q), Utf8(humidity::Info(q).unit)));
    }
    m_value = new QLineEdit(this);
    inputs->addWidget(m_input, 1, 0);
    inputs->addWidget(m_value, 1, 1);

    const QString pressureNames[] = {ByLanguage("Ciśnienie", "Pressure"),
                                     ByLanguage("Drugie ciśnienie (opcjonalnie)", "Second pressure (optional)")};
    for (int i = 0; i < 2; ++i) {
        m_pressure[i] = new QLineEdit(this);
        m_unit[i] = new QComboBox(this);
        for (const humidity::PressureUnit& unit : humidity::PressureUnits())
            m_unit[i]->addItem(Utf8(unit.name));
        inputs->addWidget(new QLabel(pressureNames[i], this), 2 + i, 0);
        inputs->addWidget(m_pressure[i], 2 + i, 1);
        inputs->addWidget(m_unit[i], 2 + i, 2);
    }

    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    QPalette statusPalette = m_status->palette();
    statusPalette.setColor(QPalette::WindowText, QColor(128, 0, 0));
    m_status->setPalette(statusPalette);
    layout->addWidget(m_status);

    auto* results = new QGridLayout;
    layout->addLayout(results);
    int line = 0;
    for (const Row& row : Rows) {
        results->addWidget(new QLabel(Name(row.quantity), this), line, 0);
        m_shown[std::size_t(row.quantity)] = ValueLabel(this);
        results->addWidget(m_shown[std::size_t(row.quantity)], line, 1);
        results->addWidget(new QLabel(Utf8(humidity::Info(row.quantity).unit), this), line, 2);
        if (row.fahrenheit) {
            m_shown[std::size_t(*row.fahrenheit)] = ValueLabel(this);
            results->addWidget(m_shown[std::size_t(*row.fahrenheit)], line, 3);
            results->addWidget(new QLabel(Utf8(humidity::Info(*row.fahrenheit).unit), this), line, 4);
        }
        ++line;
    }

    // Metrologists ask which equations are used.
    auto* formulas = new QLabel(ByLanguage("Ciśnienie pary nasyconej: Sonntag (1990); współczynnik wzmocnienia: "
                                           "Greenspan (1976), współczynniki ITS-90 Hardy'ego (1998).",
                                           "Saturation vapour pressure: Sonntag (1990); enhancement factor: "
                                           "Greenspan (1976), Hardy's ITS-90 coefficients (1998)."),
                                this);
    formulas->setWordWrap(true);
    layout->addWidget(formulas);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(ByLanguage("Zamknij", "Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // The last inputs, or a room at sea level.
    const QSettings settings;
    const QLocale locale = Locale();
    m_temperature->setText(settings.value(SettingsGroup + QStringLiteral("temperature"), locale.toString(20.0, 'f', 1)).toString());
    m_input->setCurrentIndex(settings.value(SettingsGroup + QStringLiteral("input"), 0).toInt());
    m_value->setText(settings.value(SettingsGroup + QStringLiteral("value"), locale.toString(10.0, 'f', 1)).toString());
    m_pressure[0]->setText(settings.value(SettingsGroup + QStringLiteral("pressure"), locale.toString(1013.25, 'f', 2)).toString());
    m_unit[0]->setCurrentIndex(settings.value(SettingsGroup + QStringLiteral("pressureUnit"), 0).toInt());
    m_pressure[1]->setText(settings.value(SettingsGroup + QStringLiteral("secondPressure")).toString());
    m_unit[1]->setCurrentIndex(settings.value(SettingsGroup + QStringLiteral("secondPressureUnit"), 0).toInt());

    for (QLineEdit* edit : {m_temperature, m_value, m_pressure[0], m_pressure[1]})
        connect(edit, &QLineEdit::textChanged, this, &HumidityDialog::recompute);
    for (QComboBox* list : {m_input, m_unit[0], m_unit[1]})
        connect(list, &QComboBox::currentIndexChanged, this, &HumidityDialog::recompute);
    connect(this, &QDialog::finished, this, &HumidityDialog::save);
    recompute();
}

HumidityDialog::~HumidityDialog()
{
    save();
}

QString HumidityDialog::shownText(humidity::Quantity quantity) const
{
    const QLabel* label = m_shown[std::size_t(quantity)];
    return label ? label->text() : QString();
}

QString HumidityDialog::statusText() const
{
    return m_status->text();
}

void HumidityDialog::recompute()
{
    const auto unit = [](const QComboBox* list) {
        return humidity::PressureUnits()[std::size_t(std::max(0, list->currentIndex()))];
    };
    const std::optional<double> temperature = Number(m_temperature->text());
    const std::optional<double> value = Number(m_value->text());
    const std::optional<double> pressure = Number(m_pressure[0]->text());
    const bool hasSecond = !m_pressure[1]->text().trimmed().isEmpty();
    const std::optional<double> second = hasSecond ? Number(m_pressure[1]->text()) : std::optional(double(NAN));

    QStringList notNumbers;
    if (!temperature)
        notNumbers << ByLanguage("temperatura powietrza", "air temperature");
    if (!value)
        notNumbers << m_input->currentText();
    if (!pressure)
        notNumbers << ByLanguage("ciśnienie", "pressure");
    if (!second)
        notNumbers << ByLanguage("drugie ciśnienie", "second pressure");

    humidity::State state;
    if (notNumbers.isEmpty()) {
        humidity::Conditions c;
        c.temperature = *temperature;
        c.pressure = humidity::ToPascals(*pressure, unit(m_unit[0]));
        c.secondPressure = hasSecond ? humidity::ToPascals(*second, unit(m_unit[1])) : NAN;
        const humidity::Input input = humidity::Input(std::max(0, m_input->currentIndex()));
        state = humidity::Compute(c, input, *value);
        m_status->setText(Refused(state, input, m_input->currentText()));
    } else {
        m_status->setText(ByLanguage("To nie jest liczba: %1", "Not a number: %1").arg(notNumbers.join(QStringLiteral(", "))));
    }

    const QString outOfRange = ByLanguage("poza zakresem", "out of range");
    for (const humidity::QuantityInfo& info : humidity::Quantities()) {
        QLabel* label = m_shown[std::size_t(info.quantity)];
        if (!label)
            continue;
        const bool secondOnly = info.quantity == Quantity::DewPointAtSecondPressure ||
                                info.quantity == Quantity::DewPointAtSecondPressureF;
        const std::optional<double> v = state[info.quantity];
        if (v)
            label->setText(Shown(*v, info.decimals));
        else if (!state.valid() || (secondOnly && !hasSecond))
            label->clear();
        else
            label->setText(outOfRange);
    }
}

void HumidityDialog::save() const
{
    QSettings settings;
    settings.setValue(SettingsGroup + QStringLiteral("temperature"), m_temperature->text());
    settings.setValue(SettingsGroup + QStringLiteral("input"), m_input->currentIndex());
    settings.setValue(SettingsGroup + QStringLiteral("value"), m_value->text());
    settings.setValue(SettingsGroup + QStringLiteral("pressure"), m_pressure[0]->text());
    settings.setValue(SettingsGroup + QStringLiteral("pressureUnit"), m_unit[0]->currentIndex());
    settings.setValue(SettingsGroup + QStringLiteral("secondPressure"), m_pressure[1]->text());
    settings.setValue(SettingsGroup + QStringLiteral("secondPressureUnit"), m_unit[1]->currentIndex());
}

} // namespace hmx
