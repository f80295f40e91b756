// A reader of Windows PE files (x86-64 DLLs and programs): what a module
// exports, which DLLs it imports and the resources it carries, read straight
// from the file's bytes so that a Windows module can be checked on Linux.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace Linestra::Pe {

// A file that is not a PE file or is damaged; the message says where.
class PeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A resource's type or name: a number, or a text when `isName`.
struct ResourceKey {
    bool isName = false;
    std::uint16_t id = 0;
    std::string name; // ASCII form of the UTF-16 name
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    std::uint16_t language = 0;
    std::vector<std::uint8_t> data;
};

class PeFile {
public:
    // Throws PeError.
    explicit PeFile(std::vector<std::uint8_t> bytes);
    static PeFile Read(const std::string& path);

    std::uint16_t machine() const { return machine_; }
    bool isDll() const { return (characteristics_ & 0x2000u) != 0; }
    bool isPe32Plus() const { return magic_ == 0x20B; }

    // Names in the export table, as stored (sorted by the linker), and the
    // number of exported functions (named or by ordinal only).
    std::vector<std::string> exportedNames() const;
    std::uint32_t exportedFunctionCount() const;
    // Names of the DLLs in the import table.
    std::vector<std::string> importedDlls() const;
    // Every resource (type, name, language, bytes).
    std::vector<Resource> resources() const;

private:
    struct Section {
        std::string name;
        std::uint32_t virtualAddress = 0;
        std::uint32_t virtualSize = 0;
        std::uint32_t rawOffset = 0;
        std::uint32_t rawSize = 0;
    };
    struct Directory {
        std::uint32_t rva = 0;
        std::uint32_t size = 0;
    };

    std::uint16_t u16(std::size_t offset) const;
    std::uint32_t u32(std::size_t offset) const;
    std::size_t offsetOf(std::uint32_t rva, std::uint32_t length, const char* what) const;
    std::string textAt(std::uint32_t rva, const char* what) const;
    ResourceKey resourceKey(std::uint32_t entry, std::size_t resourceBase) const;

    std::vector<std::uint8_t> bytes_;
    std::uint16_t machine_ = 0;
    std::uint16_t characteristics_ = 0;
    std::uint16_t magic_ = 0;
    std::vector<Section> sections_;
    std::vector<Directory> directories_;
};

} // namespace Linestra::Pe
