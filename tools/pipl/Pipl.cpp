#include "tools/pipl/Pipl.h"

#include "host/EffectIdentity.h"

#include <stdexcept>

namespace Linestra::Pipl {

namespace {

constexpr std::uint16_t kPiplLayoutVersion = 1;
// The property list's reserved info ('aeFL') is 0; the reserved info the
// effect passes to the registration callback (Identity::kReservedInfo, 8) is
// a different value, and the host does not compare the two.
constexpr std::uint32_t kPropertyListReservedInfo = 0;

std::vector<std::uint8_t> paddedToFour(std::vector<std::uint8_t> bytes)
{
    while (bytes.size() % 4 != 0) bytes.push_back(0);
    return bytes;
}

Property makeProperty(std::uint32_t key, std::vector<Field> fields)
{
    Property property;
    property.vendor = Identity::kVendor;
    property.key = key;
    property.id = 0;
    property.fields = std::move(fields);
    return property;
}

Field u16Field(std::int16_t value)
{
    return Field{Field::Type::U16, static_cast<std::uint16_t>(value), {}};
}

Field u32Field(std::uint32_t value)
{
    return Field{Field::Type::U32, value, {}};
}

Field bytesField(std::vector<std::uint8_t> bytes)
{
    return Field{Field::Type::Bytes, 0, std::move(bytes)};
}

class Writer {
public:
    explicit Writer(ByteOrder order) : order_(order) {}

    void u16(std::uint32_t value) { put(value, 2); }
    void u32(std::uint32_t value) { put(value, 4); }
    void bytes(const std::vector<std::uint8_t>& data) { out_.insert(out_.end(), data.begin(), data.end()); }
    void zeros(std::size_t count) { out_.insert(out_.end(), count, 0); }
    std::size_t size() const { return out_.size(); }
    std::vector<std::uint8_t> take() { return std::move(out_); }

private:
    void put(std::uint32_t value, int width)
    {
        for (int i = 0; i < width; ++i) {
            const int shift = order_ == ByteOrder::LittleEndian ? 8 * i : 8 * (width - 1 - i);
            out_.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFFu));
        }
    }

    ByteOrder order_;
    std::vector<std::uint8_t> out_;
};

std::size_t fieldLength(const Field& field)
{
    switch (field.type) {
    case Field::Type::U16: return 2;
    case Field::Type::U32: return 4;
    case Field::Type::Bytes: return field.bytes.size();
    }
    return 0;
}

} // namespace

ByteOrder byteOrderOf(Target target)
{
    return target == Target::Windows ? ByteOrder::LittleEndian : ByteOrder::BigEndian;
}

Property fourCharCodeProperty(std::uint32_t key, std::uint32_t code)
{
    return makeProperty(key, {u32Field(code)});
}

Property uint32Property(std::uint32_t key, std::uint32_t value)
{
    return makeProperty(key, {u32Field(value)});
}

Property int16Property(std::uint32_t key, std::int16_t value)
{
    return makeProperty(key, {u16Field(value)});
}

Property int16PairProperty(std::uint32_t key, std::int16_t first, std::int16_t second)
{
    return makeProperty(key, {u16Field(first), u16Field(second)});
}

Property pascalStringProperty(std::uint32_t key, std::string_view text)
{
    if (text.size() > 255)
        throw std::invalid_argument("PiPL: Pascal string longer than 255 bytes: \"" + std::string(text) + "\"");
    std::vector<std::uint8_t> bytes;
    bytes.push_back(static_cast<std::uint8_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return makeProperty(key, {bytesField(paddedToFour(std::move(bytes)))});
}

Property cStringProperty(std::uint32_t key, std::string_view text)
{
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return makeProperty(key, {bytesField(paddedToFour(std::move(bytes)))});
}

std::vector<Property> effectProperties(Target target)
{
    using Identity::fourCharCode;
    std::vector<Property> properties;
    properties.push_back(fourCharCodeProperty(fourCharCode("kind"), Identity::kKind));
    properties.push_back(pascalStringProperty(fourCharCode("name"), Identity::kName));
    properties.push_back(pascalStringProperty(fourCharCode("catg"), Identity::kCategory));
    if (target == Target::Windows) {
        properties.push_back(cStringProperty(fourCharCode("8664"), Identity::kEntryPointName));
    } else {
        properties.push_back(pascalStringProperty(fourCharCode("mi64"), Identity::kEntryPointName));
        properties.push_back(pascalStringProperty(fourCharCode("ma64"), Identity::kEntryPointName));
    }
    properties.push_back(
        int16PairProperty(fourCharCode("ePVR"), Identity::kPiplVersionMajor, Identity::kPiplVersionMinor));
    properties.push_back(int16PairProperty(fourCharCode("eSVR"), static_cast<std::int16_t>(Identity::kApiVersionMajor),
                                           static_cast<std::int16_t>(Identity::kApiVersionMinor)));
    properties.push_back(uint32Property(fourCharCode("eVER"), Identity::kVersion));
    properties.push_back(int16Property(fourCharCode("eINF"), Identity::kInfoFlags));
    properties.push_back(uint32Property(fourCharCode("eGLO"), Identity::kOutFlags));
    properties.push_back(uint32Property(fourCharCode("eGL2"), Identity::kOutFlags2));
    properties.push_back(pascalStringProperty(fourCharCode("eMNA"), Identity::kMatchName));
    properties.push_back(uint32Property(fourCharCode("aeFL"), kPropertyListReservedInfo));
    return properties;
}

std::vector<std::uint8_t> serialise(const std::vector<Property>& properties, ByteOrder order)
{
    Writer out(order);
    out.u16(kPiplLayoutVersion);
    out.u32(0); // reserved
    out.u32(static_cast<std::uint32_t>(properties.size()));
    for (const Property& property : properties) {
        std::size_t length = 0;
        for (const Field& field : property.fields) length += fieldLength(field);
        out.u32(property.vendor);
        out.u32(property.key);
        out.u32(property.id);
        out.u32(static_cast<std::uint32_t>(length));
        const std::size_t start = out.size();
        for (const Field& field : property.fields) {
            switch (field.type) {
            case Field::Type::U16: out.u16(field.value); break;
            case Field::Type::U32: out.u32(field.value); break;
            case Field::Type::Bytes: out.bytes(field.bytes); break;
            }
        }
        // The data, not the whole list, is padded: the list starts with a
        // 10-byte header, so padding is counted from the start of the data.
        out.zeros((4 - (out.size() - start) % 4) % 4);
    }
    return out.take();
}

std::vector<std::uint8_t> effectPipl(Target target)
{
    return serialise(effectProperties(target), byteOrderOf(target));
}

std::string windowsResourceScript(std::string_view piplPath)
{
    std::string script;
    script += "// Generated by linestra-pipl: the effect's property list as resource PIPL 16000.\n";
    script += "LANGUAGE 0x09, 0x01 // English (United States), 1033\n";
    script += "16000 PIPL \"";
    for (char c : piplPath) {
        if (c == '\\' || c == '"') script += '\\';
        script += c;
    }
    script += "\"\n";
    return script;
}

} // namespace Linestra::Pipl
