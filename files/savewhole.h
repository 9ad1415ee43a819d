// Writing a whole file in one go, with the system's own reason when it fails.
#pragma once

#include <QByteArray>
#include <QString>

namespace hmx::files {

// Writes `data` as the file `fileName`: into a temporary file beside it first, which
// takes the name only once all of it is on the disk, so a failure leaves the earlier
// file (if any) as it was. False with `reason` set to the system's words ("No space
// left on device"), read at the step that failed.
bool SaveWhole(const QString& fileName, const QByteArray& data, QString& reason);

} // namespace hmx::files
