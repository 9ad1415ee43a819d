#include "publish/brokerfailure.h"

#include "publish/mqtt_p.h"

#include <algorithm>

namespace hmx {

namespace {

// OpenSSL's verification results (X509_V_ERR_*), stable numbers of its ABI.
enum VerifyCode : long {
    UnableToGetIssuerCert = 2,
    CertNotYetValid = 9,
    CertHasExpired = 10,
    DepthZeroSelfSigned = 18,
    SelfSignedCertInChain = 19,
    UnableToGetIssuerCertLocally = 20,
    UnableToVerifyLeafSignature = 21,
    CertRevoked = 23,
    CertUntrusted = 27,
    HostnameMismatch = 62,
    IpAddressMismatch = 64,
};

// The last piece of an OpenSSL error line: "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed".
QString OpenSslReason(const QString& line)
{
    return line.mid(line.lastIndexOf(QLatin1Char(':')) + 1).trimmed();
}

} // namespace

QString ConnackWords(int rc)
{
    switch (rc) {
    case mqtt::BadUserNameOrPassword:
        return QString::fromUtf8(mosquitto_connack_string(4));
    case mqtt::NotAuthorized:
        return QString::fromUtf8(mosquitto_connack_string(5));
    default:
        return rc < mqtt::FailureReason
                   ? QString::fromUtf8(mosquitto_connack_string(rc))
                   : QStringLiteral("Connection Refused: %1.").arg(QString::fromUtf8(mosquitto_reason_string(rc)));
    }
}

QString TlsFailureWords(const TlsClues& clues, const PublishSettings& settings, int rc)
{
    const auto logged = [&clues](const char* words) {
        return std::any_of(clues.logErrors.begin(), clues.logErrors.end(),
                           [words](const QString& line) { return line.contains(QLatin1String(words)); });
    };
    const auto lastOpenSsl = [&clues] {
        for (auto line = clues.logErrors.crbegin(); line != clues.logErrors.crend(); ++line)
            if (line->startsWith(QLatin1String("OpenSSL Error")))
                return OpenSslReason(*line);
        return QString();
    };
    const QString authorities = settings.caFile.isEmpty() ? QStringLiteral("the system's certificate authorities")
                                                          : settings.caFile;
    if (clues.passPhraseAsked)
        return QStringLiteral("the client key %1 is protected by a pass phrase, which cannot be given here; "
                              "keep it without one (openssl pkey -in KEY -out PLAIN-KEY) where only this account reads it")
            .arg(settings.keyFile);
    if (logged("certificate/key are inconsistent") || logged("key values mismatch"))
        return QStringLiteral("the client key %1 does not match the certificate %2").arg(settings.keyFile, settings.certFile);
    if (logged("Unable to load client key"))
        return QStringLiteral("cannot use the client key %1 (%2)").arg(settings.keyFile, lastOpenSsl());
    if (logged("Unable to load client certificate"))
        return QStringLiteral("cannot use the client certificate %1 (%2)").arg(settings.certFile, lastOpenSsl());
    if (logged("Unable to load CA certificates"))
        return QStringLiteral("cannot use the certificate authorities in %1 (%2)").arg(authorities, lastOpenSsl());
    if (logged("host name verification failed"))
        return QStringLiteral("the broker's certificate is not made out for %1").arg(settings.host);
    switch (clues.verifyResult) {
    case CertHasExpired:
        return QStringLiteral("the broker's certificate has expired");
    case CertNotYetValid:
        return QStringLiteral("the broker's certificate is not valid yet (or this computer's clock is wrong)");
    case HostnameMismatch:
    case IpAddressMismatch:
        return QStringLiteral("the broker's certificate is not made out for %1").arg(settings.host);
    case CertRevoked:
        return QStringLiteral("the broker's certificate was revoked");
    case UnableToGetIssuerCert:
    case DepthZeroSelfSigned:
    case SelfSignedCertInChain:
    case UnableToGetIssuerCertLocally:
    case UnableToVerifyLeafSignature:
    case CertUntrusted:
        return QStringLiteral("the broker's certificate is not trusted: none of %1 signed it").arg(authorities);
    default:
        break;
    }
    if (const QString reason = lastOpenSsl(); !reason.isEmpty())
        return QStringLiteral("TLS: %1").arg(reason);
    return mqtt::ErrorText(rc);
}

} // namespace hmx
