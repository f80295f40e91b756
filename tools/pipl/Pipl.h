// The effect's plug-in property list (PiPL): the properties the host reads
// from the module without running it, and their binary form.
//
// Layout of the binary form: a 16-bit version 1, a 32-bit reserved 0, a
// 32-bit count of properties, then per property the vendor code, the key, a
// 32-bit property id 0, a 32-bit data length and the data, padded with zero
// bytes to a multiple of 4. Every number and four-character code is written
// in the target's byte order (little-endian on Windows, so '8BIM' becomes
// the bytes "MIB8"; big-endian on macOS); text is written as it is.
//
// The data length is the length of the property's data as declared: strings
// carry their own padding to a multiple of 4 (and count it), a 16-bit value
// counts 2 and is then padded to 4 like any other data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Linestra::Pipl {

enum class ByteOrder { LittleEndian, BigEndian };

// The platform whose form of the property list is built: it decides the
// entry-point keys and the byte order.
enum class Target { Windows, MacOS };

ByteOrder byteOrderOf(Target target);

// One field of a property's data.
struct Field {
    enum class Type { U16, U32, Bytes };
    Type type = Type::U32;
    std::uint32_t value = 0;          // U16, U32
    std::vector<std::uint8_t> bytes;  // Bytes: written as they are
};

struct Property {
    std::uint32_t vendor = 0;
    std::uint32_t key = 0;
    std::uint32_t id = 0;
    std::vector<Field> fields;
};

// Property builders.
Property fourCharCodeProperty(std::uint32_t key, std::uint32_t code);
Property uint32Property(std::uint32_t key, std::uint32_t value);
Property int16Property(std::uint32_t key, std::int16_t value);
Property int16PairProperty(std::uint32_t key, std::int16_t first, std::int16_t second);
// A length byte followed by the text, padded with zero bytes to a multiple
// of 4. Texts longer than 255 bytes are refused (std::invalid_argument).
Property pascalStringProperty(std::uint32_t key, std::string_view text);
// The text and a terminating zero, padded with zero bytes to a multiple of 4.
Property cStringProperty(std::uint32_t key, std::string_view text);

// The effect's properties for a platform, in the order the host lists them:
// kind, name, category, the entry point(s), PiPL version, API version, effect
// version, info flags, global flags, global flags 2, match name, reserved info.
// Windows names the entry point under '8664' (zero-terminated string); macOS
// under 'mi64' and 'ma64' (Pascal strings), one for each architecture.
std::vector<Property> effectProperties(Target target);

// Binary form of a property list in the given byte order.
std::vector<std::uint8_t> serialise(const std::vector<Property>& properties, ByteOrder order);

// The effect's property list as the platform's resource holds it.
std::vector<std::uint8_t> effectPipl(Target target);

// A Windows resource script that binds the PiPL file at piplPath into the
// module as resource "PIPL" 16000, language English (United States).
std::string windowsResourceScript(std::string_view piplPath);

} // namespace Linestra::Pipl
