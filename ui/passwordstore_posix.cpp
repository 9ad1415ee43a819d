#include "ui/passwordstore.h"

#include <qt6keychain/keychain.h>

namespace hmx {

namespace {

const QString Service = QStringLiteral("hmx700");

QString AccountKey(const PublishSettings& s)
{
    return QStringLiteral("mqtt:%1@%2:%3").arg(s.user, s.host).arg(s.port);
}

} // namespace

void ReadBrokerPassword(const PublishSettings& settings, QObject* context,
                        std::function<void(const QString&, const QString&)> done)
{
    auto* job = new QKeychain::ReadPasswordJob(Service);
    job->setKey(AccountKey(settings));
    QObject::connect(job, &QKeychain::Job::finished, context, [job, done = std::move(done)] {
        if (job->error() == QKeychain::NoError)
            done(job->textData(), {});
        else
            done({}, job->errorString());
    });
    job->start();
}

void StoreBrokerPassword(const PublishSettings& settings, const QString& password, QObject* context,
                         std::function<void(const QString&)> done)
{
    auto* job = new QKeychain::WritePasswordJob(Service);
    job->setKey(AccountKey(settings));
    job->setTextData(password);
    QObject::connect(job, &QKeychain::Job::finished, context, [job, done = std::move(done)] {
        done(job->error() == QKeychain::NoError ? QString() : job->errorString());
    });
    job->start();
}

} // namespace hmx
