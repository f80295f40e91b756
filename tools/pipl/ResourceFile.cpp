#include "tools/pipl/ResourceFile.h"

#include "host/EffectIdentity.h"
#include "tools/pipl/Pipl.h"

#include <stdexcept>

namespace Linestra::Pipl {

namespace {

constexpr std::uint32_t kDataOffset = 256; // after the header and the reserved space
constexpr std::uint16_t kTypeListOffset = 28;
constexpr std::uint32_t kTypeEntryLength = 8;
constexpr std::uint32_t kReferenceLength = 12;
constexpr std::uint16_t kNoName = 0xFFFF;

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int width)
{
    for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFFu));
}

} // namespace

std::vector<std::uint8_t> resourceFile(std::uint32_t type, std::int16_t id, const std::vector<std::uint8_t>& data)
{
    // The reference keeps the data's offset in 24 bits; a resource must fit.
    if (data.size() > 0x00FFFFFFu - 4u)
        throw std::invalid_argument("resource file: resource data of " + std::to_string(data.size()) +
                                    " bytes is too long");
    const auto dataLength = static_cast<std::uint32_t>(4 + data.size());
    const std::uint32_t mapOffset = kDataOffset + dataLength;
    const std::uint32_t typeListLength = 2 + kTypeEntryLength; // one type
    const std::uint32_t nameListOffset = kTypeListOffset + typeListLength + kReferenceLength;
    const std::uint32_t mapLength = nameListOffset; // the name list is empty

    std::vector<std::uint8_t> header;
    putBigEndian(header, kDataOffset, 4);
    putBigEndian(header, mapOffset, 4);
    putBigEndian(header, dataLength, 4);
    putBigEndian(header, mapLength, 4);

    std::vector<std::uint8_t> out = header;
    out.resize(kDataOffset, 0);

    // Resource data.
    putBigEndian(out, static_cast<std::uint32_t>(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());

    // Resource map.
    out.insert(out.end(), header.begin(), header.end());
    putBigEndian(out, 0, 4); // handle to the next map
    putBigEndian(out, 0, 2); // file reference number
    putBigEndian(out, 0, 2); // map attributes
    putBigEndian(out, kTypeListOffset, 2);
    putBigEndian(out, nameListOffset, 2);
    // Type list.
    putBigEndian(out, 0, 2); // one type, stored as count - 1
    putBigEndian(out, type, 4);
    putBigEndian(out, 0, 2);              // one resource of the type, count - 1
    putBigEndian(out, typeListLength, 2); // its reference list follows the type list
    // Reference list.
    putBigEndian(out, static_cast<std::uint16_t>(id), 2);
    putBigEndian(out, kNoName, 2);
    putBigEndian(out, 0, 1); // attributes
    putBigEndian(out, 0, 3); // the data's offset within the resource data
    putBigEndian(out, 0, 4); // handle
    return out;
}

std::vector<std::uint8_t> effectMacResourceFile()
{
    return resourceFile(Identity::fourCharCode("PIPL"), kPiplResourceId, effectPipl(Target::MacOS));
}

} // namespace Linestra::Pipl
