#include "files/savewhole.h"

#include <QSaveFile>

namespace hmx::files {

bool SaveWhole(const QString& fileName, const QByteArray& data, QString& reason)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
        return false;
    }
    // A write the disk takes only part of returns short without a reason; the next one
    // fails at once and says why.
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 n = file.write(data.constData() + done, data.size() - done);
        if (n <= 0)
            break;
        done += n;
    }
    if (done < data.size() || !file.flush()) {
        reason = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace hmx::files
