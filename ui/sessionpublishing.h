// Publishing of any of the window's sessions, in one place: the preferences as they are
// now go to the publisher of the session's next Connect, and the password from the key
// store to the publisher once it is made.
#pragma once

#include <QtGlobal>

class QObject;

namespace hmx {

class InstrumentSet;
class MeasuringSession;

// The first instrument publishes as the preferences say; every other one under its own
// serial number (InstrumentPublishing); all over the set's one connection to the broker.
void ApplyPublishPreferences(MeasuringSession& session, InstrumentSet& set, quint16 serialNumber, bool inStartFolder);
// The publisher just made waits for the password: read from the key store and handed over
// while `context` lives.
void ProvideBrokerPassword(MeasuringSession& session, QObject* context);

} // namespace hmx
