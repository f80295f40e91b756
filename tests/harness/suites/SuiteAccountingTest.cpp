#include <gtest/gtest.h>

#include "ProbeHost.h"

namespace {

using harness::Host;

TEST(SuiteAccounting, EverySuiteReleasedAfterAFullFrame)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    host->setInput(TestPicture(20, 12));
    host->setMask(Triangle());
    const harness::FrameResult frame = host->renderFrame();
    EXPECT_EQ(frame.preRenderErr, PF_Err_NONE);
    EXPECT_EQ(frame.renderErr, PF_Err_NONE);
    EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
    EXPECT_TRUE(host->outstandingSuites().empty());
}

TEST(SuiteAccounting, WithdrawnSuiteFailsAcquisitionAndIsRestored)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->registerPlugin(), PF_Err_NONE);
    ASSERT_EQ(host->globalSetup(), PF_Err_NONE);
    ASSERT_EQ(host->paramsSetup(), PF_Err_NONE);

    host->withdrawSuite(kPFParamUtilsSuite, 3);
    EXPECT_NE(host->updateParamsUI(), PF_Err_NONE);
    EXPECT_TRUE(host->uiUpdates().empty());

    // Success with a null suite: the probe answers 516 and nothing stays acquired.
    host->withdrawSuite(kPFParamUtilsSuite, 3, Host::Withdrawal::NullWithSuccess);
    EXPECT_EQ(host->updateParamsUI(), PF_Err_BAD_CALLBACK_PARAM);

    host->restoreSuite(kPFParamUtilsSuite, 3);
    EXPECT_EQ(host->updateParamsUI(), PF_Err_NONE);
    EXPECT_EQ(host->uiUpdates().size(), 1u);
    EXPECT_TRUE(host->outstandingSuites().empty());
    EXPECT_TRUE(host->violations().empty()) << harness::Describe(host->violations());
}

TEST(SuiteAccounting, NamesAndVersionsMustMatchExactly)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    host->setupFrame({});
    host->beginCommand(PF_Cmd_SMART_RENDER);
    SPBasicSuite* basic = host->basicSuite();
    const void* suite = nullptr;
    EXPECT_NE(basic->AcquireSuite("PF Iterate16 Suite", 2, &suite), 0); // the host spells it "iterate16"
    EXPECT_EQ(suite, nullptr);
    EXPECT_NE(basic->AcquireSuite(kPFWorldSuite, 1, &suite), 0);
    EXPECT_NE(basic->AcquireSuite(kPFPixelFormatSuite, 1, &suite), 0); // only as the editor host
    EXPECT_EQ(basic->AcquireSuite(kPFIterate16Suite, 2, &suite), 0);
    EXPECT_NE(suite, nullptr);
    EXPECT_EQ(basic->ReleaseSuite(kPFIterate16Suite, 2), 0);
    const harness::CommandReport report = host->endCommand(PF_Err_NONE);
    EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
}

TEST(SuiteAccounting, UnreleasedAndUnacquiredSuitesAreReported)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    host->beginCommand(PF_Cmd_SMART_RENDER);
    SPBasicSuite* basic = host->basicSuite();
    const void* suite = nullptr;
    ASSERT_EQ(basic->AcquireSuite(kPFWorldSuite, 2, &suite), 0);
    basic->ReleaseSuite(kPFPathDataSuite, 1);
    const harness::CommandReport report = host->endCommand(PF_Err_NONE);
    const std::string text = harness::Describe(report.violations);
    EXPECT_NE(text.find("'PF World Suite' version 2 acquired 1 time(s) more than released"), std::string::npos)
        << text;
    EXPECT_NE(text.find("'PF Path Data Suite' version 1 released but not acquired"), std::string::npos) << text;
    // The host takes the leaked suite back so that later commands start clean.
    EXPECT_TRUE(host->outstandingSuites().empty());
}

TEST(SuiteAccounting, EditorHostRecordsPixelFormats)
{
    harness::HostOptions options;
    options.applId = harness::kApplIdEditor;
    auto host = MakeProbeHost(options);
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    ASSERT_EQ(host->pixelFormatCalls().size(), 2u);
    EXPECT_TRUE(host->pixelFormatCalls()[0].clear);
    EXPECT_FALSE(host->pixelFormatCalls()[1].clear);
    EXPECT_EQ(host->pixelFormatCalls()[1].format, static_cast<PrPixelFormat>(kLinestraPremierePixelFormat));
    EXPECT_TRUE(host->violations().empty()) << harness::Describe(host->violations());
}

} // namespace
