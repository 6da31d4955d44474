#include "telemetry/codec/VGMessagePack.h"

#include <QProcess>
#include <QTemporaryFile>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray packed(const VGValue &v)
{
    return VGMessagePack::pack(v);
}

TEST(MessagePackPacking, NumbersKeepTheirStorageWidth)
{
    EXPECT_EQ(packed(VGValue::int32(5)), hex("d200000005"));
    EXPECT_EQ(packed(VGValue::signedNumber(VGValue::kLong, -2)), hex("d2fffffffe"));
    EXPECT_EQ(packed(VGValue::uint8(5)), hex("cc05"));
    EXPECT_EQ(packed(VGValue::int8(-1)), hex("d0ff"));
    EXPECT_EQ(packed(VGValue::int16(-300)), hex("d1fed4"));
    EXPECT_EQ(packed(VGValue::int64(1)), hex("d30000000000000001"));
    EXPECT_EQ(packed(VGValue::uint16(65535)), hex("cdffff"));
    EXPECT_EQ(packed(VGValue::unsignedNumber(VGValue::kULong, 7)), hex("ce00000007"));
    EXPECT_EQ(packed(VGValue::uint64(UINT64_MAX)), hex("cfffffffffffffffff"));
    EXPECT_EQ(packed(VGValue::boolean(true)), hex("c3"));
    EXPECT_EQ(packed(VGValue::boolean(false)), hex("c2"));
    EXPECT_EQ(packed(VGValue()), hex("c0"));
    EXPECT_EQ(packed(VGValue::float32(1.5f)), hex("ca3fc00000"));
    EXPECT_EQ(packed(VGValue::float64(1.5)), hex("cb3ff8000000000000"));
    // An unknown storage type is written as its decimal text.
    EXPECT_EQ(packed(VGValue::signedNumber('B', 12)), hex("a23132"));
}

TEST(MessagePackPacking, RawAndContainerHeadersByLength)
{
    EXPECT_EQ(packed(VGValue(std::string(31, 'x'))).left(1), hex("bf"));
    EXPECT_EQ(packed(VGValue(std::string(32, 'x'))).left(3), hex("da0020"));
    EXPECT_EQ(packed(VGValue(std::string(65535, 'x'))).left(3), hex("daffff"));
    const QByteArray big = packed(VGValue(std::string(65536, 'x')));
    EXPECT_EQ(big.left(5), hex("db00010000"));
    EXPECT_EQ(big.size(), 65541);
    // UTF-8 length counts bytes, not characters.
    EXPECT_EQ(packed(VGValue("\xc3\xa9")), hex("a2c3a9"));

    std::vector<VGValue> fifteen(15, VGValue::uint8(1));
    EXPECT_EQ(packed(VGValue::array(fifteen)).left(1), hex("9f"));
    fifteen.push_back(VGValue::uint8(1));
    EXPECT_EQ(packed(VGValue::array(fifteen)).left(3), hex("dc0010"));
    EXPECT_EQ(packed(VGValue::array()), hex("90"));
    EXPECT_EQ(packed(VGValue::map({{"a", VGValue::uint8(1)}})), hex("81a161cc01"));
    VGValue bigMap = VGValue::map();
    for (int i = 0; i < 16; ++i)
        bigMap.appendPair(VGValue::int32(i), VGValue());
    EXPECT_EQ(packed(bigMap).left(3), hex("de0010"));
}

TEST(MessagePackPacking, HeaderOnlyWritersAlwaysUseFiveBytes)
{
    EXPECT_EQ(VGMessagePack::packArrayHeaderOnly(3), hex("dd00000003"));
    EXPECT_EQ(VGMessagePack::packMapHeaderOnly(4), hex("df00000004"));
    EXPECT_EQ(VGMessagePack::packRawHeaderOnly(0x01020304), hex("db01020304"));
}

TEST(MessagePackPacking, MarkedBuffersNestVerbatimUnmarkedAsRaw)
{
    const VGValue inner = VGMessagePack::packToValue(VGValue::int32(5));
    ASSERT_TRUE(inner.vg_isMessagePack());
    EXPECT_EQ(packed(VGValue::array({inner})), hex("91d200000005"));
    VGValue plain = inner;
    plain.vg_setMessagePack(false);
    EXPECT_EQ(packed(VGValue::array({plain})), hex("91a5d200000005"));
    // Objects of other kinds pack as their description text.
    EXPECT_EQ(packed(VGValue::description("2026-12-08 13:00:00 +0000")),
              packed(VGValue("2026-12-08 13:00:00 +0000")));
}

TEST(MessagePackPacking, GrowsPastManyReallocationsWithoutLosingBytes)
{
    VGValue list = VGValue::array();
    for (int i = 0; i < 10000; ++i)
        list.append(VGValue::map({{"n", VGValue::int32(i)}, {"s", std::to_string(i)}}));
    const auto back = VGMessagePack::unpack(packed(list));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, list);
    EXPECT_EQ(back->at(9999).value("n").toInt64(), 9999);
}

TEST(MessagePackUnpacking, ScalarsGetTheirStorageTypes)
{
    auto v = VGMessagePack::unpack(hex("c3"));
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->isBool());
    EXPECT_TRUE(v->toBool());
    EXPECT_EQ(VGMessagePack::unpack(hex("05"))->numberType(), 'c');
    EXPECT_EQ(VGMessagePack::unpack(hex("ff"))->toInt64(), -1);
    EXPECT_EQ(VGMessagePack::unpack(hex("cc80"))->numberType(), 'C');
    EXPECT_EQ(VGMessagePack::unpack(hex("cf8000000000000000"))->toUInt64(), 1ull << 63);
    EXPECT_EQ(VGMessagePack::unpack(hex("d3ffffffffffffffff"))->toInt64(), -1);
    EXPECT_EQ(VGMessagePack::unpack(hex("ca3fc00000"))->numberType(), 'f');
    EXPECT_EQ(VGMessagePack::unpack(hex("cb3ff8000000000000"))->toDouble(), 1.5);
    EXPECT_TRUE(VGMessagePack::unpack(hex("c0"))->isNull());
    // Bytes after the first value are ignored.
    EXPECT_EQ(VGMessagePack::unpack(hex("01c1c1"))->toInt64(), 1);
}

TEST(MessagePackUnpacking, MalformedOrTruncatedInputGivesNothing)
{
    for (const char *bad : {"", "c1", "c4", "d4", "d9", "d20000", "da00", "a36162", "dd00000002c0",
                            "82a161c0a162", "82a161c0a162d2000000", "cb3ff80000", "df0000ffffc0"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(VGMessagePack::unpack(hex(bad))) << bad;
    }
    // No partial trees: a valid element before a broken one does not survive.
    EXPECT_FALSE(VGMessagePack::unpack(hex("9301c102")));
}

TEST(MessagePackUnpacking, HostileCountsAndDepthAreRefusedCheaply)
{
    // A declared count of four billion elements in five bytes allocates nothing large.
    EXPECT_FALSE(VGMessagePack::unpack(hex("ddffffffff")));
    EXPECT_FALSE(VGMessagePack::unpack(hex("dfffffffff")));
    EXPECT_FALSE(VGMessagePack::unpack(hex("dbffffffff41")));
    QByteArray deep(VGMessagePack::kMaximumDepth + 10, char(0x91));
    deep.append(char(0xc0));
    EXPECT_FALSE(VGMessagePack::unpack(deep));
    QByteArray fine(VGMessagePack::kMaximumDepth, char(0x91));
    fine.append(char(0xc0));
    EXPECT_TRUE(VGMessagePack::unpack(fine));
}

TEST(MessagePackUnpacking, MapsReplaceDuplicateKeysAndTypedLookupsFilter)
{
    auto v = VGMessagePack::unpack(hex("83a16101a16202a16103"));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->count(), 2u);
    EXPECT_EQ(v->value("a").toInt64(), 3);
    // A number key equal in value to another of a different width is the same key.
    auto numeric = VGMessagePack::unpack(hex("8201c0d200000001c3"));
    ASSERT_TRUE(numeric);
    EXPECT_EQ(numeric->count(), 1u);
    EXPECT_TRUE(numeric->value(VGValue::int8(1)).toBool());
    // Many keys, many duplicates: still one entry per distinct key.
    VGValue many = VGValue::map();
    for (int i = 0; i < 1000; ++i)
        many.appendPair(VGValue::int32(i % 100), VGValue::int32(i));
    auto back = VGMessagePack::unpack(packed(many));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->count(), 100u);
    EXPECT_EQ(back->value(VGValue::int32(7)).toInt64(), 907);

    EXPECT_FALSE(VGMessagePack::unpackDictionary(hex("9101")));
    EXPECT_TRUE(VGMessagePack::unpackArray(hex("9101")));
    EXPECT_FALSE(VGMessagePack::unpackArray(hex("8101c0")));
}

TEST(MessagePackUnpacking, ContainersLongerThanTheirFirstSizingReadWhole)
{
    // A duplicate in the middle frees its slot for the next pair.
    auto v = VGMessagePack::unpack(hex("83a16101a16102a16203"));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->count(), 2u);
    EXPECT_EQ(v->value("a").toInt64(), 2);
    EXPECT_EQ(v->value("b").toInt64(), 3);

    VGValue list = VGValue::array();
    VGValue map = VGValue::map();
    for (int i = 0; i < 300; ++i) {
        list.append(VGValue(std::string(size_t(i % 40), char('a' + i % 26))));
        map.insert(VGValue::int32(i), VGValue::array({VGValue::int16(int16_t(i))}));
    }
    map.insert("last", "pair");
    const VGValue tree = VGValue::array({list, map});
    auto back = VGMessagePack::unpack(packed(tree));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, tree);
    EXPECT_EQ(packed(*back), packed(tree));
    EXPECT_EQ(back->at(1).value("last").text(), "pair");
}

TEST(MessagePackUnpacking, RawThatIsNotTextBecomesItsDescription)
{
    auto v = VGMessagePack::unpack(hex("a5ff00010203"));
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->isString());
    EXPECT_EQ(v->text(), "<ff000102 03>");
    // Overlong encodings and lone surrogates are not text either.
    EXPECT_EQ(VGMessagePack::unpack(hex("a2c0af"))->text(), "<c0af>");
    EXPECT_EQ(VGMessagePack::unpack(hex("a3eda080"))->text(), "<eda080>");
    EXPECT_EQ(VGMessagePack::unpack(hex("a4f09f8e89"))->text(), "\xf0\x9f\x8e\x89");
}

TEST(MessagePackValues, CopiesMovesAndReassignmentKeepWholeTrees)
{
    const VGValue original =
        VGValue::map({{"name", std::string(100, 'n')},
                      {"list", VGValue::array({VGValue::int32(1), VGValue::float64(2.5)})},
                      {"blob", VGValue::data("\x01\x02", true)}});
    VGValue copy = original;
    VGValue moved = std::move(copy);
    EXPECT_EQ(moved, original);
    EXPECT_EQ(packed(moved), packed(original));
    EXPECT_TRUE(moved.value("blob").vg_isMessagePack());

    // A value replaced by one of its own children keeps the child intact.
    VGValue tree = original;
    tree = tree.value("list");
    EXPECT_EQ(tree, VGValue::array({VGValue::int32(1), VGValue::float64(2.5)}));
    VGValue nested = original;
    nested = std::move(nested.items()[3]);
    EXPECT_EQ(nested.kind(), VGValue::Kind::Array);
    EXPECT_EQ(nested.count(), 2u);

    // A value changes kind whole: no text or elements of its former kind stay behind.
    VGValue changing("text");
    changing = VGValue::int32(4);
    EXPECT_TRUE(changing.text().empty());
    EXPECT_TRUE(changing.items().empty());
    changing.append("x");
    EXPECT_TRUE(changing.isArray());
    EXPECT_EQ(packed(changing), hex("91a178"));
    changing.insert("k", "v");
    EXPECT_EQ(packed(changing), hex("81a16ba176"));
}

TEST(MessagePackFiles, ContentsOfFileAreMarked)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(hex("91c3"));
    file.close();
    auto v = VGMessagePack::messagePackWithContentsOfFile(file.fileName());
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->vg_isMessagePack());
    EXPECT_EQ(packed(VGValue::map({{"k", *v}})), hex("81a16b91c3"));
    EXPECT_FALSE(VGMessagePack::messagePackWithContentsOfFile(file.fileName() + "-missing"));
}

// An independent implementation reads what we pack, and we read what it packs.
QByteArray python(const QString &script, const QByteArray &input)
{
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script});
    if (!process.waitForStarted())
        return "python3 did not start";
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return process.readAllStandardOutput() + process.readAllStandardError();
}

TEST(MessagePackInterop, IndependentReaderSeesWhatWePack)
{
    VGValue event = VGValue::map({
        {"type", "checkpoint"},
        {"sequence_number", VGValue::int32(-7)},
        {"start_time", VGValue::float64(1765200000.25)},
        {"ratio", VGValue::float32(0.5f)},
        {"big", VGValue::uint64(18446744073709551615ull)},
        {"manual", VGValue::boolean(true)},
        {"carrier", VGValue()},
        {"text", VGValue(std::string(70000, 'z'))},
        {"list", VGValue::array({VGValue::int8(-3), VGValue::uint16(300), "\xc3\xa9t\xc3\xa9"})},
    });
    const QByteArray out = python(QStringLiteral(R"(
import sys, msgpack
v = msgpack.unpackb(sys.stdin.buffer.read(), raw=False, strict_map_key=False)
v['text'] = len(v['text'])
print(repr(sorted(v.items())))
)"),
                                  packed(event));
    EXPECT_EQ(out.trimmed(),
              "[('big', 18446744073709551615), ('carrier', None), ('list', [-3, 300, 'été']), "
              "('manual', True), ('ratio', 0.5), ('sequence_number', -7), ('start_time', "
              "1765200000.25), ('text', 70000), ('type', 'checkpoint')]");
}

TEST(MessagePackInterop, WeReadWhatTheIndependentWriterPacksInTheRawFamily)
{
    const QByteArray bytes = python(QStringLiteral(R"(
import sys, msgpack
v = {'s': 'x' * 40, 'long': 'y' * 70000, 'n': [0, -1, -33, 200, 70000, -70000, 2**40, -2**40,
     2**64 - 1], 'f': 0.25, 'b': False, 'z': None, 'nested': {'k': [1, {'d': 'e'}]}}
sys.stdout.buffer.write(msgpack.packb(v, use_bin_type=False))
)"),
                                    {});
    auto v = VGMessagePack::unpackDictionary(bytes);
    ASSERT_TRUE(v) << bytes.left(200).toHex().constData();
    EXPECT_EQ(v->value("s").text(), std::string(40, 'x'));
    EXPECT_EQ(v->value("long").text().size(), 70000u);
    const VGValue &n = v->value("n");
    ASSERT_EQ(n.count(), 9u);
    const int64_t expected[] = {0, -1, -33, 200, 70000, -70000, 1ll << 40, -(1ll << 40)};
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(n.at(i).toInt64(), expected[i]) << i;
    EXPECT_EQ(n.at(8).toUInt64(), UINT64_MAX);
    EXPECT_EQ(v->value("f").toDouble(), 0.25);
    EXPECT_TRUE(v->value("b").isBool());
    EXPECT_TRUE(v->contains("z"));
    EXPECT_EQ(v->value("nested").value("k").at(1).value("d").text(), "e");
}

} // namespace
