// Cancel at every abort question of a small render: wherever the user
// cancels, the effect stops with the cancel answer, releases every suite,
// world and path it took (the host reports a leak as a violation) and frees
// its pre-render data once.
#include <gtest/gtest.h>

#include "harness/protocol/EffectEntry.h"
#include "harness/state/Host.h"

namespace {

// A small frame and texture, so that the render (some 850 questions) can
// run once per question; two worker threads, so that the pool's iterations
// are cut short too.
class CancelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.setThreads(2);
        host.load(harness::LinkedEffect());
        ASSERT_EQ(host.setup(), PF_Err_NONE);
        host.setInput(harness::OwnedWorld(32, 24, PF_PixelFormat_ARGB32));
        host.setLayer("Specified Layer", harness::OwnedWorld(8, 8, PF_PixelFormat_ARGB32));
        host.setMask(harness::EllipsePath(16, 12, 3, 3));
    }

    harness::Host host;
};

TEST_F(CancelTest, EveryAbortQuestionCancelsCleanly)
{
    host.abortFrom(0);
    const harness::FrameResult full = host.renderFrame(0.0, 8);
    ASSERT_EQ(full.renderErr, PF_Err_NONE);
    ASSERT_TRUE(full.violations.empty()) << harness::Describe(full.violations);
    const int questions = full.abortQuestions;
    ASSERT_GT(questions, 0);

    for (int n = 1; n <= questions; ++n) {
        host.abortFrom(n);
        const harness::FrameResult frame = host.renderFrame(0.0, 8);
        const PF_Err err = frame.preRenderErr != PF_Err_NONE ? frame.preRenderErr : frame.renderErr;
        ASSERT_EQ(err, PF_Interrupt_CANCEL) << "cancelled at question " << n << " of " << questions;
        ASSERT_TRUE(frame.violations.empty())
            << "cancelled at question " << n << " of " << questions << ":\n" << harness::Describe(frame.violations);
        ASSERT_EQ(frame.deleteCalls, 1) << "cancelled at question " << n;
        ASSERT_GE(frame.abortQuestions, n);
    }
}

} // namespace
