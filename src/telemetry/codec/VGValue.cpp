#include "telemetry/codec/VGValue.h"

#include <cmath>
#include <cstring>
#include <functional>

namespace murmelo {

VGValue::VGValue(const VGValue &other)
    : kind_(other.kind_), type_(other.type_), messagePack_(other.messagePack_)
{
    if (other.holdsText())
        new (&text_) std::string(other.text_);
    else if (other.holdsItems())
        new (&items_) std::vector<VGValue>(other.items_);
    else
        u_ = other.u_;
}

VGValue::VGValue(VGValue &&other) noexcept
    : kind_(other.kind_), type_(other.type_), messagePack_(other.messagePack_)
{
    if (other.holdsText())
        new (&text_) std::string(std::move(other.text_));
    else if (other.holdsItems())
        new (&items_) std::vector<VGValue>(std::move(other.items_));
    else
        u_ = other.u_;
}

VGValue &VGValue::operator=(const VGValue &other)
{
    // Through a copy: `other` may live inside this value.
    if (this != &other)
        *this = VGValue(other);
    return *this;
}

VGValue &VGValue::operator=(VGValue &&other) noexcept
{
    if (this == &other)
        return *this;
    // `other` may live inside this value: take it out before this value's members go.
    VGValue taken(std::move(other));
    destroy();
    kind_ = taken.kind_;
    type_ = taken.type_;
    messagePack_ = taken.messagePack_;
    if (taken.holdsText())
        new (&text_) std::string(std::move(taken.text_));
    else if (taken.holdsItems())
        new (&items_) std::vector<VGValue>(std::move(taken.items_));
    else
        u_ = taken.u_;
    return *this;
}

const std::string &VGValue::emptyText()
{
    static const std::string empty;
    return empty;
}

const std::vector<VGValue> &VGValue::emptyItems()
{
    static const std::vector<VGValue> empty;
    return empty;
}

std::vector<VGValue> &VGValue::items()
{
    if (!holdsItems()) {
        destroy();
        emplaceItems(Kind::Array);
    }
    return items_;
}

VGValue VGValue::boolean(bool value)
{
    VGValue v;
    v.kind_ = Kind::Bool;
    v.i_ = value ? 1 : 0;
    return v;
}

VGValue VGValue::signedNumber(char type, int64_t value)
{
    VGValue v;
    v.kind_ = Kind::Number;
    v.type_ = type;
    v.i_ = value;
    return v;
}

VGValue VGValue::unsignedNumber(char type, uint64_t value)
{
    VGValue v;
    v.kind_ = Kind::Number;
    v.type_ = type;
    v.u_ = value;
    return v;
}

VGValue VGValue::float32(float value)
{
    VGValue v;
    v.kind_ = Kind::Number;
    v.type_ = kFloat;
    v.d_ = value;
    return v;
}

VGValue VGValue::float64(double value)
{
    VGValue v;
    v.kind_ = Kind::Number;
    v.type_ = kDouble;
    v.d_ = value;
    return v;
}

VGValue VGValue::data(QByteArray bytes, bool messagePack)
{
    VGValue v;
    v.emplaceText(Kind::Data, bytes.constData(), size_t(bytes.size()));
    v.messagePack_ = messagePack;
    return v;
}

VGValue VGValue::array(std::vector<VGValue> items)
{
    VGValue v;
    v.emplaceItems(Kind::Array);
    v.items_ = std::move(items);
    return v;
}

VGValue VGValue::map(std::initializer_list<std::pair<VGValue, VGValue>> pairs)
{
    VGValue v;
    v.emplaceItems(Kind::Map);
    for (const auto &[key, value] : pairs)
        v.insert(key, value);
    return v;
}

VGValue VGValue::description(std::string text)
{
    VGValue v;
    new (&v.text_) std::string(std::move(text));
    v.kind_ = Kind::Description;
    return v;
}

bool VGValue::isSignedType() const
{
    switch (type_) {
    case kChar:
    case kShort:
    case kInt:
    case kLong:
    case kLongLong:
        return true;
    case kUChar:
    case kUShort:
    case kUInt:
    case kULong:
    case kULongLong:
    case kFloat:
    case kDouble:
        return false;
    default:
        return true; // unknown codes carry a signed value
    }
}

bool VGValue::toBool() const
{
    if (kind_ == Kind::Bool)
        return i_ != 0;
    if (kind_ != Kind::Number)
        return false;
    return isFloatType() ? d_ != 0 : u_ != 0;
}

int64_t VGValue::toInt64() const
{
    if (kind_ == Kind::Bool)
        return i_;
    if (kind_ != Kind::Number)
        return 0;
    if (isFloatType())
        return std::isfinite(d_) ? int64_t(d_) : 0;
    return i_; // unsigned values above INT64_MAX wrap, as the platform's longLongValue does
}

uint64_t VGValue::toUInt64() const
{
    if (kind_ == Kind::Bool)
        return uint64_t(i_);
    if (kind_ != Kind::Number)
        return 0;
    if (isFloatType())
        return std::isfinite(d_) && d_ >= 0 ? uint64_t(d_) : 0;
    return u_;
}

double VGValue::toDouble() const
{
    if (kind_ == Kind::Bool)
        return double(i_);
    if (kind_ != Kind::Number)
        return 0;
    if (isFloatType())
        return d_;
    return isSignedType() ? double(i_) : double(u_);
}

const VGValue *VGValue::find(const VGValue &key) const
{
    if (kind_ != Kind::Map)
        return nullptr;
    for (size_t i = 0; i + 1 < items_.size(); i += 2) {
        if (items_[i] == key)
            return &items_[i + 1];
    }
    return nullptr;
}

const VGValue &VGValue::value(const VGValue &key) const
{
    static const VGValue absent{};
    const VGValue *found = find(key);
    return found ? *found : absent;
}

void VGValue::insert(VGValue key, VGValue value)
{
    if (kind_ != Kind::Map) {
        destroy();
        emplaceItems(Kind::Map);
    }
    for (size_t i = 0; i + 1 < items_.size(); i += 2) {
        if (items_[i] == key) {
            items_[i + 1] = std::move(value);
            return;
        }
    }
    appendPair(std::move(key), std::move(value));
}

bool VGValue::remove(const VGValue &key)
{
    for (size_t i = 0; kind_ == Kind::Map && i + 1 < items_.size(); i += 2) {
        if (items_[i] == key) {
            items_.erase(items_.begin() + i, items_.begin() + i + 2);
            return true;
        }
    }
    return false;
}

void VGValue::appendPair(VGValue key, VGValue value)
{
    if (!holdsItems()) {
        destroy();
        emplaceItems(Kind::Map);
    }
    items_.push_back(std::move(key));
    items_.push_back(std::move(value));
}

namespace {
bool numbersEqual(const VGValue &a, const VGValue &b)
{
    const bool aInt = a.isBool() || !a.isFloatType();
    const bool bInt = b.isBool() || !b.isFloatType();
    if (aInt && bInt) {
        const bool aNegative = (a.isBool() || a.isSignedType()) && a.toInt64() < 0;
        const bool bNegative = (b.isBool() || b.isSignedType()) && b.toInt64() < 0;
        if (aNegative != bNegative)
            return false;
        return a.toUInt64() == b.toUInt64();
    }
    return a.toDouble() == b.toDouble();
}
} // namespace

bool operator==(const VGValue &a, const VGValue &b)
{
    using Kind = VGValue::Kind;
    const bool aNumeric = a.kind_ == Kind::Number || a.kind_ == Kind::Bool;
    const bool bNumeric = b.kind_ == Kind::Number || b.kind_ == Kind::Bool;
    if (aNumeric && bNumeric)
        return numbersEqual(a, b);
    if (a.kind_ != b.kind_)
        return false;
    switch (a.kind_) {
    case Kind::Null:
        return true;
    case Kind::String:
    case Kind::Description:
    case Kind::Data:
        return a.text_ == b.text_;
    case Kind::Array:
    case Kind::Map:
        return a.items_ == b.items_; // maps compare in order; the unpacker keeps wire order
    default:
        return false;
    }
}

size_t VGValue::hash() const
{
    switch (kind_) {
    case Kind::Null:
        return 0x9e3779b9;
    case Kind::Bool:
    case Kind::Number: {
        // Equal numbers of different storage types hash alike: integral values by their value.
        const double d = toDouble();
        if (!isFloatType() || (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9e18))
            return std::hash<uint64_t>()(isFloatType() ? uint64_t(int64_t(d)) : u_);
        return std::hash<double>()(d);
    }
    case Kind::String:
    case Kind::Description:
    case Kind::Data:
        return std::hash<std::string>()(text_);
    case Kind::Array:
    case Kind::Map: {
        size_t h = items_.size();
        for (const VGValue &item : items_)
            h = h * 31 + item.hash();
        return h;
    }
    }
    return 0;
}

namespace {
void appendJsonString(QString &out, const QString &text)
{
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
}

void appendJson(QString &out, const VGValue &v, int indent)
{
    const QString pad(indent * 2, QLatin1Char(' '));
    const QString innerPad((indent + 1) * 2, QLatin1Char(' '));
    switch (v.kind()) {
    case VGValue::Kind::Null:
        out += QLatin1String("null");
        return;
    case VGValue::Kind::Bool:
        out += v.toBool() ? QLatin1String("true") : QLatin1String("false");
        return;
    case VGValue::Kind::Number:
        if (v.isFloatType()) {
            const double d = v.toDouble();
            // JSON has no infinities or NaN; they are written as strings.
            if (std::isfinite(d))
                out += QString::number(d, 'g', v.numberType() == VGValue::kFloat ? 9 : 17);
            else
                appendJsonString(out, QString::number(d));
        } else if (v.isSignedType()) {
            out += QString::number(v.toInt64());
        } else {
            out += QString::number(v.toUInt64());
        }
        return;
    case VGValue::Kind::String:
    case VGValue::Kind::Description:
        appendJsonString(out, v.toQString());
        return;
    case VGValue::Kind::Data:
        appendJsonString(out, QString::fromLatin1(v.bytes().toHex()));
        return;
    case VGValue::Kind::Array:
        if (v.items().empty()) {
            out += QLatin1String("[]");
            return;
        }
        out += QLatin1String("[\n");
        for (size_t i = 0; i < v.items().size(); ++i) {
            out += innerPad;
            appendJson(out, v.items()[i], indent + 1);
            out += i + 1 < v.items().size() ? QLatin1String(",\n") : QLatin1String("\n");
        }
        out += pad + QLatin1Char(']');
        return;
    case VGValue::Kind::Map:
        if (v.items().empty()) {
            out += QLatin1String("{}");
            return;
        }
        out += QLatin1String("{\n");
        for (size_t i = 0; i + 1 < v.items().size(); i += 2) {
            out += innerPad;
            const VGValue &key = v.items()[i];
            if (key.isString())
                appendJsonString(out, key.toQString());
            else {
                QString keyText;
                appendJson(keyText, key, 0);
                appendJsonString(out, keyText);
            }
            out += QLatin1String(": ");
            appendJson(out, v.items()[i + 1], indent + 1);
            out += i + 2 < v.items().size() ? QLatin1String(",\n") : QLatin1String("\n");
        }
        out += pad + QLatin1Char('}');
        return;
    }
}
} // namespace

QString VGValue::toJson() const
{
    QString out;
    appendJson(out, *this, 0);
    return out;
}

} // namespace murmelo
