#include <gtest/gtest.h>

#include "ProbeHost.h"
#include "harness/protocol/ModuleLoader.h"

namespace {

std::string LoadError(const std::string& path)
{
    try {
        harness::Module::Load(path);
    } catch (const harness::ModuleError& e) {
        return e.what();
    }
    return {};
}

TEST(ModuleLoader, MissingFileNamesThePath)
{
    const std::string message = LoadError("/nonexistent/Effect.so");
    EXPECT_NE(message.find("/nonexistent/Effect.so"), std::string::npos) << message;
}

TEST(ModuleLoader, MissingEntryNamesPathAndSymbol)
{
    const std::string message = LoadError(HARNESS_NO_EFFECT_MAIN_MODULE);
    EXPECT_NE(message.find(HARNESS_NO_EFFECT_MAIN_MODULE), std::string::npos) << message;
    EXPECT_NE(message.find("'EffectMain'"), std::string::npos) << message;
}

TEST(ModuleLoader, InProcessNeedsBothEntries)
{
    EXPECT_THROW(harness::Module::InProcess({}, "nothing"), harness::ModuleError);
}

TEST(ModuleLoader, SetupThroughTheSystemLoader)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    const harness::Registration& r = host->registration();
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.name, "Harness Probe");
    EXPECT_EQ(r.matchName, "LinestraHarnessProbe");
    EXPECT_EQ(r.entryPoint, "EffectMain");
    EXPECT_EQ(r.kind, 0x65464B54);
    EXPECT_EQ(r.apiVersionMajor, 13);
    EXPECT_EQ(r.apiVersionMinor, 27);
    EXPECT_EQ(r.reservedInfo, 8);
    EXPECT_EQ(host->paramCount(), probe::kCount);
    EXPECT_EQ(host->myVersion(), 0x00118004u);
    EXPECT_TRUE(host->violations().empty()) << harness::Describe(host->violations());
}

TEST(ModuleLoader, AboutTextComesBackThroughSprintf)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->about(), PF_Err_NONE);
    EXPECT_EQ(host->lastCommand().returnMsg, "Harness Probe v2.3\rA module for tests.");
}

} // namespace
