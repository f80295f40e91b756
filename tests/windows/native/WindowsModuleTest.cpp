// The built Windows module, read back from its file: what it exports, what
// it imports and the property list resource it carries.
//
// The module's path comes from the environment variable
// LINESTRA_WINDOWS_MODULE, which the Windows build's checks set.
#include "tests/tools/pipl/PiplGolden.h"
#include "tests/windows/native/PeFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

using namespace Linestra::Pe;

namespace {

std::string ModulePath()
{
    const char* path = std::getenv("LINESTRA_WINDOWS_MODULE");
    return path != nullptr ? path : "";
}

class WindowsModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ModulePath();
        ASSERT_FALSE(path_.empty()) << "LINESTRA_WINDOWS_MODULE does not name the module to check";
        module_ = std::make_unique<PeFile>(PeFile::Read(path_));
    }

    std::string path_;
    std::unique_ptr<PeFile> module_;
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return text;
}

} // namespace

TEST_F(WindowsModule, IsA64BitDll)
{
    EXPECT_EQ(module_->machine(), 0x8664) << "not built for x86-64";
    EXPECT_TRUE(module_->isPe32Plus());
    EXPECT_TRUE(module_->isDll()) << path_ << " is not marked as a DLL";
}

TEST_F(WindowsModule, ExportsExactlyTheTwoEntryPoints)
{
    std::vector<std::string> names = module_->exportedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"EffectMain", "PluginDataEntryFunction"}));
    // Nothing is exported by ordinal alone either.
    EXPECT_EQ(module_->exportedFunctionCount(), 2u);
}

TEST_F(WindowsModule, NeedsOnlySystemLibraries)
{
    // The C++ runtime, the GCC support library and winpthread are linked in;
    // what is left comes with every Windows.
    const std::set<std::string> system{"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ucrtbase.dll"};
    const std::vector<std::string> imports = module_->importedDlls();
    EXPECT_FALSE(imports.empty());
    for (const std::string& dll : imports) {
        const std::string name = Lower(dll);
        EXPECT_TRUE(system.count(name) == 1 || name.rfind("api-ms-win-", 0) == 0)
            << path_ << " needs " << dll << ", which is not a system library";
    }
}

TEST_F(WindowsModule, CarriesThePropertyListAsResourcePipl16000InEnglish)
{
    std::vector<Resource> pipls;
    for (const Resource& r : module_->resources())
        if (r.type.isName && r.type.name == "PIPL")
            pipls.push_back(r);
    ASSERT_EQ(pipls.size(), 1u) << "expected exactly one resource of type PIPL";
    const Resource& pipl = pipls.front();
    EXPECT_FALSE(pipl.name.isName);
    EXPECT_EQ(pipl.name.id, 16000);
    EXPECT_EQ(pipl.language, 1033) << "English (United States)";
    const std::vector<std::uint8_t> expected = Linestra::PiplGolden::windowsGolden();
    EXPECT_EQ(pipl.data, expected) << Linestra::PiplGolden::firstDifference(pipl.data, expected);
}

TEST_F(WindowsModule, DamagedCopiesAreRefusedWithAReason)
{
    std::ifstream file(path_, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 4096u);

    // Cut inside the headers, and right after them, before any section's
    // data (the headers take the first 1024 bytes).
    for (std::size_t keep : {std::size_t{32}, std::size_t{300}, std::size_t{1024}}) {
        const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
        try {
            PeFile damaged(cut);
            (void)damaged.resources();
            (void)damaged.exportedNames();
            ADD_FAILURE() << "a copy cut to " << keep << " bytes was read without complaint";
        } catch (const PeError& e) {
            EXPECT_FALSE(std::string(e.what()).empty());
        }
    }
    std::vector<std::uint8_t> notPe = bytes;
    notPe[0] = 'X';
    EXPECT_THROW(PeFile{notPe}, PeError);
}
