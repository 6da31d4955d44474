#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace murmelo::test {

// The loopback intake of scripts/telemetry-intake.py, answering in the given mode and keeping
// each body it received in a folder.
class Intake {
public:
    explicit Intake(const QString &answer = QStringLiteral("200"));
    ~Intake();
    bool started() const { return port_ != 0; }
    QString url() const;
    // Bodies POSTed to the sessions address so far, oldest first.
    QStringList sessionBodies() const;

private:
    std::unique_ptr<QProcess> process_;
    QString store_;
    int port_ = 0;
};

// What a crash child left: how it ended and what it printed.
struct ChildEnd {
    bool signalled = false;
    int signal = 0;
    int exitCode = -1;
    QString out;
};

// Runs the crash child for SDKFOLDER in MODE, with the telemetry address pointed at INTAKEURL
// (none when empty), and waits for it to end (30 s at most).
ChildEnd runCrashChild(const QString &sdkFolder, const QString &mode, const QString &intakeUrl);
// The same with another copy of the child as PROGRAM and HOME as the home folder.
ChildEnd runCrashChild(const QString &sdkFolder, const QString &mode, const QString &intakeUrl,
                       const QString &program, const QString &home);

// Unpacks a report with Python's msgpack (a peer implementation) into JSON: raws become text,
// and a session-end "log" raw becomes {"records": [...]}. Fails (empty object) on a damaged or
// truncated body or trailing bytes.
QJsonObject decodeReport(const QString &path);

QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);

// Hand-packed MessagePack pieces, for the files the session manager and the log leave on disk.
QByteArray packRaw(const QByteArray &text);
QByteArray packDouble(double value);
QByteArray packInt32(int32_t value);

} // namespace murmelo::test
