// The effect's property list written out by hand, byte by byte: the
// reference that the generator's output and the built modules' resources
// are compared with.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace Linestra::PiplGolden {

inline void append(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

inline void append(std::vector<std::uint8_t>& out, std::initializer_list<int> values)
{
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
}

// Windows form: little-endian, so every four-character code reads backwards.
inline std::vector<std::uint8_t> windowsGolden()
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
    append(g, {0, 0, 0, 0}); // reserved info 0 (registration's is 8)
    return g;
}

// macOS form: big-endian, and the entry point under one key per
// architecture as Pascal strings.
inline std::vector<std::uint8_t> macGolden()
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
    append(g, {0, 0, 0, 0}); // reserved info 0 (registration's is 8)
    return g;
}

// Index of the first differing byte, for a readable failure.
inline std::string firstDifference(const std::vector<std::uint8_t>& actual, const std::vector<std::uint8_t>& expected)
{
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i)
        if (actual[i] != expected[i])
            return "first difference at byte " + std::to_string(i) + ": " + std::to_string(actual[i]) + " instead of " +
                   std::to_string(expected[i]);
    return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size());
}

} // namespace Linestra::PiplGolden
