#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace murmelo {

class VGUnpacker;

// One dynamic value of the telemetry's records: null, boolean, number with its storage type,
// UTF-8 string, byte buffer, array, map (any value as key), or the description text of some
// other object. A number keeps the storage type it was made with, because that type decides
// its width on the wire: an int always packs to five bytes, an unsigned char to two.
class VGValue {
public:
    enum class Kind : uint8_t { Null, Bool, Number, String, Data, Array, Map, Description };

    // Storage type codes of numbers.
    static constexpr char kChar = 'c', kShort = 's', kInt = 'i', kLong = 'l', kLongLong = 'q',
                          kUChar = 'C', kUShort = 'S', kUInt = 'I', kULong = 'L', kULongLong = 'Q',
                          kFloat = 'f', kDouble = 'd';

    VGValue() noexcept : i_(0) {} // null
    VGValue(const char *text) : VGValue(std::string(text)) {}
    VGValue(std::string text) : kind_(Kind::String), text_(std::move(text)) {}
    VGValue(std::string_view text) : kind_(Kind::String), text_(text) {}
    VGValue(const QString &text) : VGValue(text.toStdString()) {}
    VGValue(const VGValue &other);
    VGValue(VGValue &&other) noexcept;
    VGValue &operator=(const VGValue &other);
    VGValue &operator=(VGValue &&other) noexcept;
    ~VGValue() { destroy(); }

    static VGValue null() { return {}; }
    static VGValue boolean(bool value);
    static VGValue int8(int8_t v) { return signedNumber(kChar, v); }
    static VGValue int16(int16_t v) { return signedNumber(kShort, v); }
    static VGValue int32(int32_t v) { return signedNumber(kInt, v); }
    static VGValue int64(int64_t v) { return signedNumber(kLongLong, v); }
    static VGValue uint8(uint8_t v) { return unsignedNumber(kUChar, v); }
    static VGValue uint16(uint16_t v) { return unsignedNumber(kUShort, v); }
    static VGValue uint32(uint32_t v) { return unsignedNumber(kUInt, v); }
    static VGValue uint64(uint64_t v) { return unsignedNumber(kULongLong, v); }
    static VGValue float32(float v);
    static VGValue float64(double v);
    // A number of any storage type code; a code outside the known ones packs as its decimal text.
    static VGValue signedNumber(char type, int64_t v);
    static VGValue unsignedNumber(char type, uint64_t v);
    // A byte buffer. Marked buffers already hold MessagePack and are copied verbatim when packed.
    static VGValue data(QByteArray bytes, bool messagePack = false);
    static VGValue array(std::vector<VGValue> items = {});
    static VGValue map(std::initializer_list<std::pair<VGValue, VGValue>> pairs = {});
    // Some other object, known only by its description text (packed as that text).
    static VGValue description(std::string text);

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }
    bool isBool() const { return kind_ == Kind::Bool; }
    bool isNumber() const { return kind_ == Kind::Number; }
    bool isString() const { return kind_ == Kind::String; }
    bool isData() const { return kind_ == Kind::Data; }
    bool isArray() const { return kind_ == Kind::Array; }
    bool isMap() const { return kind_ == Kind::Map; }

    // Booleans read as 0/1 numbers; non-numbers read as 0.
    bool toBool() const;
    char numberType() const { return kind_ == Kind::Number ? type_ : 0; }
    bool isSignedType() const;
    bool isFloatType() const { return type_ == kFloat || type_ == kDouble; }
    int64_t toInt64() const;
    uint64_t toUInt64() const;
    double toDouble() const;

    // String text (UTF-8), the description text, or a byte buffer's bytes; empty otherwise.
    const std::string &text() const { return holdsText() ? text_ : emptyText(); }
    QString toQString() const { return QString::fromStdString(text()); }
    // Byte buffers: their bytes (a copy; bytesView() does not copy).
    QByteArray bytes() const { return QByteArray(text().data(), qsizetype(text().size())); }
    std::string_view bytesView() const { return text(); }
    bool vg_isMessagePack() const { return messagePack_; }
    void vg_setMessagePack(bool marked) { messagePack_ = marked; }

    // Arrays: the elements. Maps: keys and values alternating (key 0, value 0, key 1, ...).
    // Other kinds have none; asking to change them (items(), append) makes the value an empty
    // array first.
    const std::vector<VGValue> &items() const { return holdsItems() ? items_ : emptyItems(); }
    std::vector<VGValue> &items();
    size_t count() const { return kind_ == Kind::Map ? items().size() / 2 : items().size(); }
    const VGValue &at(size_t index) const { return items()[index]; }
    void append(VGValue item) { items().push_back(std::move(item)); }

    // Maps: the value for a key, or null when absent.
    const VGValue *find(const VGValue &key) const;
    const VGValue &value(const VGValue &key) const;
    bool contains(const VGValue &key) const { return find(key) != nullptr; }
    // Sets a map entry, replacing an equal key's value in place.
    void insert(VGValue key, VGValue value);
    bool remove(const VGValue &key);
    // Appends a pair without looking for an equal key (the unpacker does its own look-up).
    void appendPair(VGValue key, VGValue value);

    // Equality as the platform's objects compare: numbers by value whatever their storage type,
    // booleans with numbers 0 and 1, strings by text, containers element by element.
    friend bool operator==(const VGValue &a, const VGValue &b);
    size_t hash() const;

    // A readable form for people debugging uploads; not the wire form.
    QString toJson() const;

private:
    friend class VGUnpacker; // fills values in place while reading
    bool holdsText() const
    {
        return kind_ == Kind::String || kind_ == Kind::Description || kind_ == Kind::Data;
    }
    bool holdsItems() const { return kind_ == Kind::Array || kind_ == Kind::Map; }
    static const std::string &emptyText();
    static const std::vector<VGValue> &emptyItems();
    // Turns a null value into one of the given kind with its member constructed.
    void emplaceText(Kind kind, const char *bytes, size_t size)
    {
        new (&text_) std::string(bytes, size);
        kind_ = kind;
    }
    void emplaceItems(Kind kind)
    {
        new (&items_) std::vector<VGValue>();
        kind_ = kind;
    }
    // Ends the member and leaves the value null.
    void destroy() noexcept
    {
        if (holdsText())
            text_.~basic_string();
        else if (holdsItems())
            items_.~vector();
        kind_ = Kind::Null;
        type_ = 0;
        messagePack_ = false;
        u_ = 0;
    }

    Kind kind_ = Kind::Null;
    char type_ = 0;
    bool messagePack_ = false;
    // One member by kind: a tree holds many values, and most of them are numbers or short
    // strings, so a value is no larger than its largest member.
    union {
        int64_t i_;
        uint64_t u_;
        double d_;
        std::string text_;           // String, Description, Data
        std::vector<VGValue> items_; // Array, Map
    };
};

} // namespace murmelo
