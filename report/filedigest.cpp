#include "report/filedigest.h"

#include <QCryptographicHash>
#include <QFile>

namespace hmx::report {

std::optional<QString> FileSha256(const QString& fileName, QString* error)
{
    QFile file(fileName);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file) || file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace hmx::report
