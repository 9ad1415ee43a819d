// SHA-256 of bytes in memory, as lower-case hex: what `sha256sum` prints for them. A
// report names its log by it; a log of months is hashed at the speed of the machine's
// own SHA instructions where the system's crypto library has them.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace hmx {

QString Sha256Hex(QByteArrayView bytes);

} // namespace hmx
