#include "toolkit/codec/Base64.h"
#include "toolkit/codec/Crc32.h"
#include "toolkit/codec/Csv.h"
#include "toolkit/codec/TextExtras.h"
#include "toolkit/codec/UrlForm.h"

#include "support/TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <zlib.h>

using namespace murmelo;

namespace {
QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray bytes(n, Qt::Uninitialized);
    for (auto &b : bytes)
        b = char(gen.bounded(256));
    return bytes;
}
} // namespace

TEST(Base64Test, FirstFamilyPadsAndWrapsAtSeventyTwo)
{
    EXPECT_EQ(encodeBase64ForData({}), QString());
    EXPECT_EQ(encodeBase64ForData("M"), "TQ==");
    EXPECT_EQ(encodeBase64ForData("Ma"), "TWE=");
    EXPECT_EQ(encodeBase64ForData("Man"), "TWFu");

    const QByteArray b54 = randomBytes(54, 1);
    const QString w54 = encodeWrappedBase64ForData(b54);
    EXPECT_EQ(w54.size(), 74);
    EXPECT_TRUE(w54.endsWith("\r\n"));
    EXPECT_EQ(w54.left(72), encodeBase64ForData(b54));

    const QString w55 = encodeWrappedBase64ForData(randomBytes(55, 1));
    EXPECT_EQ(w55.size(), 72 + 2 + 4);
    EXPECT_EQ(w55.mid(72, 2), "\r\n");
    EXPECT_TRUE(w55.endsWith("=="));

    // Every line of a longer text holds 72 characters and the whole decodes back.
    const QByteArray big = randomBytes(1000, 2);
    const QString wrapped = encodeWrappedBase64ForData(big);
    for (const QString &line : wrapped.split("\r\n").mid(0, 18))
        EXPECT_EQ(line.size(), 72);
    EXPECT_EQ(decodeBase64ForString(wrapped), big);
    EXPECT_EQ(QByteArray::fromBase64(encodeBase64ForData(big).toLatin1()), big);
}

TEST(Base64Test, WebSafeSwapsTheTwoSymbolsAndKeepsPadding)
{
    const QByteArray bytes("\xfb\xff\xbf\xfe", 4);
    EXPECT_EQ(encodeBase64ForData(bytes), "+/+//g==");
    EXPECT_EQ(encodeWebSafeBase64ForData(bytes), "-_-__g==");
    EXPECT_EQ(decodeWebSafeBase64ForString("-_-__g=="), bytes);
}

TEST(Base64Test, StrictDecoderSkipsNoiseAndStopsAtPadding)
{
    EXPECT_EQ(decodeBase64ForString("TW Fu"), "Man");
    EXPECT_EQ(decodeBase64ForString("TQ=="), "M");
    EXPECT_EQ(decodeBase64ForString("TWFu=TWFu"), "Man");
    EXPECT_EQ(decodeBase64ForString("T*W\tF\x7fu"), "Man");
    EXPECT_EQ(decodeBase64ForString(QString::fromUtf8("TW\u00e9Fu")), "Man");
    // Padding after a line break still ends the data: no zero byte is made up.
    EXPECT_EQ(decodeBase64ForString("TQ\r\n=="), "M");
    EXPECT_EQ(decodeBase64ForString(""), QByteArray());
}

TEST(Base64Test, UndersizedBuffersRaiseTheNamedException)
{
    char out[8];
    const unsigned char in[6] = {1, 2, 3, 4, 5, 6};
    try {
        encodeBase64Into(in, 6, out, 8, false);
        FAIL() << "no exception";
    } catch (const Base64AdditionsException &e) {
        EXPECT_STREQ(e.name(), "NSData+Base64AdditionsException");
        EXPECT_STREQ(e.reason(), "Unable to encode data!");
    }
    EXPECT_EQ(encodeBase64Into(in, 6, out, 9, false), 8u);
    unsigned char decoded[2];
    EXPECT_THROW(decodeBase64Into("TWFu", 4, decoded, 2), Base64AdditionsException);
}

TEST(Base64Test, AttachmentFormHasSixtyFourColumnLines)
{
    EXPECT_EQ(base64EncodedString({}), QByteArray());
    const QByteArray b48 = randomBytes(48, 3);
    EXPECT_EQ(base64EncodedString(b48), encodeBase64ForData(b48).toLatin1());
    const QByteArray e49 = base64EncodedString(randomBytes(49, 3));
    EXPECT_EQ(e49.size(), 64 + 2 + 4);
    EXPECT_EQ(e49.mid(64, 2), "\r\n");
    EXPECT_TRUE(e49.endsWith("=="));

    // The vector path must agree with the plain one at every length and alignment.
    const QByteArray source = randomBytes(4096 + 64, 4);
    for (int length : {0, 1, 2, 3, 47, 50, 51, 52, 53, 96, 100, 143, 144, 1000, 4096}) {
        for (int offset : {0, 1, 5}) {
            const QByteArray bytes = source.mid(offset, length);
            const QByteArray encoded = base64EncodedString(bytes);
            const QByteArray expected = QByteArray::fromBase64(bytes.toBase64()).toBase64();
            EXPECT_EQ(QByteArray(encoded).replace("\r\n", ""), expected) << length << " " << offset;
            const QList<QByteArray> lines = encoded.split('\n');
            for (int i = 0; i + 1 < lines.size(); ++i)
                EXPECT_EQ(lines[i].size(), 65) << length; // 64 characters and the CR
            EXPECT_EQ(Base64LineEncoder::encodedLength(std::size_t(length)),
                      std::size_t(encoded.size()));
        }
    }
}

TEST(Base64Test, StreamingEncoderMatchesWholeInputAtAnyChunking)
{
    const QByteArray bytes = randomBytes(10000, 5);
    for (int chunk : {1, 7, 48, 49, 4096}) {
        Base64LineEncoder encoder;
        QByteArray out;
        for (qsizetype at = 0; at < bytes.size(); at += chunk)
            encoder.append(bytes.constData() + at,
                           std::size_t(std::min<qsizetype>(chunk, bytes.size() - at)), out);
        encoder.finish(out);
        EXPECT_EQ(out, base64EncodedString(bytes)) << chunk;
    }
}

TEST(Base64Test, LenientDecoderIgnoresEverythingOutsideTheAlphabet)
{
    EXPECT_EQ(dataFromBase64String(QString("TWFu\n")), "Man");
    EXPECT_EQ(dataFromBase64String(QString("TW=Fu==")), "Man");
    EXPECT_EQ(dataFromBase64String(QString("TWE")), "Ma");
    EXPECT_EQ(dataFromBase64String(QString("TQ")), "M");
    EXPECT_EQ(dataFromBase64String(QString("TWFuT")), "Man");
    const QByteArray bytes = randomBytes(777, 6);
    EXPECT_EQ(dataFromBase64String(base64EncodedString(bytes)), bytes);

    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    EXPECT_EQ(imageFromBase64(QString::fromLatin1(base64EncodedString(png))).size(), QSize(3, 2));
    EXPECT_TRUE(imageFromBase64("not an image").isNull());
}

TEST(Crc32Test, MatchesZlibAndHonoursSeedAndPolynomial)
{
    EXPECT_EQ(crc32(QByteArray("123456789")), 0xCBF43926u);
    EXPECT_NE(crc32WithSeed(QByteArray("123456789"), 0), 0xCBF43926u);
    EXPECT_EQ(crc32(QByteArray()), 0u);
    // Castagnoli's polynomial, reflected: its check value for the same digits.
    EXPECT_EQ(crc32UsingPolynomial(QByteArray("123456789"), 0x82F63B78u), 0xE3069283u);
    const QByteArray bytes = randomBytes(100003, 7);
    for (int length : {1, 7, 8, 9, 63, 64, 65, 79, 80, 127, 128, 129, 1000, 100003}) {
        const auto z = ::crc32(0, reinterpret_cast<const Bytef *>(bytes.constData()), uInt(length));
        EXPECT_EQ(crc32(bytes.left(length)), z) << length;
        // The general form on the same polynomial must take the per-call table path alike.
        EXPECT_EQ(crc32WithSeed(bytes.left(length), 0xFFFFFFFFu, 0xEDB88320u), z);
    }
}

TEST(UrlFormTest, EncodesSpacesAndEscapesAndSurvivesRoundTrip)
{
    EXPECT_EQ(stringByEncodingURLFormat("a b/c"), "a+b/c");
    EXPECT_EQ(stringByEncodingURLFormat(QString::fromUtf8("\u00e9")), "%C3%A9");
    EXPECT_EQ(stringByDecodingURLFormat("a+b%2Fc%C3%A9"), QString::fromUtf8("a b/c\u00e9"));
    EXPECT_TRUE(stringByDecodingURLFormat("%zz").isNull());
    EXPECT_TRUE(stringByDecodingURLFormat("%C3").isNull());
    for (const QString &text : {QString("1+1=2 & more #5 100%"), QString::fromUtf8("\u00fcber")})
        EXPECT_EQ(stringByDecodingURLFormat(stringByEncodingURLFormat(text)), text);
}

TEST(UrlFormTest, QueryComponentsCollectRepeatedKeys)
{
    const auto parsed = dictionaryFromQueryComponents("a=1&a=2&b");
    EXPECT_EQ(parsed.value("a"), QStringList({"1", "2"}));
    EXPECT_FALSE(parsed.contains("b"));
    EXPECT_TRUE(stringFromQueryComponents({}).isNull());

    const QVariantMap components{{"name", "A & B"}, {"n", QVariantList{1, 2}}};
    const QString query = stringFromQueryComponents(components);
    EXPECT_EQ(query, "n=1&n=2&name=A+%26+B");
    const auto back = dictionaryFromQueryComponents(query);
    EXPECT_EQ(back.value("name"), QStringList{"A & B"});
    EXPECT_EQ(back.value("n"), QStringList({"1", "2"}));
    EXPECT_FALSE(dictionaryFromQueryComponents("k=%zz&j=1").contains("k"));
}

TEST(CsvTest, ReadsRowsWithAndWithoutKeys)
{
    const QVariantList plain = arrayWithContentsOfCSVString("a;b\r\nc;d;e\n\n", ";", {}, false);
    ASSERT_EQ(plain.size(), 2);
    EXPECT_EQ(plain[0].toStringList(), QStringList({"a", "b"}));
    EXPECT_EQ(plain[1].toStringList(), QStringList({"c", "d", "e"}));

    const QVariantList keyed = arrayWithContentsOfCSVString("x,y\n1,2,3\n4", ",", {}, true);
    ASSERT_EQ(keyed.size(), 2);
    EXPECT_EQ(keyed[0].toMap(), (QVariantMap{{"x", "1"}, {"y", "2"}}));
    EXPECT_EQ(keyed[1].toMap(), (QVariantMap{{"x", "4"}}));

    const QVariantList given = arrayWithContentsOfCSVString("1,2", ",", {"k"}, true);
    EXPECT_EQ(given[0].toMap(), (QVariantMap{{"k", "1"}}));
    EXPECT_EQ(arrayWithContentsOfCSVString("a,b", "", {}, false)[0].toStringList(),
              QStringList{"a,b"});

    const QString path = test::scratchRoot() + "/rows.csv";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QString::fromUtf8("n\u00e4me\n\u00e9").toLatin1());
    file.close();
    const QVariantList latin =
        arrayWithContentsOfCSVFile(path, ",", {}, true, QStringConverter::Latin1);
    EXPECT_EQ(latin[0].toMap().value(QString::fromUtf8("n\u00e4me")), QString::fromUtf8("\u00e9"));
    EXPECT_TRUE(arrayWithContentsOfCSVFile(path, ",", {}, true, QStringConverter::Utf8).isEmpty());
    EXPECT_TRUE(
        arrayWithContentsOfCSVFile(path + ".missing", ",", {}, false, QStringConverter::Utf8)
            .isEmpty());
}

TEST(CsvTest, WritesEveryRowWithALineFeed)
{
    EXPECT_EQ(writeToCSVString({{"a", "b"}, {}}), "a,b\n\n");
    EXPECT_EQ(writeToCSVString({{1, 2.5}}), "1,2.5\n");
}

TEST(TextExtrasTest, UuidXorAndInitials)
{
    const QString uuid = stringWithUUID();
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(uuid)
                    .hasMatch());
    EXPECT_NE(uuid, stringWithUUID());

    const QString secret = XORWithKey("hello", "k");
    EXPECT_EQ(secret.toUtf8(), QByteArray("\x03\x0e\x07\x07\x04"));
    EXPECT_EQ(XORWithKey(secret, "k"), "hello");
    EXPECT_TRUE(XORWithKey("hello", QString()).isNull());
    EXPECT_TRUE(XORWithKey("hello", "").isNull());
    EXPECT_TRUE(XORWithKey(QString::fromUtf8("\u00e9"), "@").isNull());

    EXPECT_EQ(stringGroupByFirstInitial("apple"), "A");
    EXPECT_EQ(stringGroupByFirstInitial("9 lives"), "9");
    EXPECT_EQ(stringGroupByFirstInitial(""), "");
    EXPECT_EQ(stringGroupByFirstInitial("b"), "B");
    EXPECT_EQ(stringGroupByFirstInitial(QString::fromUtf8("\U0001D400x")).size(), 2);
}
