// The settings page: shows the instrument's configuration and saves an edited one.
#include "ui/mainwindow.h"

#include "session/measuringsession.h"
#include "instrument/settings.h"


using namespace hmx;

namespace {

// Selects from code, so the mirror handlers (user changes only) do not run.
// A code outside the list leaves it with no item selected.
void SelectItem(QComboBox* list, int index)
{
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

} // namespace

void TForm1::ReadSettings()
{
    // The Poller reads on its link after the cycle under way, and the button stays off
    // until it has answered.
    if (m_shutDown || !Button2->isEnabled())
        return;
    Button2->setEnabled(false);
    m_settingsReadAsked = true;
    // Nothing connected: the answer (nothing read) comes at once, no port touched.
    m_session->requestSettingsRead();
}

void TForm1::settingsLoaded(bool read, const SettingsValues& values)
{
    // An answer for a Poller that has gone was given already.
    if (!m_settingsReadAsked)
        return;
    m_settingsReadAsked = false;
    Button2->setEnabled(true);
    if (m_shutDown)
        return;
    if (!read) {
        // Nothing usable came back: keep the values and the page as they were.
        Label9->setText(QStringLiteral("Brak komunikacji !"));
        return;
    }
    ShowSettings(values);
}

void TForm1::ShowSettings(const SettingsValues& values)
{
    m_settings.setValues(values);

    SelectItem(ComboBox1, values.UpperUnit);
    SelectItem(ComboBox2, OutputTypeIndex(values.Output1Type));
    SelectItem(ComboBox3, values.UpperUnit);
    SelectItem(ComboBox4, values.UpperUnit);
    SelectItem(ComboBox5, OutputTypeIndex(values.Output2Type));
    SelectItem(ComboBox6, values.LowerUnit);
    SelectItem(ComboBox7, values.Alarm1Mode);
    SelectItem(ComboBox8, values.LowerUnit);
    SelectItem(ComboBox9, values.Alarm2Mode);
    SelectItem(ComboBox10, int(values.LowerUnit) - 5);

    if (values.UpperUnit == ScaledUnit) {
        Edit5->setText(ScaledToText(values.Alarm1High, values.Alarm1HighExp));
        Edit16->setText(ScaledToText(values.Alarm1Low, values.Alarm1LowExp));
        Edit1->setText(ScaledToText(values.Output1Min, values.Output1MinExp));
        Edit2->setText(ScaledToText(values.Output1Max, values.Output1MaxExp));
    } else {
        Edit5->setText(TenthsToText(values.Alarm1High));
        Edit16->setText(TenthsToText(values.Alarm1Low));
        Edit1->setText(TenthsToText(values.Output1Min));
        Edit2->setText(TenthsToText(values.Output1Max));
    }
    Edit17->setText(TenthsToText(values.Alarm2High));
    Edit18->setText(TenthsToText(values.Alarm2Low));
    Edit3->setText(TenthsToText(values.Output2Min));
    Edit4->setText(TenthsToText(values.Output2Max));
    Edit12->setText(IntegerToText(values.CleaningInterval));
}

void TForm1::Button2Click()
{
    ReadSettings();
}

void TForm1::ZapisUstawienClick()
{
    // Each field is stored as soon as it is converted: a malformed field stops the
    // save there, keeping the fields before it, and the write is not requested.
    SettingsStore& store = m_settings;
    const int upperIndex = ComboBox1->currentIndex();
    store.update([&](SettingsValues& s) {
        s.UpperUnit = std::uint8_t(upperIndex);
        s.Output1Type = OutputTypeCode(ComboBox2->currentIndex());
        s.Output2Type = OutputTypeCode(ComboBox5->currentIndex());
        s.Alarm1Mode = std::uint8_t(ComboBox7->currentIndex());
        s.Alarm2Mode = std::uint8_t(ComboBox9->currentIndex());
        s.LowerUnit = std::uint8_t(ComboBox10->currentIndex() + 5);
    });

    struct UpperField {
        QLineEdit* edit;
        std::int16_t SettingsValues::*value;
        std::uint8_t SettingsValues::*exponent;
    };
    const UpperField upper[] = {
        {Edit5, &SettingsValues::Alarm1High, &SettingsValues::Alarm1HighExp},
        {Edit16, &SettingsValues::Alarm1Low, &SettingsValues::Alarm1LowExp},
        {Edit1, &SettingsValues::Output1Min, &SettingsValues::Output1MinExp},
        {Edit2, &SettingsValues::Output1Max, &SettingsValues::Output1MaxExp},
    };
    for (const UpperField& field : upper) {
        if (std::uint8_t(upperIndex) == ScaledUnit) {
            const ScaledValue scaled = TextToScaled(field.edit->text());
            store.update([&](SettingsValues& s) {
                s.*field.value = scaled.mantissa;
                s.*field.exponent = scaled.exponent;
            });
        } else {
            const std::int16_t tenths = TextToTenths(field.edit->text());
            store.update([&](SettingsValues& s) { s.*field.value = tenths; });
        }
    }

    struct LowerField {
        QLineEdit* edit;
        std::int16_t SettingsValues::*value;
    };
    const LowerField lower[] = {
        {Edit17, &SettingsValues::Alarm2High},
        {Edit18, &SettingsValues::Alarm2Low},
        {Edit3, &SettingsValues::Output2Min},
        {Edit4, &SettingsValues::Output2Max},
    };
    for (const LowerField& field : lower) {
        const std::int16_t tenths = TextToTenths(field.edit->text());
        store.update([&](SettingsValues& s) { s.*field.value = tenths; });
    }

    const std::int16_t interval = TextToInteger(Edit12->text());
    store.update([&](SettingsValues& s) { s.CleaningInterval = interval; });

    // Measuring: the Poller writes them after the cycle under way. Connecting: they wait
    // for the Poller. Otherwise the next Connect drops the request.
    if (!m_session->poller())
        store.requestWrite();
    m_session->requestSettingsWrite(store.values());
}
