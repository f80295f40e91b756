// The property list's bytes, checked against a list written out by hand.
#include "tools/pipl/Pipl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Linestra::Pipl;

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

void append(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

void append(std::vector<std::uint8_t>& out, std::initializer_list<int> values)
{
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
}

// Windows form: little-endian, so every four-character code reads backwards.
std::vector<std::uint8_t> windowsGolden()
{
    std::vector<std::uint8_t> g;
    append(g, {0x01, 0x00});             // version 1
    append(g, {0x00, 0x00, 0x00, 0x00}); // reserved
    append(g, {0x0C, 0x00, 0x00, 0x00}); // 12 properties

    // vendor, key, id 0, length, data
    append(g, "MIB8"), append(g, "dnik"), append(g, {0, 0, 0, 0}), append(g, {4, 0, 0, 0});
    append(g, "TKFe");

    append(g, "MIB8"), append(g, "eman"), append(g, {0, 0, 0, 0}), append(g, {12, 0, 0, 0});
    append(g, {8}), append(g, "Linestra"), append(g, {0, 0, 0});

    append(g, "MIB8"), append(g, "gtac"), append(g, {0, 0, 0, 0}), append(g, {12, 0, 0, 0});
    append(g, {10}), append(g, "Cobblewood"), append(g, {0});

    append(g, "MIB8"), append(g, "4668"), append(g, {0, 0, 0, 0}), append(g, {12, 0, 0, 0});
    append(g, "EffectMain"), append(g, {0, 0});

    append(g, "MIB8"), append(g, "RVPe"), append(g, {0, 0, 0, 0}), append(g, {4, 0, 0, 0});
    append(g, {2, 0, 0, 0}); // 2, 0

    append(g, "MIB8"), append(g, "RVSe"), append(g, {0, 0, 0, 0}), append(g, {4, 0, 0, 0});
    append(g, {13, 0, 27, 0}); // 13, 27

    append(g, "MIB8"), append(g, "REVe"), append(g, {0, 0, 0, 0}), append(g, {4, 0, 0, 0});
    append(g, {0x01, 0x80, 0x08, 0x00}); // 0x00088001

    append(g, "MIB8"), append(g, "FNIe"), append(g, {0, 0, 0, 0}), append(g, {2, 0, 0, 0});
    append(g, {0, 0}), append(g, {0, 0}); // 16-bit 0, padded

    append(g, "MIB8"), append(g, "OLGe"), append(g, {0, 0, 0, 0}), append(g, {4, 0, 0, 0});
    append(g, {0x00, 0x04, 0x00, 0x06}); // 0x06000400

    append(g, "MIB8"), append(g, "2LGe"), append(g, {0, 0, 0, 0}), append(g, {4, 0, 0, 0});
    append(g, {0x00, 0x14, 0x00, 0x0A}); // 0x0A001400

    append(g, "MIB8"), append(g, "ANMe"), append(g, {0, 0, 0, 0}), append(g, {20, 0, 0, 0});
    append(g, {18}), append(g, "CobblewoodLinestra"), append(g, {0});

    append(g, "MIB8"), append(g, "LFea"), append(g, {0, 0, 0, 0}), append(g, {4, 0, 0, 0});
    append(g, {8, 0, 0, 0});
    return g;
}

// macOS form: big-endian, and the entry point under one key per
// architecture as Pascal strings.
std::vector<std::uint8_t> macGolden()
{
    std::vector<std::uint8_t> g;
    append(g, {0x00, 0x01});
    append(g, {0x00, 0x00, 0x00, 0x00});
    append(g, {0x00, 0x00, 0x00, 0x0D}); // 13 properties

    append(g, "8BIM"), append(g, "kind"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 4});
    append(g, "eFKT");
    append(g, "8BIM"), append(g, "name"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 12});
    append(g, {8}), append(g, "Linestra"), append(g, {0, 0, 0});
    append(g, "8BIM"), append(g, "catg"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 12});
    append(g, {10}), append(g, "Cobblewood"), append(g, {0});
    append(g, "8BIM"), append(g, "mi64"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 12});
    append(g, {10}), append(g, "EffectMain"), append(g, {0});
    append(g, "8BIM"), append(g, "ma64"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 12});
    append(g, {10}), append(g, "EffectMain"), append(g, {0});
    append(g, "8BIM"), append(g, "ePVR"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 4});
    append(g, {0, 2, 0, 0});
    append(g, "8BIM"), append(g, "eSVR"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 4});
    append(g, {0, 13, 0, 27});
    append(g, "8BIM"), append(g, "eVER"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 4});
    append(g, {0x00, 0x08, 0x80, 0x01});
    append(g, "8BIM"), append(g, "eINF"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 2});
    append(g, {0, 0, 0, 0});
    append(g, "8BIM"), append(g, "eGLO"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 4});
    append(g, {0x06, 0x00, 0x04, 0x00});
    append(g, "8BIM"), append(g, "eGL2"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 4});
    append(g, {0x0A, 0x00, 0x14, 0x00});
    append(g, "8BIM"), append(g, "eMNA"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 20});
    append(g, {18}), append(g, "CobblewoodLinestra"), append(g, {0});
    append(g, "8BIM"), append(g, "aeFL"), append(g, {0, 0, 0, 0}), append(g, {0, 0, 0, 4});
    append(g, {0, 0, 0, 8});
    return g;
}

// Index of the first differing byte, for a readable failure.
std::string firstDifference(const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& expected)
{
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i)
        if (actual[i] != expected[i])
            return "first difference at byte " + std::to_string(i) + ": " + std::to_string(actual[i]) + " instead of " +
                   std::to_string(expected[i]);
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size());
}

} // namespace

TEST(Pipl, WindowsFormIsByteExact)
{
    const std::vector<std::uint8_t> expected = windowsGolden();
    ASSERT_EQ(expected.size(), 290u); // 10-byte header, 12 x 16-byte property headers, 88 data bytes
    const std::vector<std::uint8_t> actual = effectPipl(Target::Windows);
    EXPECT_EQ(actual, expected) << firstDifference(actual, expected);
}

TEST(Pipl, MacFormIsByteExact)
{
    const std::vector<std::uint8_t> expected = macGolden();
    const std::vector<std::uint8_t> actual = effectPipl(Target::MacOS);
    EXPECT_EQ(actual, expected) << firstDifference(actual, expected);
}

TEST(Pipl, GeneratedFileIsTheWindowsForm)
{
    FILE* file = std::fopen(LINESTRA_GENERATED_PIPL, "rb");
    ASSERT_NE(file, nullptr) << LINESTRA_GENERATED_PIPL;
    std::vector<std::uint8_t> contents;
    for (int c; (c = std::fgetc(file)) != EOF;) contents.push_back(static_cast<std::uint8_t>(c));
    std::fclose(file);
    EXPECT_EQ(contents, windowsGolden()) << firstDifference(contents, windowsGolden());
}

TEST(Pipl, SerialisationPadsDataOfAnyLength)
{
    // A 5-character C string takes 6 bytes and is padded to 8 inside its data;
    // a lone 16-bit value counts 2 and is padded after.
    const std::vector<Property> properties = {cStringProperty(0x61626364, "hello"), int16Property(0x65666768, -2)};
    const std::vector<std::uint8_t> expected = bytes({
        0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 2,                         //
        '8', 'B', 'I', 'M', 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 8, //
        'h', 'e', 'l', 'l', 'o', 0, 0, 0,                           //
        '8', 'B', 'I', 'M', 'e', 'f', 'g', 'h', 0, 0, 0, 0, 0, 0, 0, 2, //
        0xFF, 0xFE, 0, 0,                                           //
    });
    EXPECT_EQ(serialise(properties, ByteOrder::BigEndian), expected);
}

TEST(Pipl, RefusesOverlongPascalString)
{
    EXPECT_THROW(pascalStringProperty(0x6E616D65, std::string(256, 'x')), std::invalid_argument);
    EXPECT_NO_THROW(pascalStringProperty(0x6E616D65, std::string(255, 'x')));
}

TEST(Pipl, ResourceScriptNamesTheFileAsPipl16000)
{
    const std::string script = windowsResourceScript("C:\\out\\Linestra.pipl");
    EXPECT_NE(script.find("LANGUAGE 0x09, 0x01"), std::string::npos);
    EXPECT_NE(script.find("16000 PIPL \"C:\\\\out\\\\Linestra.pipl\""), std::string::npos) << script;
}
