// The host's reading of a property list and its comparison with what the
// module reports at registration and global set-up.
#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"
#include "harness/protocol/PropertyList.h"
#include "tools/pipl/Pipl.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace harness;

namespace {

std::vector<std::uint8_t> WindowsList()
{
    return Linestra::Pipl::effectPipl(Linestra::Pipl::Target::Windows);
}

EffectPropertyValues WindowsValues()
{
    return ReadEffectProperties(ParsePropertyList(WindowsList(), PiplByteOrder::LittleEndian),
                                PiplByteOrder::LittleEndian);
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace

TEST(PropertyList, WindowsFormAgreesWithWhatTheEffectReports)
{
    const EffectPropertyValues pipl = WindowsValues();
    EXPECT_EQ(pipl.entryPoints, (std::map<std::string, std::string>{{"8664", "EffectMain"}}));
    // The list's reserved info is 0 while registration passes 8; the host
    // does not hold them to each other.
    EXPECT_EQ(pipl.reservedInfo, 0u);

    for (const A_long applId : {kApplIdCompositor, kApplIdEditor}) {
        HostOptions options;
        options.applId = applId;
        Host host(options);
        host.load(LinkedEffect());
        ASSERT_EQ(host.registerPlugin(), PF_Err_NONE);
        ASSERT_EQ(host.globalSetup(), PF_Err_NONE);
        EXPECT_EQ(host.registration().reservedInfo, 8);
        EXPECT_EQ(Joined(CompareWithRegistration(pipl, host.registration())), "");
        // In the editor host the effect reports fewer flags 2 by design;
        // they are not compared there.
        EXPECT_EQ(Joined(CompareWithGlobalSetup(pipl, host.myVersion(), host.globalOutFlags(),
                                                host.globalOutFlags2(), applId)),
                  "");
    }
}

TEST(PropertyList, EachDisagreementIsNamed)
{
    Host host;
    host.load(LinkedEffect());
    ASSERT_EQ(host.registerPlugin(), PF_Err_NONE);
    ASSERT_EQ(host.globalSetup(), PF_Err_NONE);

    struct Case {
        const char* what;
        std::function<void(EffectPropertyValues&)> change;
        const char* expected; // part of the one reported line
    };
    const std::vector<Case> registrationCases{
        {"name", [](EffectPropertyValues& v) { v.name = "Other"; }, "'name' is \"Other\""},
        {"match name", [](EffectPropertyValues& v) { v.matchName = "CobblewoodOther"; }, "'eMNA'"},
        {"category", [](EffectPropertyValues& v) { v.category.reset(); }, "has no 'catg'"},
        {"entry point", [](EffectPropertyValues& v) { v.entryPoints["8664"] = "Main"; }, "'8664' is \"Main\""},
        {"missing entry point", [](EffectPropertyValues& v) { v.entryPoints.clear(); }, "has no '8664'"},
        {"kind", [](EffectPropertyValues& v) { v.kind = 0x41454750u; }, "kind is 'AEGP'"},
        {"API version", [](EffectPropertyValues& v) { v.apiVersion = std::pair<int, int>{13, 28}; }, "13.28"},
    };
    for (const Case& c : registrationCases) {
        EffectPropertyValues pipl = WindowsValues();
        c.change(pipl);
        const std::vector<std::string> problems = CompareWithRegistration(pipl, host.registration());
        ASSERT_EQ(problems.size(), 1u) << c.what << ":\n" << Joined(problems);
        EXPECT_NE(problems[0].find(c.expected), std::string::npos) << c.what << ": " << problems[0];
    }

    const std::vector<Case> setupCases{
        {"version", [](EffectPropertyValues& v) { v.version = 0x00080001u; }, "version ('eVER') is 0x00080001"},
        {"flags", [](EffectPropertyValues& v) { v.outFlags = 0x06000000u; }, "('eGLO') is 0x06000000"},
        {"flags 2", [](EffectPropertyValues& v) { v.outFlags2 = 0x08001400u; }, "('eGL2') is 0x08001400"},
    };
    for (const Case& c : setupCases) {
        EffectPropertyValues pipl = WindowsValues();
        c.change(pipl);
        const std::vector<std::string> problems = CompareWithGlobalSetup(
            pipl, host.myVersion(), host.globalOutFlags(), host.globalOutFlags2(), kApplIdCompositor);
        ASSERT_EQ(problems.size(), 1u) << c.what << ":\n" << Joined(problems);
        EXPECT_NE(problems[0].find(c.expected), std::string::npos) << c.what << ": " << problems[0];
    }
}

TEST(PropertyList, DamagedListsAreRefusedWithTheReason)
{
    const std::vector<std::uint8_t> good = WindowsList();
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        const char* expected;
    };
    const std::vector<Case> cases{
        {"cut in the header", [](std::vector<std::uint8_t>& b) { b.resize(7); }, "the count of properties"},
        {"cut in a property", [](std::vector<std::uint8_t>& b) { b.erase(b.end() - 3, b.end()); }, "property 12 of 12"},
        {"length past the end", [](std::vector<std::uint8_t>& b) { b[10 + 15] = 0x7F; }, "property 1 of 12"},
        {"bytes left over", [](std::vector<std::uint8_t>& b) { b.push_back(0); }, "1 bytes follow"},
        {"more properties claimed", [](std::vector<std::uint8_t>& b) { b[6] = 13; }, "property 13 of 13"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = good;
        c.damage(bytes);
        try {
            ParsePropertyList(bytes, PiplByteOrder::LittleEndian);
            ADD_FAILURE() << c.what << ": read without complaint";
        } catch (const PropertyListError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << c.what << ": " << e.what();
        }
    }

    // A well-formed list whose entry point lacks its terminating zero.
    PropertyList list = ParsePropertyList(good, PiplByteOrder::LittleEndian);
    PiplProperty* entry = nullptr;
    for (PiplProperty& p : list.properties)
        if (FourCharText(p.key) == "8664")
            entry = &p;
    ASSERT_NE(entry, nullptr);
    entry->data.assign(entry->data.size(), 'x');
    EXPECT_THROW(ReadEffectProperties(list, PiplByteOrder::LittleEndian), PropertyListError);
}

TEST(PropertyList, ReadingTheWrongByteOrderFailsLoudly)
{
    // The Windows form read as big-endian claims a huge property count.
    EXPECT_THROW(ParsePropertyList(WindowsList(), PiplByteOrder::BigEndian), PropertyListError);
}
