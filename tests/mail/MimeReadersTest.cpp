// The mail as a reader's parser sees it (Python's email package with its default policy): no
// defect anywhere, and accented text, subject and names read back exactly as they were written.
#include "SmtpTestSupport.h"

#include "mail/jobs/MailContents.h"
#include "mail/jobs/MailDelivery.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::test;
using namespace std::chrono_literals;

// Expectations shared with the real relay's test: what the reversal mail must read as.
TEST(MimeReadersTest, AReversalMailReadsBackExactly)
{
    ScriptedSmtpServer server;
    server.tls = true;
    server.capabilities << "STARTTLS";
    qputenv("MURMELO_MAIL_CA_FILE", testCertificate().certificatePath.toUtf8());

    const QString hidden = QString::fromUtf8("Ich höre „Geheimnis“ – ñ ✓ 🎧\n.\n.versteckt");
    const QString body = reversalBody(hidden, QString::fromUtf8("Zoë"));
    QByteArray wav(70000, Qt::Uninitialized);
    for (qsizetype i = 0; i < wav.size(); ++i)
        wav[i] = char((i * 7919) % 251);
    MailContents contents = reversalMail(
        QString::fromUtf8("Jörg Müller <joerg@example.org>, \"Smith, Ann\" <ann@example.org>, "
                          "bo@exämple.org"),
        body, wav);
    const QString subject = QString::fromUtf8(
        "Gehörte Botschaft – ¿qué? 🎧 eine ziemlich lange Betreffzeile, die gefaltet werden muss");
    contents.subject = subject;
    RelayConfiguration relay;
    relay.host = QStringLiteral("127.0.0.1");
    relay.ports = {server.port()};
    relay.requiresAuth = false;
    relay.fromEmail = QString::fromUtf8("Murmelo Équipe <listen@murmelo.org>");

    RecordingDeliveryDelegate delegate;
    const auto delivery = smtpMailDeliveryFactory()(relay, contents, delegate);
    ASSERT_TRUE(delivery->send());
    ASSERT_TRUE(waitUntil([&] { return delegate.done(); }, 20s));
    qunsetenv("MURMELO_MAIL_CA_FILE");
    ASSERT_EQ(delegate.sent, 1) << delegate.failure.reason.toStdString();
    EXPECT_TRUE(server.encrypted);

    // Every header line is ASCII and short enough for any reader.
    const QByteArray headers = server.messageData.left(server.messageData.indexOf("\r\n\r\n"));
    for (const QByteArray &line : headers.split('\n')) {
        EXPECT_LE(line.size(), 79) << line.constData();
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return uchar(c) < 0x80; }))
            << line.constData();
    }

    const QJsonObject read = readAsAMailReaderDoes(server.messageData, true);
    ASSERT_FALSE(read.isEmpty());
    EXPECT_TRUE(read["defects"].toArray().isEmpty())
        << QJsonDocument(read["defects"].toArray()).toJson().constData();
    EXPECT_EQ(read["subject"].toString(), subject);
    EXPECT_EQ(readerAddresses(read["from"].toArray()),
              QStringList{QString::fromUtf8("Murmelo Équipe|listen@murmelo.org")});
    EXPECT_EQ(readerAddresses(read["to"].toArray()),
              QStringList({QString::fromUtf8("Jörg Müller|joerg@example.org"),
                           QStringLiteral("Smith, Ann|ann@example.org"),
                           QStringLiteral("|bo@xn--exmple-cua.org")}));
    const QJsonArray parts = read["parts"].toArray();
    ASSERT_EQ(parts.size(), 2) << "no empty part after the last one";
    EXPECT_EQ(parts[0]["type"].toString(), "text/plain");
    EXPECT_EQ(parts[0]["charset"].toString(), "utf-8");
    EXPECT_EQ(parts[0]["text"].toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
              body);
    EXPECT_TRUE(body.contains(hidden));
    EXPECT_EQ(parts[1]["type"].toString(), "audio/wave");
    EXPECT_EQ(parts[1]["filename"].toString(), "murmelo.wav");
    EXPECT_EQ(parts[1]["size"].toInt(), wav.size());
    EXPECT_EQ(parts[1]["sha1"].toString(),
              QCryptographicHash::hash(wav, QCryptographicHash::Sha1).toHex());
}
