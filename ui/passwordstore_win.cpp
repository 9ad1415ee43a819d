// The broker password in Windows' Credential Manager (a generic credential of the user,
// kept across logons, readable only by that user).
#include "ui/passwordstore.h"

#include <QMetaObject>

#include <windows.h>
#include <wincred.h>

namespace hmx {

namespace {

std::wstring TargetName(const PublishSettings& s)
{
    return QStringLiteral("hmx700/mqtt:%1@%2:%3").arg(s.user, s.host).arg(s.port).toStdWString();
}

QString LastErrorText()
{
    return qt_error_string(int(::GetLastError()));
}

} // namespace

void ReadBrokerPassword(const PublishSettings& settings, QObject* context,
                        std::function<void(const QString&, const QString&)> done)
{
    QString password;
    QString error;
    PCREDENTIALW credential = nullptr;
    const std::wstring target = TargetName(settings);
    if (::CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
        password = QString::fromUtf8(reinterpret_cast<const char*>(credential->CredentialBlob),
                                     qsizetype(credential->CredentialBlobSize));
        ::SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
        ::CredFree(credential);
    } else {
        error = LastErrorText();
    }
    // Later, on the event loop, as the key stores of other systems answer.
    QMetaObject::invokeMethod(context, [done = std::move(done), password, error] { done(password, error); },
                              Qt::QueuedConnection);
}

void StoreBrokerPassword(const PublishSettings& settings, const QString& password, QObject* context,
                         std::function<void(const QString&)> done)
{
    QByteArray blob = password.toUtf8();
    std::wstring target = TargetName(settings);
    std::wstring user = settings.user.toStdWString();
    CREDENTIALW credential {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = user.data();
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.CredentialBlobSize = DWORD(blob.size());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    const QString error = ::CredWriteW(&credential, 0) ? QString() : LastErrorText();
    ::SecureZeroMemory(blob.data(), std::size_t(blob.size()));
    QMetaObject::invokeMethod(context, [done = std::move(done), error] { done(error); }, Qt::QueuedConnection);
}

} // namespace hmx
