#include "tests/windows/native/PeFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace Linestra::Pe {

namespace {

constexpr std::size_t kExportDirectory = 0;
constexpr std::size_t kImportDirectory = 1;
constexpr std::size_t kResourceDirectory = 2;
constexpr std::uint32_t kHighBit = 0x80000000u;
// Resource trees are three levels deep (type, name, language); deeper
// nesting or more entries than this is a damaged file.
constexpr std::uint32_t kMaxEntries = 4096;

std::string Hex(std::uint32_t v)
{
    static const char* digits = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += digits[(v >> shift) & 0xFu];
    return text;
}

} // namespace

PeFile PeFile::Read(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw PeError("cannot open \"" + path + "\"");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    try {
        return PeFile(std::move(bytes));
    } catch (const PeError& e) {
        throw PeError("\"" + path + "\": " + e.what());
    }
}

std::uint16_t PeFile::u16(std::size_t offset) const
{
    if (offset > bytes_.size() || bytes_.size() - offset < 2)
        throw PeError("the file ends inside a 16-bit field at byte " + std::to_string(offset));
    return static_cast<std::uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
}

std::uint32_t PeFile::u32(std::size_t offset) const
{
    if (offset > bytes_.size() || bytes_.size() - offset < 4)
        throw PeError("the file ends inside a 32-bit field at byte " + std::to_string(offset));
    return static_cast<std::uint32_t>(bytes_[offset]) | static_cast<std::uint32_t>(bytes_[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes_[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes_[offset + 3]) << 24;
}

PeFile::PeFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes))
{
    if (bytes_.size() < 64 || bytes_[0] != 'M' || bytes_[1] != 'Z')
        throw PeError("not a PE file (no MZ header)");
    const std::uint32_t pe = u32(0x3C);
    if (u32(pe) != 0x00004550u) // "PE\0\0"
        throw PeError("not a PE file (no PE signature at byte " + std::to_string(pe) + ")");
    const std::size_t coff = pe + 4;
    machine_ = u16(coff);
    const std::uint16_t sectionCount = u16(coff + 2);
    const std::uint16_t optionalSize = u16(coff + 16);
    characteristics_ = u16(coff + 18);
    const std::size_t optional = coff + 20;
    magic_ = u16(optional);
    if (magic_ != 0x20B)
        throw PeError("not a 64-bit (PE32+) file: optional header magic " + Hex(magic_));
    const std::uint32_t directoryCount = u32(optional + 108);
    if (directoryCount > 16 || 112 + 8 * directoryCount > optionalSize)
        throw PeError("damaged optional header: " + std::to_string(directoryCount) + " data directories");
    for (std::uint32_t i = 0; i < directoryCount; ++i)
        directories_.push_back({u32(optional + 112 + 8 * i), u32(optional + 116 + 8 * i)});
    const std::size_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::size_t at = table + 40u * i;
        Section s;
        for (std::size_t c = 0; c < 8 && at + c < bytes_.size() && bytes_[at + c] != 0; ++c)
            s.name += static_cast<char>(bytes_[at + c]);
        s.virtualSize = u32(at + 8);
        s.virtualAddress = u32(at + 12);
        s.rawSize = u32(at + 16);
        s.rawOffset = u32(at + 20);
        sections_.push_back(s);
    }
}

std::size_t PeFile::offsetOf(std::uint32_t rva, std::uint32_t length, const char* what) const
{
    for (const Section& s : sections_) {
        const std::uint64_t start = s.virtualAddress;
        const std::uint64_t end = start + std::max(s.virtualSize, s.rawSize);
        if (rva >= start && static_cast<std::uint64_t>(rva) + length <= end) {
            const std::uint64_t offset = s.rawOffset + (rva - start);
            if (offset + length > bytes_.size() || rva - start + length > s.rawSize)
                throw PeError(std::string(what) + " at " + Hex(rva) + " lies past the data of section " + s.name);
            return static_cast<std::size_t>(offset);
        }
    }
    throw PeError(std::string(what) + " at " + Hex(rva) + " lies in no section");
}

std::string PeFile::textAt(std::uint32_t rva, const char* what) const
{
    std::size_t at = offsetOf(rva, 1, what);
    std::string text;
    while (at < bytes_.size() && bytes_[at] != 0) {
        text += static_cast<char>(bytes_[at++]);
        if (text.size() > 4096)
            throw PeError(std::string(what) + " at " + Hex(rva) + " has no end");
    }
    if (at >= bytes_.size())
        throw PeError(std::string(what) + " at " + Hex(rva) + " runs past the end of the file");
    return text;
}

std::vector<std::string> PeFile::exportedNames() const
{
    if (directories_.size() <= kExportDirectory || directories_[kExportDirectory].rva == 0)
        return {};
    const std::size_t dir = offsetOf(directories_[kExportDirectory].rva, 40, "the export directory");
    const std::uint32_t count = u32(dir + 24);
    const std::uint32_t namesRva = u32(dir + 32);
    if (count > kMaxEntries)
        throw PeError("the export directory claims " + std::to_string(count) + " names");
    std::vector<std::string> names;
    if (count == 0)
        return names;
    const std::size_t table = offsetOf(namesRva, 4 * count, "the export name table");
    for (std::uint32_t i = 0; i < count; ++i)
        names.push_back(textAt(u32(table + 4 * i), "an export name"));
    return names;
}

std::uint32_t PeFile::exportedFunctionCount() const
{
    if (directories_.size() <= kExportDirectory || directories_[kExportDirectory].rva == 0)
        return 0;
    return u32(offsetOf(directories_[kExportDirectory].rva, 40, "the export directory") + 20);
}

std::vector<std::string> PeFile::importedDlls() const
{
    std::vector<std::string> dlls;
    if (directories_.size() <= kImportDirectory || directories_[kImportDirectory].rva == 0)
        return dlls;
    for (std::uint32_t i = 0;; ++i) {
        if (i > kMaxEntries)
            throw PeError("the import directory has no end");
        const std::size_t entry = offsetOf(directories_[kImportDirectory].rva + 20 * i, 20, "an import descriptor");
        const std::uint32_t name = u32(entry + 12);
        if (name == 0 && u32(entry) == 0 && u32(entry + 16) == 0)
            break;
        dlls.push_back(textAt(name, "an imported DLL's name"));
    }
    return dlls;
}

ResourceKey PeFile::resourceKey(std::uint32_t entry, std::size_t resourceBase) const
{
    ResourceKey key;
    if ((entry & kHighBit) == 0) {
        key.id = static_cast<std::uint16_t>(entry);
        return key;
    }
    key.isName = true;
    const std::size_t at = resourceBase + (entry & ~kHighBit);
    const std::uint16_t length = u16(at);
    for (std::uint16_t i = 0; i < length; ++i) {
        const std::uint16_t c = u16(at + 2 + 2u * i);
        key.name += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return key;
}

std::vector<Resource> PeFile::resources() const
{
    std::vector<Resource> out;
    if (directories_.size() <= kResourceDirectory || directories_[kResourceDirectory].rva == 0)
        return out;
    const Directory& root = directories_[kResourceDirectory];
    const std::size_t base = offsetOf(root.rva, 16, "the resource directory");
    // A directory's entries: (name or id, offset of a subdirectory or data).
    const auto entries = [&](std::size_t dir) {
        const std::uint32_t count = static_cast<std::uint32_t>(u16(dir + 12)) + u16(dir + 14);
        if (count > kMaxEntries)
            throw PeError("a resource directory claims " + std::to_string(count) + " entries");
        std::vector<std::pair<std::uint32_t, std::uint32_t>> list;
        for (std::uint32_t i = 0; i < count; ++i)
            list.emplace_back(u32(dir + 16 + 8 * i), u32(dir + 20 + 8 * i));
        return list;
    };
    const auto subdirectory = [&](std::uint32_t target, const char* level) {
        if ((target & kHighBit) == 0)
            throw PeError(std::string("a resource ") + level + " entry points at data, not at a directory");
        return base + (target & ~kHighBit);
    };
    for (const auto& [typeEntry, typeTarget] : entries(base)) {
        const std::size_t names = subdirectory(typeTarget, "type");
        for (const auto& [nameEntry, nameTarget] : entries(names)) {
            const std::size_t languages = subdirectory(nameTarget, "name");
            for (const auto& [languageEntry, dataTarget] : entries(languages)) {
                if ((dataTarget & kHighBit) != 0)
                    throw PeError("a resource language entry points at a directory, not at data");
                const std::size_t dataEntry = base + dataTarget;
                const std::uint32_t dataRva = u32(dataEntry);
                const std::uint32_t size = u32(dataEntry + 4);
                Resource r;
                r.type = resourceKey(typeEntry, base);
                r.name = resourceKey(nameEntry, base);
                r.language = static_cast<std::uint16_t>(languageEntry);
                const std::size_t at = offsetOf(dataRva, size, "resource data");
                r.data.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(at),
                              bytes_.begin() + static_cast<std::ptrdiff_t>(at + size));
                out.push_back(std::move(r));
            }
        }
    }
    return out;
}

} // namespace Linestra::Pe
