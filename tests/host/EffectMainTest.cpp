// The effect as the host sees it through its two entry points: registration,
// the about box, global set-up in both hosts, and the selectors that do
// nothing.
#include "tests/host/HostFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kSuiteErrorText[] = "Not able to acquire AEFX Suite.";

} // namespace

TEST(Registration, DeclaresTheIdentityInOneCall)
{
    auto host = makeHost();
    ASSERT_EQ(host->registerPlugin(), PF_Err_NONE);
    const harness::Registration& r = host->registration();
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.name, "Linestra");
    EXPECT_EQ(r.matchName, "CobblewoodLinestra");
    EXPECT_EQ(r.category, "Cobblewood");
    EXPECT_EQ(r.entryPoint, "EffectMain");
    EXPECT_EQ(r.kind, 0x65464B54); // 'eFKT'
    EXPECT_EQ(r.apiVersionMajor, 13);
    EXPECT_EQ(r.apiVersionMinor, 27);
    EXPECT_EQ(r.reservedInfo, 8);
}

TEST(Registration, ReturnsTheCallbacksResultUnchanged)
{
    static int calls = 0;
    static PF_PluginDataPtr seen = nullptr;
    calls = 0;
    const PF_PluginDataCB refusing = [](PF_PluginDataPtr inPtr, const A_u_char*, const A_u_char*, const A_u_char*,
                                        const A_u_char*, A_long, A_long, A_long, A_long) -> A_Err {
        ++calls;
        seen = inPtr;
        return 1234;
    };
    auto* token = reinterpret_cast<PF_PluginDataPtr>(&calls);
    EXPECT_EQ(PluginDataEntryFunction(token, refusing, nullptr, nullptr, nullptr), 1234);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, token);
}

TEST(About, ShowsNameVersionAndTheSecondLine)
{
    auto host = makeHost();
    ASSERT_EQ(host->about(), PF_Err_NONE);
    EXPECT_EQ(host->lastCommand().returnMsg, "Linestra v1.1\r\nYou matter.");
}

TEST(GlobalSetup, CompositorFlagsEqualThePropertyList)
{
    auto host = makeHost(harness::kApplIdCompositor);
    ASSERT_EQ(host->globalSetup(), PF_Err_NONE);
    EXPECT_EQ(host->myVersion(), 0x00088001u);
    EXPECT_EQ(host->globalOutFlags(), 0x06000400);
    EXPECT_EQ(host->globalOutFlags2(), 0x0A001400);
    EXPECT_TRUE(host->pixelFormatCalls().empty());
    EXPECT_TRUE(host->outstandingSuites().empty());
    EXPECT_TRUE(host->lastCommand().violations.empty()) << harness::Describe(host->lastCommand().violations);
}

TEST(GlobalSetup, EditorDeclaresOnePixelFormatAndNoGpu)
{
    auto host = makeHost(harness::kApplIdEditor);
    ASSERT_EQ(host->globalSetup(), PF_Err_NONE);
    EXPECT_EQ(host->myVersion(), 0x00088001u);
    EXPECT_EQ(host->globalOutFlags(), 0x06000400);
    EXPECT_EQ(host->globalOutFlags2(), 0x08001400);
    const std::vector<harness::PixelFormatCall>& calls = host->pixelFormatCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].clear);
    EXPECT_FALSE(calls[1].clear);
    EXPECT_EQ(calls[1].format, 0x61795556u);
    EXPECT_TRUE(host->outstandingSuites().empty());
    EXPECT_TRUE(host->lastCommand().violations.empty()) << harness::Describe(host->lastCommand().violations);
}

TEST(GlobalSetup, EditorWithoutPixelFormatSuiteShowsTheMessage)
{
    for (auto how : {harness::Host::Withdrawal::Error, harness::Host::Withdrawal::NullWithSuccess}) {
        auto host = makeHost(harness::kApplIdEditor);
        host->withdrawSuite("PF Pixel Format Suite", 1, how);
        EXPECT_EQ(host->globalSetup(), A_Err_MISSING_SUITE);
        EXPECT_EQ(host->lastCommand().returnMsg, kSuiteErrorText);
        EXPECT_NE(host->lastCommand().outFlags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
        EXPECT_TRUE(host->pixelFormatCalls().empty());
        EXPECT_TRUE(host->outstandingSuites().empty());
        EXPECT_TRUE(host->lastCommand().violations.empty()) << harness::Describe(host->lastCommand().violations);
    }
}

TEST(GlobalSetup, CompositorNeedsNoPixelFormatSuite)
{
    auto host = makeHost(harness::kApplIdCompositor);
    host->withdrawSuite("PF Pixel Format Suite", 1);
    EXPECT_EQ(host->globalSetup(), PF_Err_NONE);
    EXPECT_EQ(host->globalOutFlags2(), 0x0A001400);
}

// Selectors without work return success and touch neither the output
// record, nor the parameters, nor any suite.
TEST(EffectMain, SelectorsWithoutWorkChangeNothing)
{
    auto host = makeHost(harness::kApplIdCompositor, /*trace=*/true);
    ASSERT_EQ(host->setup(), PF_Err_NONE);

    std::vector<PF_Cmd> selectors = {PF_Cmd_UNUSED_0,     PF_Cmd_GLOBAL_SETDOWN,     PF_Cmd_SEQUENCE_SETUP,
                                     PF_Cmd_SEQUENCE_RESETUP, PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_SEQUENCE_SETDOWN,
                                     PF_Cmd_DO_DIALOG,    PF_Cmd_FRAME_SETUP,        PF_Cmd_RENDER,
                                     PF_Cmd_FRAME_SETDOWN, PF_Cmd_USER_CHANGED_PARAM};
    for (PF_Cmd cmd = 15; cmd <= 22; ++cmd) selectors.push_back(cmd);
    for (PF_Cmd cmd = 25; cmd <= 40; ++cmd) selectors.push_back(cmd);
    selectors.push_back(-1);
    selectors.push_back(1000);

    for (PF_Cmd cmd : selectors) {
        host->clearTrace();
        host->beginCommand(cmd);
        PF_OutData* out = host->outData();
        std::memset(static_cast<void*>(out), 0xA5, sizeof(PF_OutData));
        out->return_msg[sizeof out->return_msg - 1] = '\0';
        PF_OutData before;
        std::memcpy(static_cast<void*>(&before), out, sizeof before);
        PF_ParamDef** params = host->paramsArray();
        std::vector<PF_ParamDef> paramsBefore;
        for (int i = 0; i < 28; ++i) paramsBefore.push_back(*params[i]);

        const PF_Err err = EffectMain(cmd, host->inData(), out, params, nullptr, nullptr);

        EXPECT_EQ(err, PF_Err_NONE) << "selector " << cmd;
        EXPECT_EQ(std::memcmp(&before, out, sizeof before), 0) << "out_data changed by selector " << cmd;
        for (int i = 0; i < 28; ++i)
            EXPECT_EQ(std::memcmp(&paramsBefore[static_cast<std::size_t>(i)], params[i], sizeof(PF_ParamDef)), 0)
                << "parameter " << i << " changed by selector " << cmd;
        EXPECT_TRUE(host->trace().empty()) << "selector " << cmd << " called the host";
        const harness::CommandReport report = host->endCommand(err);
        EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
    }
}
