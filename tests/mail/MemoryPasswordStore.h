#pragma once

#include "mail/jobs/PasswordStore.h"
#include "platform/MainQueue.h"

#include <QHash>

namespace murmelo::test {

// The keyring, in memory; answers on a later turn like the real one.
class MemoryPasswordStore : public PasswordStore {
public:
    void read(const QString &key, Read done) override
    {
        postToMainQueue([this, key, done] {
            done(failure.isEmpty() ? entries.value(key) : QString(), failure);
        });
    }
    void write(const QString &key, const QString &password, Done done) override
    {
        postToMainQueue([this, key, password, done] {
            if (failure.isEmpty())
                entries[key] = password;
            done(failure);
        });
    }
    void remove(const QString &key, Done done) override
    {
        postToMainQueue([this, key, done] {
            entries.remove(key);
            done(QString());
        });
    }
    QHash<QString, QString> entries;
    QString failure;
};

} // namespace murmelo::test
