#include "report/sha256.h"

#include <QCryptographicHash>

namespace hmx {

// OpenSSL is only loaded at run time there, by the publisher: Qt's own hash.
QString Sha256Hex(QByteArrayView bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace hmx
