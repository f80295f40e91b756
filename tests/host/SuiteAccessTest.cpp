// Suite access: the lazy handler and the scoped acquisition, against the
// stand-in host's basic suite.
#include "host/SuiteHandler.h"
#include "host/SuiteScoper.h"
#include "tests/host/HostFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Outstanding = std::vector<std::pair<std::string, int>>;

int countCalls(const harness::Host& host, const std::string& function)
{
    int n = 0;
    for (const harness::TraceEntry& entry : host.trace())
        if (entry.function == function) ++n;
    return n;
}

PF_Err thrownCode(auto&& action)
{
    try {
        action();
    } catch (PF_Err err) {
        return err;
    }
    return PF_Err_NONE;
}

} // namespace

TEST(SuiteHandler, AcquiresOnFirstUseAndReleasesAllAtTheEnd)
{
    auto host = makeHost(harness::kApplIdCompositor, /*trace=*/true);
    host->beginCommand(PF_Cmd_SMART_RENDER);
    {
        AEGP_SuiteHandler suites(host->basicSuite());
        EXPECT_TRUE(host->outstandingSuites().empty());
        const PF_PathQuerySuite1* query = suites.PathQuerySuite1();
        ASSERT_NE(query, nullptr);
        EXPECT_EQ(suites.PathQuerySuite1(), query); // cached
        ASSERT_NE(suites.PathDataSuite1(), nullptr);
        ASSERT_NE(suites.ParamUtilsSuite3(), nullptr);
        EXPECT_EQ(countCalls(*host, "AcquireSuite"), 3);
        EXPECT_EQ(host->outstandingSuites().size(), 3u);
    }
    EXPECT_TRUE(host->outstandingSuites().empty());
    EXPECT_EQ(countCalls(*host, "ReleaseSuite"), 3);
    EXPECT_TRUE(host->endCommand(PF_Err_NONE).violations.empty());
}

TEST(SuiteHandler, NeverAskedReleasesNothing)
{
    auto host = makeHost(harness::kApplIdCompositor, /*trace=*/true);
    host->beginCommand(PF_Cmd_SMART_RENDER);
    { AEGP_SuiteHandler suites(host->basicSuite()); }
    EXPECT_EQ(countCalls(*host, "AcquireSuite"), 0);
    EXPECT_EQ(countCalls(*host, "ReleaseSuite"), 0);
    host->endCommand(PF_Err_NONE);
}

TEST(SuiteHandler, MissingBasicSuiteThrows516)
{
    EXPECT_EQ(thrownCode([] { AEGP_SuiteHandler suites(nullptr); }), PF_Err_BAD_CALLBACK_PARAM);
}

TEST(SuiteHandler, RefusedSuiteThrows516AndReleasesTheOthersOnUnwinding)
{
    for (auto how : {harness::Host::Withdrawal::Error, harness::Host::Withdrawal::NullWithSuccess}) {
        auto host = makeHost();
        host->withdrawSuite("PF Path Data Suite", 1, how);
        host->beginCommand(PF_Cmd_SMART_RENDER);
        const PF_Err err = thrownCode([&] {
            AEGP_SuiteHandler suites(host->basicSuite());
            suites.PathQuerySuite1();
            suites.PathDataSuite1();
        });
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(host->outstandingSuites(), Outstanding{});
        const harness::CommandReport report = host->endCommand(err);
        EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
    }
}

TEST(SuiteScoper, HoldsTheSuiteForItsScope)
{
    auto host = makeHost();
    host->beginCommand(PF_Cmd_SMART_RENDER);
    {
        AEFX_SuiteScoper<PF_WorldSuite2> worlds(host->inData(), kPFWorldSuite, kPFWorldSuiteVersion2, host->outData());
        ASSERT_NE(worlds.get(), nullptr);
        EXPECT_EQ(worlds.operator->(), worlds.get());
        EXPECT_EQ(host->outstandingSuites(), (Outstanding{{kPFWorldSuite, kPFWorldSuiteVersion2}}));
    }
    EXPECT_TRUE(host->outstandingSuites().empty());
    EXPECT_EQ(host->outData()->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    host->endCommand(PF_Err_NONE);
}

TEST(SuiteScoper, RefusedSuiteSetsTheMessageAndThrows13)
{
    struct Case {
        const char* what;
        bool withOutData;
        const char* errorText; // null: the default
        const char* expectedMessage;
    };
    const std::vector<Case> cases = {
        {"default text", true, nullptr, "Not able to acquire AEFX Suite."},
        {"own text", true, "No worlds today.", "No worlds today."},
        {"no output record", false, nullptr, ""},
    };
    for (const Case& c : cases) {
        for (auto how : {harness::Host::Withdrawal::Error, harness::Host::Withdrawal::NullWithSuccess}) {
            SCOPED_TRACE(c.what);
            auto host = makeHost();
            host->withdrawSuite(kPFWorldSuite, kPFWorldSuiteVersion2, how);
            host->beginCommand(PF_Cmd_SMART_RENDER);
            host->outData()->return_msg[0] = '\0';
            host->outData()->out_flags = 0;
            PF_OutData* out = c.withOutData ? host->outData() : nullptr;
            const PF_Err err = thrownCode([&] {
                if (c.errorText) {
                    AEFX_SuiteScoper<PF_WorldSuite2> worlds(host->inData(), kPFWorldSuite, kPFWorldSuiteVersion2, out,
                                                            c.errorText);
                } else {
                    AEFX_SuiteScoper<PF_WorldSuite2> worlds(host->inData(), kPFWorldSuite, kPFWorldSuiteVersion2, out);
                }
            });
            EXPECT_EQ(err, A_Err_MISSING_SUITE);
            EXPECT_STREQ(host->outData()->return_msg, c.expectedMessage);
            EXPECT_EQ((host->outData()->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0, c.withOutData);
            EXPECT_TRUE(host->outstandingSuites().empty());
            const harness::CommandReport report = host->endCommand(err);
            EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
        }
    }
}
