// The property list's bytes, checked against a list written out by hand.
#include "tools/pipl/Pipl.h"
#include "tests/tools/pipl/PiplGolden.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Linestra::Pipl;
using Linestra::PiplGolden::firstDifference;
using Linestra::PiplGolden::macGolden;
using Linestra::PiplGolden::windowsGolden;

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
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
