#include "mail/jobs/PasswordStore.h"

#include <qt6keychain/keychain.h>

namespace murmelo {

namespace {
template <typename JobType> JobType *makeJob(const QString &key)
{
    auto *job = new JobType(QLatin1String(KeychainPasswordStore::kService));
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);
    return job;
}
} // namespace

KeychainPasswordStore &KeychainPasswordStore::shared()
{
    static KeychainPasswordStore store;
    return store;
}

void KeychainPasswordStore::read(const QString &key, Read done)
{
    auto *job = makeJob<QKeychain::ReadPasswordJob>(key);
    QObject::connect(job, &QKeychain::Job::finished, job, [done = std::move(done)](auto *finished) {
        auto *reader = static_cast<QKeychain::ReadPasswordJob *>(finished);
        if (reader->error() == QKeychain::EntryNotFound)
            done(QString(), QString());
        else if (reader->error() != QKeychain::NoError)
            done(QString(), reader->errorString());
        else
            done(reader->textData(), QString());
    });
    job->start();
}

void KeychainPasswordStore::write(const QString &key, const QString &password, Done done)
{
    auto *job = makeJob<QKeychain::WritePasswordJob>(key);
    job->setTextData(password);
    QObject::connect(
        job, &QKeychain::Job::finished, job, [done = std::move(done)](QKeychain::Job *finished) {
            done(finished->error() == QKeychain::NoError ? QString() : finished->errorString());
        });
    job->start();
}

void KeychainPasswordStore::remove(const QString &key, Done done)
{
    auto *job = makeJob<QKeychain::DeletePasswordJob>(key);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [done = std::move(done)](QKeychain::Job *finished) {
                         const bool gone = finished->error() == QKeychain::NoError ||
                                           finished->error() == QKeychain::EntryNotFound;
                         done(gone ? QString() : finished->errorString());
                     });
    job->start();
}

} // namespace murmelo
