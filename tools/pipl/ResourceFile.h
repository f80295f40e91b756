// A classic resource file kept in a file's data fork (the form of a macOS
// bundle's Contents/Resources/<name>.rsrc), holding one resource.
//
// Layout, every number big-endian:
//   header (16 bytes): offset of the resource data (256), offset of the
//     resource map, length of the data, length of the map; then zeros up to
//     the data (the space the format reserves for the system and the
//     application).
//   resource data: per resource a 32-bit length and the bytes.
//   resource map: a copy of the header, 4-byte next-map handle 0, 2-byte
//     file reference 0, 2-byte attributes 0, 2-byte offset of the type list
//     from the map (28), 2-byte offset of the name list from the map; the
//     type list: count of types minus 1, per type the four-character type,
//     count of its resources minus 1 and the offset of its reference list
//     from the start of the type list; per resource a reference: 2-byte id,
//     2-byte name offset (0xFFFF: no name), 1-byte attributes, 3-byte offset
//     of its data (the length word) from the start of the resource data,
//     4-byte handle 0. The name list is empty.
#pragma once

#include <cstdint>
#include <vector>

namespace Linestra::Pipl {

// A data-fork resource file holding `data` as resource `type` (a
// four-character code, first character in the high byte) number `id`.
std::vector<std::uint8_t> resourceFile(std::uint32_t type, std::int16_t id, const std::vector<std::uint8_t>& data);

// The effect's property list in its macOS form as resource 'PIPL' 16000.
std::vector<std::uint8_t> effectMacResourceFile();

inline constexpr std::int16_t kPiplResourceId = 16000;

} // namespace Linestra::Pipl
