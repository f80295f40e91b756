// A module's plug-in property list (PiPL) as the host reads it without
// running the module, and the host's comparison of it with what the module
// reports when it runs.
//
// Binary layout: a 16-bit version, a 32-bit reserved word, a 32-bit count of
// properties, then per property a 32-bit vendor code, a 32-bit key, a 32-bit
// id, a 32-bit data length and the data, padded to a multiple of 4 bytes.
// Numbers and four-character codes are in the platform's byte order
// (little-endian in a Windows module's resource, big-endian on macOS).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostAPI.h"
#include "harness/state/Host.h"

namespace harness {

// A property list that cannot be read; the message says where and why.
class PropertyListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class PiplByteOrder { LittleEndian, BigEndian };

struct PiplProperty {
    std::uint32_t vendor = 0;
    std::uint32_t key = 0; // first character in the high byte, as written in the code
    std::uint32_t id = 0;
    std::vector<std::uint8_t> data; // as declared by the length (padding dropped)
};

struct PropertyList {
    std::uint16_t version = 0;
    std::vector<PiplProperty> properties; // in file order

    // The first property with that key, or null.
    const PiplProperty* find(std::uint32_t key) const;
};

// Reads the binary form; throws PropertyListError for a truncated list, a
// length that runs past the end or bytes left over after the last property.
PropertyList ParsePropertyList(const std::vector<std::uint8_t>& bytes, PiplByteOrder order);

// The values an effect's property list declares, each read with the type
// the host gives that key. Missing keys stay empty.
struct EffectPropertyValues {
    std::optional<std::uint32_t> kind;                   // 'kind'
    std::optional<std::string> name;                     // 'name', Pascal string
    std::optional<std::string> category;                 // 'catg', Pascal string
    std::map<std::string, std::string> entryPoints;      // '8664' (C string), 'mi64', 'ma64' (Pascal strings)
    std::optional<std::pair<int, int>> piplVersion;      // 'ePVR'
    std::optional<std::pair<int, int>> apiVersion;       // 'eSVR'
    std::optional<std::uint32_t> version;                // 'eVER'
    std::optional<std::uint16_t> infoFlags;              // 'eINF'
    std::optional<std::uint32_t> outFlags;               // 'eGLO'
    std::optional<std::uint32_t> outFlags2;              // 'eGL2'
    std::optional<std::string> matchName;                // 'eMNA', Pascal string
    std::optional<std::uint32_t> reservedInfo;           // 'aeFL'
};

// Throws PropertyListError when a known key's data does not fit its type
// (a string without its terminator, a value of the wrong length).
EffectPropertyValues ReadEffectProperties(const PropertyList& list, PiplByteOrder order);

// "kind", from a key.
std::string FourCharText(std::uint32_t code);

// What the host compares after registration: kind, name, match name,
// category, the Windows entry point ('8664') and the API version against
// the registration callback's arguments. One line per disagreement; empty
// when they agree.
std::vector<std::string> CompareWithRegistration(const EffectPropertyValues& pipl, const Registration& registration);

// What the host compares after global set-up: the version and both global
// flag words (flags 2 only when the host is not the editor host, where the
// effect reports fewer flags by design).
std::vector<std::string> CompareWithGlobalSetup(const EffectPropertyValues& pipl, A_u_long myVersion,
                                                PF_OutFlags outFlags, PF_OutFlags2 outFlags2, A_long applId);

} // namespace harness
