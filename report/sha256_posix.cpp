#include "report/sha256.h"

#include <QCryptographicHash>

#include <openssl/evp.h>

namespace hmx {

QString Sha256Hex(QByteArrayView bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), std::size_t(bytes.size()), digest, &length, EVP_sha256(), nullptr) == 1)
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
    // OpenSSL without SHA-256 (a FIPS setting that forbids it): Qt's own.
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace hmx
