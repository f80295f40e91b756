#include "harness/protocol/PropertyList.h"

#include <cstdio>

namespace harness {

namespace {

constexpr std::uint32_t Code(const char (&text)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}

class Reader {
public:
    Reader(const std::vector<std::uint8_t>& bytes, PiplByteOrder order) : bytes_(bytes), order_(order) {}

    std::uint32_t number(std::size_t width, const char* what)
    {
        need(width, what);
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift =
                order_ == PiplByteOrder::LittleEndian ? 8 * i : 8 * (width - 1 - i);
            value |= static_cast<std::uint32_t>(bytes_[at_ + i]) << shift;
        }
        at_ += width;
        return value;
    }

    std::vector<std::uint8_t> take(std::size_t count, const char* what)
    {
        need(count, what);
        std::vector<std::uint8_t> out(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                                      bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + count));
        at_ += count;
        return out;
    }

    void skip(std::size_t count, const char* what)
    {
        need(count, what);
        at_ += count;
    }

    std::size_t at() const { return at_; }
    std::size_t left() const { return bytes_.size() - at_; }

private:
    void need(std::size_t count, const char* what) const
    {
        if (count > bytes_.size() - at_)
            throw PropertyListError("property list ends at byte " + std::to_string(bytes_.size()) + " inside " +
                                    what + " (needs " + std::to_string(count) + " bytes at byte " +
                                    std::to_string(at_) + ")");
    }

    const std::vector<std::uint8_t>& bytes_;
    PiplByteOrder order_;
    std::size_t at_ = 0;
};

std::uint32_t ReadNumber(const std::vector<std::uint8_t>& data, std::size_t offset, std::size_t width,
                         PiplByteOrder order)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t shift = order == PiplByteOrder::LittleEndian ? 8 * i : 8 * (width - 1 - i);
        value |= static_cast<std::uint32_t>(data[offset + i]) << shift;
    }
    return value;
}

void NeedLength(const PiplProperty& p, std::size_t length)
{
    if (p.data.size() != length)
        throw PropertyListError("property '" + FourCharText(p.key) + "' holds " + std::to_string(p.data.size()) +
                                " bytes, expected " + std::to_string(length));
}

std::uint32_t U32(const PiplProperty& p, PiplByteOrder order)
{
    NeedLength(p, 4);
    return ReadNumber(p.data, 0, 4, order);
}

std::pair<int, int> U16Pair(const PiplProperty& p, PiplByteOrder order)
{
    NeedLength(p, 4);
    return {static_cast<std::int16_t>(ReadNumber(p.data, 0, 2, order)),
            static_cast<std::int16_t>(ReadNumber(p.data, 2, 2, order))};
}

std::string PascalString(const PiplProperty& p)
{
    if (p.data.empty() || p.data[0] + 1u > p.data.size())
        throw PropertyListError("property '" + FourCharText(p.key) + "' is not a Pascal string (" +
                                std::to_string(p.data.size()) + " bytes)");
    return std::string(p.data.begin() + 1, p.data.begin() + 1 + p.data[0]);
}

std::string CString(const PiplProperty& p)
{
    for (std::size_t i = 0; i < p.data.size(); ++i)
        if (p.data[i] == 0)
            return std::string(p.data.begin(), p.data.begin() + static_cast<std::ptrdiff_t>(i));
    throw PropertyListError("property '" + FourCharText(p.key) + "' is a string without its terminating zero");
}

std::string HexText(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

} // namespace

const PiplProperty* PropertyList::find(std::uint32_t key) const
{
    for (const PiplProperty& p : properties)
        if (p.key == key)
            return &p;
    return nullptr;
}

std::string FourCharText(std::uint32_t code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((code >> shift) & 0xFFu);
        if (c >= 0x20 && c < 0x7F)
            text += static_cast<char>(c);
        else
            text += "\\x" + HexText(c).substr(8);
    }
    return text;
}

PropertyList ParsePropertyList(const std::vector<std::uint8_t>& bytes, PiplByteOrder order)
{
    Reader in(bytes, order);
    PropertyList list;
    list.version = static_cast<std::uint16_t>(in.number(2, "the version"));
    in.number(4, "the reserved word");
    const std::uint32_t count = in.number(4, "the count of properties");
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string what = "property " + std::to_string(i + 1) + " of " + std::to_string(count);
        PiplProperty p;
        p.vendor = in.number(4, what.c_str());
        p.key = in.number(4, what.c_str());
        p.id = in.number(4, what.c_str());
        const std::uint32_t length = in.number(4, what.c_str());
        p.data = in.take(length, what.c_str());
        in.skip((4 - length % 4) % 4, what.c_str());
        list.properties.push_back(std::move(p));
    }
    if (in.left() != 0)
        throw PropertyListError(std::to_string(in.left()) + " bytes follow the last of the " + std::to_string(count) +
                                " properties");
    return list;
}

EffectPropertyValues ReadEffectProperties(const PropertyList& list, PiplByteOrder order)
{
    EffectPropertyValues v;
    for (const PiplProperty& p : list.properties) {
        switch (p.key) {
        case Code("kind"): v.kind = U32(p, order); break;
        case Code("name"): v.name = PascalString(p); break;
        case Code("catg"): v.category = PascalString(p); break;
        case Code("8664"): v.entryPoints["8664"] = CString(p); break;
        case Code("mi64"): v.entryPoints["mi64"] = PascalString(p); break;
        case Code("ma64"): v.entryPoints["ma64"] = PascalString(p); break;
        case Code("ePVR"): v.piplVersion = U16Pair(p, order); break;
        case Code("eSVR"): v.apiVersion = U16Pair(p, order); break;
        case Code("eVER"): v.version = U32(p, order); break;
        case Code("eINF"):
            NeedLength(p, 2);
            v.infoFlags = static_cast<std::uint16_t>(ReadNumber(p.data, 0, 2, order));
            break;
        case Code("eGLO"): v.outFlags = U32(p, order); break;
        case Code("eGL2"): v.outFlags2 = U32(p, order); break;
        case Code("eMNA"): v.matchName = PascalString(p); break;
        case Code("aeFL"): v.reservedInfo = U32(p, order); break;
        default: break;
        }
    }
    return v;
}

std::vector<std::string> CompareWithRegistration(const EffectPropertyValues& pipl, const Registration& r)
{
    std::vector<std::string> problems;
    const auto text = [&](const char* key, const std::optional<std::string>& listed, const std::string& reported) {
        if (!listed)
            problems.push_back(std::string("the property list has no '") + key + "'");
        else if (*listed != reported)
            problems.push_back(std::string("the property list's '") + key + "' is \"" + *listed +
                               "\" but registration reports \"" + reported + "\"");
    };
    text("name", pipl.name, r.name);
    text("eMNA", pipl.matchName, r.matchName);
    text("catg", pipl.category, r.category);
    const auto entry = pipl.entryPoints.find("8664");
    text("8664", entry == pipl.entryPoints.end() ? std::nullopt : std::optional<std::string>(entry->second),
         r.entryPoint);
    if (!pipl.kind)
        problems.push_back("the property list has no 'kind'");
    else if (*pipl.kind != static_cast<std::uint32_t>(r.kind))
        problems.push_back("the property list's kind is '" + FourCharText(*pipl.kind) + "' but registration reports '" +
                           FourCharText(static_cast<std::uint32_t>(r.kind)) + "'");
    if (!pipl.apiVersion)
        problems.push_back("the property list has no 'eSVR'");
    else if (pipl.apiVersion->first != r.apiVersionMajor || pipl.apiVersion->second != r.apiVersionMinor)
        problems.push_back("the property list's API version is " + std::to_string(pipl.apiVersion->first) + "." +
                           std::to_string(pipl.apiVersion->second) + " but registration reports " +
                           std::to_string(r.apiVersionMajor) + "." + std::to_string(r.apiVersionMinor));
    return problems;
}

std::vector<std::string> CompareWithGlobalSetup(const EffectPropertyValues& pipl, A_u_long myVersion,
                                                PF_OutFlags outFlags, PF_OutFlags2 outFlags2, A_long applId)
{
    std::vector<std::string> problems;
    const auto number = [&](const char* key, const char* what, const std::optional<std::uint32_t>& listed,
                            std::uint32_t reported) {
        if (!listed)
            problems.push_back(std::string("the property list has no '") + key + "'");
        else if (*listed != reported)
            problems.push_back(std::string("the property list's ") + what + " ('" + key + "') is " + HexText(*listed) +
                               " but global set-up reports " + HexText(reported));
    };
    number("eVER", "version", pipl.version, static_cast<std::uint32_t>(myVersion));
    number("eGLO", "global flags", pipl.outFlags, static_cast<std::uint32_t>(outFlags));
    if (applId != kApplIdEditor)
        number("eGL2", "global flags 2", pipl.outFlags2, static_cast<std::uint32_t>(outFlags2));
    return problems;
}

} // namespace harness
