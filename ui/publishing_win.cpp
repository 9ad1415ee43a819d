// The Windows build has no MQTT client library yet: no preferences, no publishing.
#include "ui/mainwindow.h"

void TForm1::setUpPublishing() {}
void TForm1::ShowPreferences() {}
void TForm1::startPublishing(const hmx::VersionInfo&) {}
void TForm1::publishInstrumentStatus(bool) {}
void TForm1::stopPublishing() {}
