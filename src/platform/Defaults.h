#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

namespace murmelo {

// The user defaults: small values kept across launches in an INI file.
// The application uses standard(), at ~/.config/murmelo/murmelo.conf (under XDG_CONFIG_HOME);
// tests either point XDG_CONFIG_HOME at a scratch folder or construct their own on a scratch file.
class Defaults {
public:
    explicit Defaults(const QString &iniPath);

    static Defaults &standard();
    // Replaces what standard() returns (null restores the real one). For tests.
    static void setStandardForTesting(Defaults *defaults);

    bool boolForKey(const QString &key) const;
    qint64 integerForKey(const QString &key) const;
    QString stringForKey(const QString &key) const;
    QVariant valueForKey(const QString &key) const;
    bool hasKey(const QString &key) const;

    void setBool(const QString &key, bool value);
    void setInteger(const QString &key, qint64 value);
    void setString(const QString &key, const QString &value);
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

    // Writes pending changes to disk now (they are also written by Qt on its own schedule).
    void synchronize();
    QString path() const;

private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace murmelo
