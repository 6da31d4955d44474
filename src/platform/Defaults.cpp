#include "platform/Defaults.h"

#include "platform/PrivateFiles.h"

#include <QDir>
#include <QStandardPaths>

namespace murmelo {

namespace {
Defaults *g_override = nullptr;
}

namespace {
// The settings name the user's mail server and sender; they are the user's alone. Qt rewrites
// the file through a new one that keeps the old one's mode.
QString privateFile(const QString &path)
{
    PrivateFiles::makeFile(path);
    return path;
}
} // namespace

Defaults::Defaults(const QString &iniPath)
    : settings_(std::make_unique<QSettings>(privateFile(iniPath), QSettings::IniFormat))
{
}

Defaults &Defaults::standard()
{
    if (g_override)
        return *g_override;
    // Built on first use so that a test's XDG_CONFIG_HOME is honoured.
    static Defaults real(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/murmelo/murmelo.conf"));
    return real;
}

void Defaults::setStandardForTesting(Defaults *defaults)
{
    g_override = defaults;
}

bool Defaults::boolForKey(const QString &key) const
{
    return settings_->value(key).toBool();
}
qint64 Defaults::integerForKey(const QString &key) const
{
    return settings_->value(key).toLongLong();
}
QString Defaults::stringForKey(const QString &key) const
{
    return settings_->value(key).toString();
}
QVariant Defaults::valueForKey(const QString &key) const
{
    return settings_->value(key);
}
bool Defaults::hasKey(const QString &key) const
{
    return settings_->contains(key);
}

void Defaults::setBool(const QString &key, bool value)
{
    settings_->setValue(key, value);
}
void Defaults::setInteger(const QString &key, qint64 value)
{
    settings_->setValue(key, value);
}
void Defaults::setString(const QString &key, const QString &value)
{
    settings_->setValue(key, value);
}
void Defaults::setValue(const QString &key, const QVariant &value)
{
    settings_->setValue(key, value);
}
void Defaults::remove(const QString &key)
{
    settings_->remove(key);
}
void Defaults::synchronize()
{
    settings_->sync();
}
QString Defaults::path() const
{
    return settings_->fileName();
}

} // namespace murmelo
