// The effect's identity: the one description from which the registration
// call, global set-up and the plug-in property list (tools/pipl) are all
// produced, so that what the host reads from the property list and what the
// module reports when it runs cannot drift apart.
//
// Self-contained on purpose: the property-list generator is a native build
// tool and includes this header without the host API. The host flag values
// below are checked against the API's named flags in host/GlobalSetup.cpp.
#pragma once

#include <cstdint>

namespace Linestra::Identity {

// Builds a four-character code the way the host compares them: the first
// character in the most significant byte ('eFKT' is 0x65464B54).
constexpr std::uint32_t fourCharCode(const char (&code)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

// The host's packed version: major in bits 19 and up, minor in bits 15 to 18,
// bug fix in bits 11 to 14, stage in bits 9 and 10, build in bits 0 to 8.
constexpr std::uint32_t packVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t bugFix,
                                    std::uint32_t stage, std::uint32_t build)
{
    return ((major & 0x1FFFu) << 19) | ((minor & 0xFu) << 15) | ((bugFix & 0xFu) << 11) | ((stage & 0x3u) << 9) |
           (build & 0x1FFu);
}

inline constexpr char kName[] = "Linestra";
inline constexpr char kMatchName[] = "CobblewoodLinestra";
inline constexpr char kCategory[] = "Cobblewood";
inline constexpr char kEntryPointName[] = "EffectMain";

inline constexpr std::uint32_t kVendor = fourCharCode("8BIM");
inline constexpr std::uint32_t kKind = fourCharCode("eFKT"); // an effect

// Effect API version the module is written against.
inline constexpr std::int32_t kApiVersionMajor = 13;
inline constexpr std::int32_t kApiVersionMinor = 27;
// Version of the property-list layout.
inline constexpr std::int16_t kPiplVersionMajor = 2;
inline constexpr std::int16_t kPiplVersionMinor = 0;
// Reserved info passed to the registration callback (the property list's 'aeFL' holds 0).
inline constexpr std::int32_t kReservedInfo = 8;
// Effect info flags ('eINF').
inline constexpr std::int16_t kInfoFlags = 0;

// Effect version 1.1.0, development stage, build 1. CMakeLists.txt reads the
// project version from the three numbers below; change it here only.
inline constexpr std::uint32_t kVersionMajor = 1;
inline constexpr std::uint32_t kVersionMinor = 1;
inline constexpr std::uint32_t kVersionBugFix = 0;
inline constexpr std::uint32_t kVersionStage = 0; // development
inline constexpr std::uint32_t kVersionBuild = 1;
inline constexpr std::uint32_t kVersion =
    packVersion(kVersionMajor, kVersionMinor, kVersionBugFix, kVersionStage, kVersionBuild);
static_assert(kVersion == 0x00088001u);

// Global output flags: pixel independent, 16-bit aware, sends parameter-UI
// updates.
inline constexpr std::uint32_t kOutFlags = 0x00000400u | 0x02000000u | 0x04000000u;
static_assert(kOutFlags == 0x06000400u);
// Global output flags 2 in every host: smart render, 32-bit float aware,
// threaded rendering.
inline constexpr std::uint32_t kOutFlags2Base = 0x00000400u | 0x00001000u | 0x08000000u;
static_assert(kOutFlags2Base == 0x08001400u);
// Added when the host is not the editor host: 32-bit float GPU rendering is
// declared (no GPU command is handled).
inline constexpr std::uint32_t kOutFlags2GpuF32 = 0x02000000u;
// What the property list declares: the flags of a host that is not the
// editor host.
inline constexpr std::uint32_t kOutFlags2 = kOutFlags2Base | kOutFlags2GpuF32;
static_assert(kOutFlags2 == 0x0A001400u);

// About text arguments.
inline constexpr char kAboutFormat[] = "%s v%d.%d\r%s";
inline constexpr char kAboutDescription[] = "\nYou matter.";

} // namespace Linestra::Identity
