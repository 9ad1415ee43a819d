// What the window keeps of each instrument by its serial number, with QSettings: the name
// the user gave it ("instruments/<serial>/name"); for every instrument but the first, its
// limits and its derived quantities under "instruments/<serial>/" (the first keeps the
// window's own keys); and the instruments measured when the window last closed with more
// than one ("lastInstruments", the first instrument first).
#pragma once

#include "instrument/derived.h"
#include "limits/limitsettings.h"

#include <QString>

#include <vector>

class QSettings;

namespace hmx {

// An instrument measured at the last close, and where.
struct KeptInstrument {
    quint16 serialNumber = 0;
    QString port;
    friend bool operator==(const KeptInstrument&, const KeptInstrument&) = default;
};

// Empty: none given.
QString LoadInstrumentName(QSettings& settings, quint16 serialNumber);
void SaveInstrumentName(QSettings& settings, quint16 serialNumber, const QString& name);

AlarmPreferences LoadInstrumentLimits(QSettings& settings, quint16 serialNumber);
void SaveInstrumentLimits(QSettings& settings, quint16 serialNumber, const AlarmPreferences& preferences);
// `usual` (the window's choice) until one is kept for this instrument.
DerivedChoice LoadInstrumentDerived(QSettings& settings, quint16 serialNumber, const DerivedChoice& usual);
void SaveInstrumentDerived(QSettings& settings, quint16 serialNumber, const DerivedChoice& choice);

std::vector<KeptInstrument> LoadLastInstruments(QSettings& settings);
// Fewer than two: nothing is kept, so the next start offers nothing.
void SaveLastInstruments(QSettings& settings, const std::vector<KeptInstrument>& instruments);

} // namespace hmx
