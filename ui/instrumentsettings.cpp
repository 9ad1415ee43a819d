#include "ui/instrumentsettings.h"

#include <QSettings>

namespace hmx {

namespace {

QString Group(quint16 serialNumber)
{
    return QStringLiteral("instruments/%1").arg(serialNumber);
}

const QString LastInstruments = QStringLiteral("lastInstruments");

} // namespace

QString LoadInstrumentName(QSettings& settings, quint16 serialNumber)
{
    return settings.value(Group(serialNumber) + QStringLiteral("/name")).toString();
}

void SaveInstrumentName(QSettings& settings, quint16 serialNumber, const QString& name)
{
    const QString key = Group(serialNumber) + QStringLiteral("/name");
    if (name.trimmed().isEmpty())
        settings.remove(key);
    else
        settings.setValue(key, name.trimmed());
}

AlarmPreferences LoadInstrumentLimits(QSettings& settings, quint16 serialNumber)
{
    settings.beginGroup(Group(serialNumber));
    const AlarmPreferences preferences = LoadAlarmPreferences(settings);
    settings.endGroup();
    return preferences;
}

void SaveInstrumentLimits(QSettings& settings, quint16 serialNumber, const AlarmPreferences& preferences)
{
    settings.beginGroup(Group(serialNumber));
    SaveAlarmPreferences(settings, preferences);
    settings.endGroup();
}

DerivedChoice LoadInstrumentDerived(QSettings& settings, quint16 serialNumber, const DerivedChoice& usual)
{
    settings.beginGroup(Group(serialNumber));
    const bool kept = settings.childGroups().contains(QStringLiteral("Derived"));
    const DerivedChoice choice = kept ? LoadDerivedChoice(settings) : usual;
    settings.endGroup();
    return choice;
}

void SaveInstrumentDerived(QSettings& settings, quint16 serialNumber, const DerivedChoice& choice)
{
    settings.beginGroup(Group(serialNumber));
    SaveDerivedChoice(choice, settings);
    settings.endGroup();
}

std::vector<KeptInstrument> LoadLastInstruments(QSettings& settings)
{
    std::vector<KeptInstrument> kept;
    const int count = settings.beginReadArray(LastInstruments);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        bool ok = false;
        const uint serial = settings.value(QStringLiteral("serial")).toUInt(&ok);
        // Written by hand into nonsense: that one is left out.
        if (ok && serial > 0 && serial <= 0xFFFF)
            kept.push_back({quint16(serial), settings.value(QStringLiteral("port")).toString()});
    }
    settings.endArray();
    return kept;
}

void SaveLastInstruments(QSettings& settings, const std::vector<KeptInstrument>& instruments)
{
    settings.remove(LastInstruments);
    if (instruments.size() < 2)
        return;
    settings.beginWriteArray(LastInstruments, int(instruments.size()));
    for (int i = 0; i < int(instruments.size()); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("serial"), instruments[std::size_t(i)].serialNumber);
        settings.setValue(QStringLiteral("port"), instruments[std::size_t(i)].port);
    }
    settings.endArray();
}

} // namespace hmx
