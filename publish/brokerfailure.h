// Why the broker cannot be reached, in the user's words: the broker's refusal of a
// connection, and a TLS failure told from what libmosquitto logged and OpenSSL's
// verification of the broker's certificate. Plain functions over what was gathered.
#pragma once

#include "publish/publishsettings.h"

#include <QString>
#include <QStringList>

namespace hmx {

// What a failed TLS connection left behind.
struct TlsClues {
    QStringList logErrors;       // libmosquitto's error lines while connecting
    long verifyResult = -1;      // OpenSSL's X509_V_* code, -1 when unknown
    bool passPhraseAsked = false;
};

// The broker's refusal (CONNACK's code, MQTT 3.1.1's or 5's) in the words 3.1.1 brokers give.
QString ConnackWords(int rc);
// Why TLS failed, naming the files of `settings` it concerns; `rc` is libmosquitto's result.
QString TlsFailureWords(const TlsClues& clues, const PublishSettings& settings, int rc);

} // namespace hmx
