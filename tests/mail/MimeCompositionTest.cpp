// The message as it goes on the wire after DATA.
#include "mail/mime/MMSMTPComposer.h"
#include "toolkit/codec/Base64.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

const QDateTime kDate(QDate(2026, 3, 1), QTime(9, 5, 7), QTimeZone(3600));
const QString kUuid = QStringLiteral("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");

MMSMTPPart part(const QString &type, const QString &encoding, const QVariant &message)
{
    return {{kMMSMTPPartContentTypeKey, type},
            {kMMSMTPPartContentTransferEncodingKey, encoding},
            {kMMSMTPPartMessageKey, message}};
}

QByteArray wholeBody(const MMSMTPWireMessage &wire)
{
    QByteArray all;
    for (const QByteArray &piece : wire.body)
        all += piece;
    return all;
}

} // namespace

TEST(MimeCompositionTest, HeaderBlockInOrder)
{
    const MMSMTPHeaderFields fields{"me@x", "you@x", "cc@x", "Hi", "relay.example"};
    EXPECT_EQ(composeHeaderBlock(fields, kDate, kUuid),
              "Date: Sun, 01 Mar 2026 09:05:07 +0100\r\n"
              "Message-id: <0A1B2C3D4E5F60718293A4B5C6D7E8F9@relay.example>\r\n"
              "From:me@x\r\nTo:you@x\r\nCc:cc@x\r\n"
              "Content-Type: multipart/mixed; boundary=MMSMTPMessage--Separator--Delimiter\r\n"
              "Mime-Version: 1.0 (MMSMTPMessage 1.0)\r\n"
              "Subject:Hi\r\n\r\n");

    // No To for an empty field, no Cc for a missing one; Bcc never shows.
    const QByteArray bare = composeHeaderBlock({"me@x", "", QString(), "Hi", "r"}, kDate, kUuid);
    EXPECT_FALSE(bare.contains("To:"));
    EXPECT_FALSE(bare.contains("Cc:"));
    EXPECT_EQ(mmsmtpDateText(QDateTime(QDate(2026, 12, 8), QTime(23, 0), QTimeZone(-9000))),
              "Tue, 08 Dec 2026 23:00:00 -0230");
}

TEST(MimeCompositionTest, PartsBetweenDelimitersThenEndOfData)
{
    MMSMTPPart attachment = part("audio/wave", "base64", QByteArray("UklGRg=="));
    attachment.insert(kMMSMTPPartContentDispositionKey, "attachment; filename=\"a.wav\"");
    const MMSMTPWireMessage wire = composeMessage(
        {"me@x", "you@x", "", "Hi", "r"},
        {part("text/plain", "8bit", QStringLiteral("Hello")), attachment}, kDate, kUuid);
    // Text says its charset; the last part is followed by the closing delimiter, not by an
    // opening one that readers take for one more, empty part.
    EXPECT_EQ(wholeBody(wire), "--MMSMTPMessage--Separator--Delimiter\r\n"
                               "Content-Type: text/plain; charset=UTF-8\r\n"
                               "Content-Transfer-Encoding: 8bit\r\n\r\n"
                               "Hello\r\n--MMSMTPMessage--Separator--Delimiter\r\n"
                               "Content-Disposition: attachment; filename=\"a.wav\"\r\n"
                               "Content-Type: audio/wave\r\nContent-Transfer-Encoding: base64\r\n"
                               "\r\nUklGRg==\r\n--MMSMTPMessage--Separator--Delimiter--\r\n"
                               "\r\n.\r\n");
    EXPECT_EQ(wire.size(), wire.headers.size() + wholeBody(wire).size());
    // A charset already named stays as it is.
    const MMSMTPWireMessage latin = composeMessage(
        {"me@x", "you@x", "", "Hi", "r"},
        {part("text/plain; charset=ISO-8859-1", "8bit", QStringLiteral("x"))}, kDate, kUuid);
    EXPECT_TRUE(wholeBody(latin).contains("Content-Type: text/plain; charset=ISO-8859-1\r\n"));
}

TEST(MimeCompositionTest, HeadersBeyondAsciiBecomeEncodedWords)
{
    const QString word = QString::fromUtf8("Gr\u00fc\u00dfe \U0001F3A7");
    const MMSMTPWireMessage wire = composeMessage(
        {QString::fromUtf8("Zo\u00eb <me@x.org>"),
         QString::fromUtf8("J\u00f6rg <j@x.org>, \"Smith, Ann\" <a@x.org>"), "", word, "r"},
        {part("text/plain", "8bit", word)}, kDate, kUuid);
    EXPECT_TRUE(wire.headers.contains("\r\nSubject: =?UTF-8?B?R3LDvMOfZSDwn46n?=\r\n"))
        << wire.headers.constData();
    EXPECT_TRUE(wire.headers.contains("\r\nFrom: =?UTF-8?B?Wm/Dqw==?= <me@x.org>\r\n"));
    EXPECT_TRUE(wire.headers.contains(
        "\r\nTo: =?UTF-8?B?SsO2cmc=?= <j@x.org>, \"Smith, Ann\" <a@x.org>\r\n"));
    // Bodies stay UTF-8.
    EXPECT_TRUE(wholeBody(wire).contains(word.toUtf8()));

    // A long subject is cut into words of at most 75 characters, whole characters each, on lines
    // of their own.
    const QString longSubject =
        QString(40, QChar(0x00e9)) + QStringLiteral(" \U0001F3A7 ") + QString(40, QChar(0x00fc));
    const QByteArray block =
        composeHeaderBlock({"me@x", "you@x", "", longSubject, "r"}, kDate, kUuid);
    const qsizetype at = block.indexOf("Subject:");
    const QByteArray subject = block.mid(at, block.indexOf("\r\n\r\n") - at);
    QString decoded;
    for (const QByteArray &line : subject.mid(8).split('\n')) {
        const QByteArray word = line.trimmed();
        ASSERT_TRUE(word.startsWith("=?UTF-8?B?") && word.endsWith("?=")) << line.constData();
        EXPECT_LE(line.size(), 78);
        const QByteArray bytes = QByteArray::fromBase64(word.mid(10, word.size() - 12));
        EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes) << "a character split across words";
        decoded += QString::fromUtf8(bytes);
    }
    EXPECT_EQ(decoded, longSubject);
}

TEST(MimeCompositionTest, BodiesAreTransparent)
{
    QString encoding = "8bit";
    // A line of one ".", a line beginning with ".", and bare line breaks.
    EXPECT_EQ(mmsmtpTransparentBody(part("text/plain", "8bit", ".\n.hidden\rend\r\n."), &encoding),
              "..\r\n..hidden\r\nend\r\n..");
    EXPECT_EQ(encoding, "8bit");

    // A typed line longer than SMTP carries travels as Base64 of the same text.
    const QString longText = QString(1500, QLatin1Char('x')) + QStringLiteral("\nshort");
    const QByteArray body = mmsmtpTransparentBody(part("text/plain", "8bit", longText), &encoding);
    EXPECT_EQ(encoding, "base64");
    EXPECT_EQ(dataFromBase64String(body), longText.toUtf8().replace("\n", "\r\n"));
    for (const QByteArray &line : body.split('\n'))
        EXPECT_LE(line.size(), 999);

    // A Base64 body is passed on as it is, not copied.
    const QByteArray big = base64EncodedString(QByteArray(100000, 'a'));
    encoding = "base64";
    const QByteArray sent = mmsmtpTransparentBody(part("audio/wave", "base64", big), &encoding);
    EXPECT_EQ(sent.constData(), big.constData());

    // A binary part keeps its bare line breaks; only line starts after CR LF are stuffed.
    encoding = "binary";
    EXPECT_EQ(mmsmtpTransparentBody(
                  part("application/octet-stream", "binary", QByteArray("a\n.b\r\n.c")), &encoding),
              "a\n.b\r\n..c");
}

TEST(MimeCompositionTest, LineBreaksInHeaderFieldsAreFound)
{
    const MMSMTPHeaderFields clean{"me@x", "you@x", "", "Hi", "r"};
    EXPECT_TRUE(
        mmsmtpUnsafeField(clean, "b@x", {part("text/plain", "8bit", "a\r\n.\r\n")}).isEmpty());
    EXPECT_EQ(mmsmtpUnsafeField({"me@x", "you@x\r\nRCPT TO:<e@x>", "", "Hi", "r"}, "", {}),
              "toEmail");
    EXPECT_EQ(mmsmtpUnsafeField({"me@x", "", "", "Hi\nBcc: e@x", "r"}, "", {}), "subject");
    EXPECT_EQ(mmsmtpUnsafeField(clean, QString("b@x") + QChar(0), {}), "bccEmail");
    EXPECT_EQ(mmsmtpUnsafeField(clean, "", {part("text/plain\r\nX: y", "8bit", "")}),
              "kMMSMTPPartContentTypeKey");
}

TEST(MimeCompositionTest, LongHeaderLinesAreFolded)
{
    QStringList many;
    for (int i = 0; i < 80; ++i)
        many << QStringLiteral("listener%1@murmelo.test").arg(i);
    const QString to = many.join(QStringLiteral(", "));
    const QString subject = QString(1200, QLatin1Char('s'));
    const QByteArray block = composeHeaderBlock({"me@x", to, "", subject, "r"}, kDate, kUuid);
    for (const QByteArray &line : block.split('\n'))
        EXPECT_LE(line.size(), 999);
    // Unfolding gives the list back; a subject with no place to break is cut at the limit.
    const QByteArray unfolded = QByteArray(block).replace("\r\n ", " ");
    EXPECT_TRUE(unfolded.contains("\r\nTo: " + to.toLatin1() + "\r\n"));
    const qsizetype at = unfolded.indexOf("\r\nSubject:") + 10;
    const QByteArray subjectValue = unfolded.mid(at, unfolded.indexOf("\r\n", at) - at);
    EXPECT_EQ(QByteArray(subjectValue).replace(" ", ""), subject.toLatin1());
}
