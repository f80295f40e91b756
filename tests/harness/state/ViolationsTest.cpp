#include <gtest/gtest.h>

#include "ProbeHost.h"

namespace {

bool Reports(const std::vector<harness::Violation>& violations, const std::string& part)
{
    for (const harness::Violation& v : violations)
        if (v.what.find(part) != std::string::npos)
            return true;
    return false;
}

std::unique_ptr<harness::Host> FaultyHost()
{
    auto host = std::make_unique<harness::Host>();
    host->load(HARNESS_FAULTY_MODULE);
    EXPECT_EQ(host->setup(), PF_Err_NONE);
    host->setInput(TestPicture(16, 8));
    host->setMask(Triangle());
    return host;
}

TEST(Violations, FaultyModuleLeaksAreReported)
{
    auto host = FaultyHost();
    const harness::FrameResult frame = host->renderFrame();
    EXPECT_EQ(frame.preRenderErr, PF_Err_NONE);
    const auto& v = frame.violations;
    const std::string text = harness::Describe(v);
    EXPECT_TRUE(Reports(v, "suite 'PF World Suite' version 2 acquired 1 time(s) more than released")) << text;
    EXPECT_TRUE(Reports(v, "world of 16 x 8 pixels created and not disposed")) << text;
    EXPECT_TRUE(Reports(v, "path 1 checked out and not checked in")) << text;
    EXPECT_TRUE(Reports(v, "segment 0 of path 1 prepared and not cleaned up")) << text;
    EXPECT_TRUE(Reports(v, "pixels of checkout id 0 checked out and not checked in")) << text;
    EXPECT_TRUE(Reports(v, "wrote into the pixels of the input layer")) << text;
    EXPECT_EQ(v[0].command.empty(), false);
    // The host reclaimed what leaked: the next frame starts clean.
    EXPECT_TRUE(host->outstandingSuites().empty());
}

TEST(Violations, CallsAfterAHostErrorAreReported)
{
    auto host = FaultyHost();
    host->failCall("checkout_param", 1, PF_Err_BAD_CALLBACK_PARAM);
    const harness::FrameResult frame = host->renderFrame();
    EXPECT_EQ(frame.preRenderErr, PF_Err_BAD_CALLBACK_PARAM);
    const std::string text = harness::Describe(frame.violations);
    EXPECT_TRUE(Reports(frame.violations, "checkout_param called after the host answered 516 (bad callback parameter) "
                                          "to checkout_param in the same command"))
        << text;
    EXPECT_TRUE(Reports(frame.violations, "PF_CheckoutPath called after the host answered 516")) << text;
    // A failed command may leave its path checked out.
    EXPECT_FALSE(Reports(frame.violations, "checked out and not checked in")) << text;
}

TEST(Violations, ProbeModuleKeepsTheContract)
{
    auto host = MakeProbeHost();
    ASSERT_EQ(host->setup(), PF_Err_NONE);
    host->setInput(TestPicture(16, 8));
    host->setMask(Triangle());
    host->setLayer("Texture", TestPicture(5, 5));
    for (int depth : {8, 16, 32}) {
        const harness::FrameResult frame = host->renderFrame(0.0, depth, {1, 2, 1, 2});
        EXPECT_EQ(frame.renderErr, PF_Err_NONE);
        EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
    }
    EXPECT_TRUE(host->violations().empty()) << harness::Describe(host->violations());
}

} // namespace
