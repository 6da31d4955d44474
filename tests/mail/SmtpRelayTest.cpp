// End to end against a real SMTP server (aiosmtpd) on loopback: STARTTLS or implicit TLS under
// the test's own certificate, AUTH PLAIN or LOGIN, and the received message parsed back into its
// parts.
#include "SmtpTestSupport.h"

#include "support/TestSupport.h"
#include "toolkit/codec/Base64.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;
using namespace std::chrono_literals;

namespace {

class AiosmtpdRelay {
public:
    enum Flavour { StartTls, LoginOnly, ImplicitTls };
    explicit AiosmtpdRelay(Flavour flavour)
    {
        static int serial = 0;
        folder_ = scratchRoot() + QStringLiteral("/relay-%1").arg(++serial);
        QDir().mkpath(folder_);
        const TestCertificate &certificate = testCertificate();
        QStringList arguments{QStringLiteral(MURMELO_MAIL_TEST_DIR "/aiosmtpd_relay.py"),
                              "--cert",
                              certificate.certificatePath,
                              "--key",
                              certificate.keyPath,
                              "--folder",
                              folder_};
        if (flavour == LoginOnly)
            arguments << "--login-only";
        if (flavour == ImplicitTls)
            arguments << "--implicit-tls";
        process_.start(QStringLiteral("/usr/bin/python3"), arguments);
        waitUntil([&] { return process_.canReadLine(); }, 20s);
        const QByteArray line = process_.readLine().trimmed();
        if (line.startsWith("READY "))
            port_ = quint16(line.mid(6).toUInt());
    }
    ~AiosmtpdRelay()
    {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(2000);
    }
    quint16 port() const { return port_; }
    QByteArray message(int n) const
    {
        QFile file(folder_ + QStringLiteral("/message-%1.eml").arg(n));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The envelope's recipients of message `n`, one a line.
    QByteArray recipients(int n) const
    {
        QFile file(folder_ + QStringLiteral("/message-%1.eml.rcpt").arg(n));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QString folder_;
    QProcess process_;
    quint16 port_ = 0;
};

struct ReceivedPart {
    QByteArray headers;
    QByteArray body;
};

// The parts between the fixed delimiters (the last one ends at the closing delimiter), each split
// into its headers and its body.
QList<ReceivedPart> partsOf(const QByteArray &message)
{
    const QByteArray boundary = "--MMSMTPMessage--Separator--Delimiter";
    QList<ReceivedPart> parts;
    qsizetype at = message.indexOf(boundary + "\r\n");
    while (at >= 0 && message.mid(at + boundary.size(), 2) == "\r\n") {
        const qsizetype start = at + boundary.size() + 2;
        const qsizetype next = message.indexOf("\r\n" + boundary, start);
        if (next < 0)
            break;
        const QByteArray piece = message.mid(start, next - start);
        const qsizetype split = piece.indexOf("\r\n\r\n");
        parts << ReceivedPart{piece.left(split + 2), piece.mid(split + 4)};
        at = next + 2;
    }
    return parts;
}

QByteArray randomBytes(qsizetype n)
{
    QByteArray bytes(n, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), n / 4);
    return bytes;
}

std::unique_ptr<MMSMTPMessage> relayMessage(quint16 port, RecordingDelegate &delegate)
{
    auto message = loopbackMessage(port, delegate);
    message->setRequiresAuth(true);
    message->setWantsSecure(true);
    message->setLogin(QStringLiteral("fred"));
    message->setPassword(QStringLiteral("secret"));
    message->setTrustedCertificates({testCertificate().certificate});
    message->setWatchdogDurations(20s, 60s);
    return message;
}

} // namespace

TEST(SmtpRelayTest, StartTlsAuthPlainAndAFiveMegabyteAttachmentArriveWhole)
{
    AiosmtpdRelay relay(AiosmtpdRelay::StartTls);
    ASSERT_NE(relay.port(), 0) << "aiosmtpd did not start";
    const QByteArray wav = randomBytes(5 * 1024 * 1024);
    const QString typed = QStringLiteral(".\nI heard it.\n.. twice\r\n.\nend");
    const QString longLine = QString(2000, QLatin1Char('z'));

    RecordingDelegate delegate;
    auto message = relayMessage(relay.port(), delegate);
    message->setToEmail(QStringLiteral("you@murmelo.test; other@murmelo.test"));
    message->setBccEmail(QStringLiteral("hidden@murmelo.test"));
    message->setParts({
        {{kMMSMTPPartContentTypeKey, "text/plain; charset=UTF-8"},
         {kMMSMTPPartContentTransferEncodingKey, "8bit"},
         {kMMSMTPPartMessageKey, typed}},
        {{kMMSMTPPartContentTypeKey, "text/plain"},
         {kMMSMTPPartContentTransferEncodingKey, "7bit"},
         {kMMSMTPPartMessageKey, longLine}},
        {{kMMSMTPPartContentDispositionKey, "attachment; filename=\"murmelo.wav\""},
         {kMMSMTPPartContentTypeKey, "audio/wave"},
         {kMMSMTPPartContentTransferEncodingKey, "base64"},
         {kMMSMTPPartMessageKey, base64EncodedString(wav)}},
    });
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(waitUntil([&] { return delegate.done(); }, 60s));
    ASSERT_EQ(delegate.sent, 1) << delegate.error.localizedDescription.toStdString();
    EXPECT_TRUE(message->isSecure());

    const QByteArray received = relay.message(1);
    ASSERT_FALSE(received.isEmpty());
    EXPECT_TRUE(received.contains("\r\nSubject:Hello\r\n"));
    EXPECT_FALSE(received.contains("hidden@"));
    const QList<ReceivedPart> parts = partsOf(received);
    ASSERT_EQ(parts.size(), 3);
    // The dot lines arrive as typed (line breaks as CR LF), in this one message.
    EXPECT_EQ(parts[0].body, typed.toUtf8().replace("\r\n", "\n").replace("\n", "\r\n"));
    EXPECT_TRUE(parts[1].headers.contains("Content-Transfer-Encoding: base64"));
    EXPECT_EQ(dataFromBase64String(parts[1].body), longLine.toUtf8());
    EXPECT_TRUE(parts[2].headers.startsWith("Content-Disposition: attachment;"));
    EXPECT_EQ(dataFromBase64String(parts[2].body), wav);
    EXPECT_TRUE(relay.message(2).isEmpty());
}

TEST(SmtpRelayTest, AuthLoginWhenTheServerOffersNoPlain)
{
    AiosmtpdRelay relay(AiosmtpdRelay::LoginOnly);
    ASSERT_NE(relay.port(), 0) << "aiosmtpd did not start";
    RecordingDelegate delegate;
    auto message = relayMessage(relay.port(), delegate);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(waitUntil([&] { return delegate.done(); }, 30s));
    EXPECT_EQ(delegate.sent, 1) << delegate.error.localizedDescription.toStdString();
    EXPECT_TRUE(relay.message(1).contains("Hi there"));

    RecordingDelegate refused;
    auto wrong = relayMessage(relay.port(), refused);
    wrong->setPassword(QStringLiteral("wrong"));

    ASSERT_TRUE(wrong->send());
    ASSERT_TRUE(waitUntil([&] { return refused.done(); }, 30s));
    EXPECT_EQ(refused.error.code, 535);
}

TEST(SmtpRelayTest, ImplicitTlsDeliversAndAnUntrustedRelayGetsNothing)
{
    AiosmtpdRelay relay(AiosmtpdRelay::ImplicitTls);
    ASSERT_NE(relay.port(), 0) << "aiosmtpd did not start";
    RecordingDelegate delegate;
    auto message = relayMessage(relay.port(), delegate);
    message->setImplicitTLS(true);
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(waitUntil([&] { return delegate.done(); }, 30s));
    ASSERT_EQ(delegate.sent, 1) << delegate.error.localizedDescription.toStdString();
    EXPECT_TRUE(message->isSecure());
    EXPECT_TRUE(relay.message(1).contains("Hi there"));

    // The same relay under a certificate nobody vouches for: no credentials, no message.
    RecordingDelegate refused;
    auto untrusted = relayMessage(relay.port(), refused);
    untrusted->setImplicitTLS(true);
    untrusted->setTrustedCertificates({});
    ASSERT_TRUE(untrusted->send());
    ASSERT_TRUE(waitUntil([&] { return refused.done(); }, 30s));
    EXPECT_EQ(refused.error.code, -7);
    EXPECT_FALSE(refused.error.localizedFailureReason.isEmpty());
    EXPECT_TRUE(relay.message(2).isEmpty());

    // A STARTTLS client that meets a TLS port does not fall back to clear text either.
    RecordingDelegate mismatched;
    auto startTls = relayMessage(relay.port(), mismatched);
    startTls->setConnectTimeout(0.5);
    ASSERT_TRUE(startTls->send());
    ASSERT_TRUE(waitUntil([&] { return mismatched.done(); }, 30s));
    EXPECT_EQ(mismatched.failed, 1);
    EXPECT_TRUE(relay.message(2).isEmpty());
}

TEST(SmtpRelayTest, AnAccentedMessageToDisplayNamesArrivesIntact)
{
    AiosmtpdRelay relay(AiosmtpdRelay::StartTls);
    ASSERT_NE(relay.port(), 0) << "aiosmtpd did not start";
    const QString text = QString::fromUtf8("Ich höre „Geheimnis“ – ¿qué? ñ ✓ 🎧\nZoë");
    const QString subject = QString::fromUtf8("Botschaft für Jörg – écoutez 🎧");
    RecordingDelegate delegate;
    auto message = relayMessage(relay.port(), delegate);
    message->setFromEmail(QString::fromUtf8("Murmelo Équipe <me@murmelo.test>"));
    message->setToEmail(
        QString::fromUtf8("Jörg Müller <joerg@murmelo.test>, \"Smith, Ann\" <ann@murmelo.test>,"));
    message->setSubject(subject);
    message->setParts({{{kMMSMTPPartContentTypeKey, "text/plain"},
                        {kMMSMTPPartContentTransferEncodingKey, "8bit"},
                        {kMMSMTPPartMessageKey, text}}});
    ASSERT_TRUE(message->send());
    ASSERT_TRUE(waitUntil([&] { return delegate.done(); }, 30s));
    ASSERT_EQ(delegate.sent, 1) << delegate.error.localizedDescription.toStdString();

    EXPECT_EQ(relay.recipients(1), "joerg@murmelo.test\nann@murmelo.test");
    const QJsonObject read = readAsAMailReaderDoes(relay.message(1), false);
    ASSERT_FALSE(read.isEmpty());
    EXPECT_TRUE(read["defects"].toArray().isEmpty());
    EXPECT_EQ(read["subject"].toString(), subject);
    EXPECT_EQ(readerAddresses(read["from"].toArray()),
              QStringList{QString::fromUtf8("Murmelo Équipe|me@murmelo.test")});
    EXPECT_EQ(readerAddresses(read["to"].toArray()),
              QStringList({QString::fromUtf8("Jörg Müller|joerg@murmelo.test"),
                           QStringLiteral("Smith, Ann|ann@murmelo.test")}));
    const QJsonArray parts = read["parts"].toArray();
    ASSERT_EQ(parts.size(), 1);
    EXPECT_EQ(parts[0]["charset"].toString(), "utf-8");
    EXPECT_EQ(parts[0]["text"].toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
              text);
}
