#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace murmelo {

// One Murmelo per desktop session. The first process owns the application's name on the
// session bus and answers the desktop's application interface there (Activate, Open); a later
// start hands its file to that process and ends, so opening a song from the file manager goes
// to the window already open instead of a second one.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static QString serviceName() { return QStringLiteral("org.murmelo.Murmelo"); }
    static QString objectPath() { return QStringLiteral("/org/murmelo/Murmelo"); }

    enum class Claim {
        First,     // this process owns the name and now answers for the session
        Taken,     // another Murmelo owns it
        NoSession, // no session bus: every start stands alone
    };

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    Claim claim();

    // Asks the Murmelo that owns the name to open `path` (or only to come forward when it is
    // empty). False, with `error` set, when it could not be reached.
    bool handOver(const QString &path, QString *error = nullptr);

    // What the desktop (or a later start) asked of the first process.
    void activate();
    void open(const QStringList &uris);

    // A command-line argument as an absolute local path: relative paths against the working
    // folder, file: URLs as their path; empty for anything else (a remote URL).
    static QString localPath(const QString &argument);

signals:
    void activated();
    void openRequested(const QString &path);

private:
    QDBusConnection bus_;
    bool registered_ = false;
};

} // namespace murmelo
