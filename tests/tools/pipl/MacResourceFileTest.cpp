// The macOS bundle's resource file, as the generator wrote it at build time,
// parsed back: the data-fork resource file's header and map, the one
// resource 'PIPL' 16000, and every property of the macOS property list.
#include "harness/protocol/PropertyList.h"
#include "tests/tools/pipl/PiplGolden.h"
#include "tools/pipl/ResourceFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::uint32_t Big(const std::vector<std::uint8_t>& b, std::size_t at, int width)
{
    if (at + static_cast<std::size_t>(width) > b.size())
        throw std::out_of_range("read past the end at byte " + std::to_string(at));
    std::uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}

constexpr std::uint32_t Code(const char (&text)[5])
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}

struct ParsedResource {
    std::uint32_t type = 0;
    std::int16_t id = 0;
    bool named = false;
    std::uint8_t attributes = 0;
    std::vector<std::uint8_t> data;
};

// Reads every resource of a data-fork resource file, checking the header
// against the map as a resource manager would.
std::vector<ParsedResource> ParseResourceFile(const std::vector<std::uint8_t>& f)
{
    const std::uint32_t dataOffset = Big(f, 0, 4);
    const std::uint32_t mapOffset = Big(f, 4, 4);
    const std::uint32_t dataLength = Big(f, 8, 4);
    const std::uint32_t mapLength = Big(f, 12, 4);
    if (dataOffset < 16 || dataOffset + dataLength > mapOffset || mapOffset + mapLength != f.size())
        throw std::runtime_error("header offsets and lengths do not tile the file");
    for (std::size_t i = 0; i < 16; ++i)
        if (f[mapOffset + i] != f[i])
            throw std::runtime_error("the map's copy of the header differs at byte " + std::to_string(i));
    const std::uint32_t typeList = mapOffset + Big(f, mapOffset + 24, 2);
    const std::uint32_t nameList = mapOffset + Big(f, mapOffset + 26, 2);
    const std::uint32_t types = Big(f, typeList, 2) + 1;
    std::vector<ParsedResource> out;
    for (std::uint32_t t = 0; t < types; ++t) {
        const std::uint32_t entry = typeList + 2 + 8 * t;
        const std::uint32_t type = Big(f, entry, 4);
        const std::uint32_t count = Big(f, entry + 4, 2) + 1;
        const std::uint32_t references = typeList + Big(f, entry + 6, 2);
        for (std::uint32_t r = 0; r < count; ++r) {
            const std::uint32_t ref = references + 12 * r;
            ParsedResource res;
            res.type = type;
            res.id = static_cast<std::int16_t>(Big(f, ref, 2));
            res.named = Big(f, ref + 2, 2) != 0xFFFF;
            res.attributes = static_cast<std::uint8_t>(Big(f, ref + 4, 1));
            const std::uint32_t at = dataOffset + Big(f, ref + 5, 3);
            const std::uint32_t length = Big(f, at, 4);
            if (at + 4 + length > dataOffset + dataLength)
                throw std::runtime_error("resource data runs past the data area");
            res.data.assign(f.begin() + at + 4, f.begin() + at + 4 + length);
            out.push_back(std::move(res));
        }
    }
    if (nameList > f.size())
        throw std::runtime_error("the name list lies past the end");
    return out;
}

std::vector<std::uint8_t> GeneratedFile()
{
    std::ifstream file(LINESTRA_MAC_RSRC_FILE, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

} // namespace

TEST(MacResourceFile, HoldsOneResourcePipl16000WithTheMacPropertyList)
{
    const std::vector<std::uint8_t> file = GeneratedFile();
    ASSERT_FALSE(file.empty()) << "cannot read " << LINESTRA_MAC_RSRC_FILE;
    EXPECT_EQ(file, Linestra::Pipl::effectMacResourceFile()) << "the generated file is not the tool's current output";

    const std::vector<ParsedResource> resources = ParseResourceFile(file);
    ASSERT_EQ(resources.size(), 1u);
    const ParsedResource& pipl = resources.front();
    EXPECT_EQ(pipl.type, Code("PIPL"));
    EXPECT_EQ(pipl.id, 16000);
    EXPECT_FALSE(pipl.named);
    EXPECT_EQ(pipl.attributes, 0);
    const std::vector<std::uint8_t> expected = Linestra::PiplGolden::macGolden();
    EXPECT_EQ(pipl.data, expected) << Linestra::PiplGolden::firstDifference(pipl.data, expected);
}

TEST(MacResourceFile, EveryPropertyReadsBackAsTheHostReadsIt)
{
    const std::vector<ParsedResource> resources = ParseResourceFile(GeneratedFile());
    ASSERT_EQ(resources.size(), 1u);
    using namespace harness;
    const PropertyList list = ParsePropertyList(resources.front().data, PiplByteOrder::BigEndian);
    EXPECT_EQ(list.version, 1);
    const std::vector<std::uint32_t> keys{Code("kind"), Code("name"), Code("catg"), Code("mi64"), Code("ma64"),
                                          Code("ePVR"), Code("eSVR"), Code("eVER"), Code("eINF"), Code("eGLO"),
                                          Code("eGL2"), Code("eMNA"), Code("aeFL")};
    ASSERT_EQ(list.properties.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(list.properties[i].key, keys[i]) << "property " << i << " is '"
                                                   << FourCharText(list.properties[i].key) << "'";
        EXPECT_EQ(list.properties[i].vendor, Code("8BIM"));
        EXPECT_EQ(list.properties[i].id, 0u);
    }

    const EffectPropertyValues v = ReadEffectProperties(list, PiplByteOrder::BigEndian);
    EXPECT_EQ(v.kind, Code("eFKT"));
    EXPECT_EQ(v.name, "Linestra");
    EXPECT_EQ(v.category, "Cobblewood");
    EXPECT_EQ(v.matchName, "CobblewoodLinestra");
    // One entry point per architecture, none for Windows.
    EXPECT_EQ(v.entryPoints, (std::map<std::string, std::string>{{"ma64", "EffectMain"}, {"mi64", "EffectMain"}}));
    EXPECT_EQ(v.piplVersion, (std::pair<int, int>{2, 0}));
    EXPECT_EQ(v.apiVersion, (std::pair<int, int>{13, 27}));
    EXPECT_EQ(v.version, 0x00088001u);
    EXPECT_EQ(v.infoFlags, 0);
    EXPECT_EQ(v.outFlags, 0x06000400u);
    EXPECT_EQ(v.outFlags2, 0x0A001400u);
    EXPECT_EQ(v.reservedInfo, 0u);
}

TEST(MacResourceFile, LayoutOfAResourceWithOddLength)
{
    // Three bytes of data: the map starts right after them, unpadded, and a
    // reader finds the bytes through the reference.
    const std::vector<std::uint8_t> file = Linestra::Pipl::resourceFile(Code("TEST"), -2, {1, 2, 3});
    EXPECT_EQ(file.size(), 256u + 4u + 3u + 50u);
    const std::vector<ParsedResource> resources = ParseResourceFile(file);
    ASSERT_EQ(resources.size(), 1u);
    EXPECT_EQ(resources[0].type, Code("TEST"));
    EXPECT_EQ(resources[0].id, -2);
    EXPECT_EQ(resources[0].data, (std::vector<std::uint8_t>{1, 2, 3}));
}
