#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "ProbeHost.h"

namespace {

class FrameProtocol : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = MakeProbeHost();
        ASSERT_EQ(host->setup(), PF_Err_NONE);
        host->setInput(TestPicture(21, 13));
        capture.attach(*host);
    }

    // Deletions the probe module counted, read through a frame's data.
    int moduleDeletions() const { return *capture.data.deletions; }

    std::unique_ptr<harness::Host> host;
    ProbeCapture capture;
};

TEST_F(FrameProtocol, PreRenderDataIsDeletedExactlyOnce)
{
    harness::FrameResult full = host->renderFrame();
    ASSERT_TRUE(capture.seen);
    const int before = moduleDeletions() - 1;
    EXPECT_TRUE(full.renderSent);
    EXPECT_EQ(full.deleteCalls, 1);

    // Pre-render only.
    harness::FrameRequest request;
    request.smartRender = false;
    const harness::FrameResult preOnly = host->renderFrame(request);
    EXPECT_FALSE(preOnly.renderSent);
    EXPECT_EQ(preOnly.deleteCalls, 1);

    // A failed pre-render still hands its data over; the render is not sent.
    host->failCall("checkout_param", 1, PF_Err_OUT_OF_MEMORY);
    const harness::FrameResult failed = host->renderFrame();
    EXPECT_EQ(failed.preRenderErr, PF_Err_OUT_OF_MEMORY);
    EXPECT_FALSE(failed.renderSent);
    EXPECT_EQ(failed.deleteCalls, 1);
    EXPECT_TRUE(failed.violations.empty()) << harness::Describe(failed.violations);

    EXPECT_EQ(moduleDeletions(), before + 3);
}

TEST_F(FrameProtocol, FailedPixelCheckoutMayBeCheckedIn)
{
    host->failCall("checkout_layer_pixels", 1, PF_Err_OUT_OF_MEMORY);
    const harness::FrameResult frame = host->renderFrame();
    EXPECT_EQ(frame.renderErr, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(frame.deleteCalls, 1);
    EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
}

TEST_F(FrameProtocol, ReducedResolutionKeepsTheLayerSizeInInData)
{
    host->setMask(Triangle());
    harness::FrameRequest request;
    request.time = host->frameSeconds(0.0, 3);
    request.downsample = {1, 2, 1, 2};
    const harness::FrameResult frame = host->renderFrame(request);
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    const probe::ProbeData& d = capture.data;
    EXPECT_EQ(d.layerWidth, 21);
    EXPECT_EQ(d.layerHeight, 13);
    EXPECT_EQ(d.downsampleX.num, 1);
    EXPECT_EQ(d.downsampleX.den, 2u);
    EXPECT_EQ(d.time, 3000);
    EXPECT_EQ(d.timeStep, 1000);
    EXPECT_EQ(d.timeScale, 24000u);
    EXPECT_EQ(d.input.max_result_rect.right, 11); // ceil(21 / 2)
    EXPECT_EQ(d.input.max_result_rect.bottom, 7);
    ASSERT_TRUE(frame.output);
    EXPECT_EQ(frame.output->width(), 11);
    EXPECT_EQ(frame.output->height(), 7);
    EXPECT_GT(frame.output->world().rowbytes, 11 * 4); // padded rows
    // The mask is measured at render scale: the triangle's 40 + 50 + 30 pixels halved.
    EXPECT_EQ(d.segments, 3);
    EXPECT_DOUBLE_EQ(d.pathLength, 60.0);
    EXPECT_EQ(d.half[0], 15.0);
    EXPECT_EQ(d.half[1], 5.0);
    EXPECT_EQ(d.half[2], 20.0);
    EXPECT_EQ(d.half[3], 0.0);
    EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
}

// The host uses a frame's output image again for a later frame only once
// nobody holds it: a result the caller keeps is never drawn over.
TEST_F(FrameProtocol, AnOutputTheCallerHoldsIsNotUsedAgain)
{
    host->setMask(Triangle());
    harness::FrameRequest request;
    request.time = host->frameSeconds(0.0, 1);
    const harness::FrameResult kept = host->renderFrame(request);
    ASSERT_EQ(kept.renderErr, PF_Err_NONE);
    const harness::OwnedWorld snapshot = *kept.output;
    const std::size_t bytes = static_cast<std::size_t>(snapshot.world().rowbytes) * snapshot.height();
    const void* keptData = kept.output->world().data;

    std::vector<const void*> later;
    for (int frame = 2; frame < 6; ++frame) {
        request.time = host->frameSeconds(0.0, frame);
        const harness::FrameResult result = host->renderFrame(request);
        ASSERT_EQ(result.renderErr, PF_Err_NONE);
        later.push_back(result.output->world().data);
    }
    for (const void* data : later)
        EXPECT_NE(data, keptData);
    EXPECT_EQ(std::memcmp(kept.output->world().data, snapshot.world().data, bytes), 0);
    // Once let go, the frames' images are used again rather than made anew.
    EXPECT_LE(std::set<const void*>(later.begin(), later.end()).size(), 2u);
}

// The host's time is 32 bits: a time beyond it is refused before anything
// is sent, never wrapped round; a frame rate without a time scale is refused
// when the host is made.
TEST_F(FrameProtocol, TimesBeyondTheHostsThirtyTwoBitsAreRefused)
{
    EXPECT_EQ(harness::HostTimeScale(24), 24000u);
    EXPECT_EQ(harness::HostTimeScale(29.97), 29970u);
    EXPECT_EQ(harness::HostTimeScale(1e-300), 0u);
    EXPECT_EQ(harness::HostTimeScale(std::nan("")), 0u);
    EXPECT_TRUE(harness::FitsHostTime(89478.0, 24));
    EXPECT_FALSE(harness::FitsHostTime(89479.0, 24));
    EXPECT_FALSE(harness::FitsHostTime(-89479.5, 24));

    harness::FrameRequest request;
    request.time = 89478.0;
    const harness::FrameResult last = host->renderFrame(request);
    EXPECT_EQ(last.currentTime, 89478 * 24000);
    EXPECT_EQ(last.renderErr, PF_Err_NONE);
    const std::size_t commands = host->commands().size();
    request.time = 89479.0;
    EXPECT_THROW(host->renderFrame(request), std::out_of_range);
    EXPECT_EQ(host->commands().size(), commands) << "nothing was sent";

    harness::HostOptions options;
    options.fps = 1e-300;
    EXPECT_THROW(harness::Host{options}, std::invalid_argument);
}

TEST_F(FrameProtocol, InputIsHandedOverAreaAveragedAtReducedResolution)
{
    // The probe's output copies the input's alpha and moves green to red.
    const harness::OwnedWorld input = TestPicture(21, 13);
    const harness::FrameResult frame = host->renderFrame(0.0, 8, {1, 2, 1, 3});
    ASSERT_EQ(frame.renderErr, PF_Err_NONE);
    ASSERT_EQ(frame.output->width(), 11);
    ASSERT_EQ(frame.output->height(), 5);
    for (A_long y = 0; y < 5; ++y)
        for (A_long x = 0; x < 11; ++x) {
            double alpha = 0, green = 0, weight = 0;
            for (A_long sy = 3 * y; sy < std::min(3 * y + 3, 13); ++sy)
                for (A_long sx = 2 * x; sx < std::min(2 * x + 2, 21); ++sx) {
                    alpha += input.row<PF_Pixel>(sy)[sx].alpha;
                    green += input.row<PF_Pixel>(sy)[sx].green;
                    weight += 1;
                }
            const PF_Pixel out = frame.output->row<PF_Pixel>(y)[x];
            ASSERT_EQ(out.alpha, std::round(alpha / weight)) << x << "," << y;
            ASSERT_EQ(out.red, std::round(green / weight)) << x << "," << y;
        }
}

TEST_F(FrameProtocol, NoMaskChosenIsAPathWithoutSegments)
{
    const harness::FrameResult frame = host->renderFrame();
    EXPECT_EQ(frame.preRenderErr, PF_Err_NONE);
    EXPECT_EQ(capture.data.pathId, 0u);
    EXPECT_EQ(capture.data.segments, 0);
    EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
}

TEST_F(FrameProtocol, SpecifiedLayerInTheRendersFormatAndScale)
{
    // No layer: a zero-filled record.
    host->renderFrame();
    EXPECT_EQ(capture.data.textureWidth, 0);

    harness::OwnedWorld texture(9, 5, PF_PixelFormat_ARGB32);
    texture.row<PF_Pixel>(0)[0] = {255, 10, 20, 30};
    texture.row<PF_Pixel>(0)[1] = {255, 11, 20, 30};
    texture.row<PF_Pixel>(1)[0] = {255, 10, 21, 30};
    texture.row<PF_Pixel>(1)[1] = {255, 10, 20, 32};
    host->setLayer("Texture", texture);
    const harness::FrameResult frame = host->renderFrame(0.0, 16, {1, 2, 1, 2});
    EXPECT_TRUE(frame.violations.empty()) << harness::Describe(frame.violations);
    const probe::ProbeData& d = capture.data;
    EXPECT_EQ(d.textureWidth, 5);
    EXPECT_EQ(d.textureHeight, 3);
    EXPECT_EQ(d.textureRowBytes, harness::PaddedRowBytes(5, PF_PixelFormat_ARGB64));
    EXPECT_EQ(d.textureFormat, PF_PixelFormat_ARGB64);
    // Average of the 2 x 2 block after conversion to 16 bits.
    auto c16 = [](double v) { return std::round(v * 32768 / 255); };
    EXPECT_EQ(d.textureFirst16.alpha, 32768);
    EXPECT_EQ(d.textureFirst16.red, std::round((3 * c16(10) + c16(11)) / 4));
    EXPECT_EQ(d.textureFirst16.green, std::round((3 * c16(20) + c16(21)) / 4));
    EXPECT_EQ(d.textureFirst16.blue, std::round((3 * c16(30) + c16(32)) / 4));
}

TEST_F(FrameProtocol, AbortAnswersCancelFromTheNthQuestionOn)
{
    host->setParam("Abort Questions", 5.0);
    host->abortFrom(3);
    const harness::FrameResult frame = host->renderFrame();
    EXPECT_EQ(frame.preRenderErr, PF_Interrupt_CANCEL);
    EXPECT_FALSE(frame.renderSent);
    EXPECT_EQ(frame.deleteCalls, 1);
    ASSERT_EQ(capture.data.asked, 3);
    EXPECT_EQ(capture.data.answers[0], PF_Err_NONE);
    EXPECT_EQ(capture.data.answers[1], PF_Err_NONE);
    EXPECT_EQ(capture.data.answers[2], PF_Interrupt_CANCEL);
    EXPECT_EQ(frame.abortQuestions, 3);

    host->abortFrom(0);
    const harness::FrameResult again = host->renderFrame();
    EXPECT_EQ(again.preRenderErr, PF_Err_NONE);
    EXPECT_EQ(capture.data.asked, 5);
}

TEST_F(FrameProtocol, CancelAnswersEveryLaterQuestion)
{
    host->setParam("Abort Questions", 2.0);
    host->cancel();
    const harness::FrameResult cancelled = host->renderFrame();
    EXPECT_EQ(cancelled.preRenderErr, PF_Interrupt_CANCEL);
    EXPECT_EQ(capture.data.asked, 1);
    host->abortFrom(0);
    EXPECT_EQ(host->renderFrame().preRenderErr, PF_Err_NONE);
}

TEST_F(FrameProtocol, ProgressIsRecordedInOrder)
{
    std::vector<A_long> reported;
    host->onProgress([&](A_long current, A_long) { reported.push_back(current); });
    const harness::FrameResult frame = host->renderFrame();
    EXPECT_EQ(reported, (std::vector<A_long>{0, 50, 100}));
    ASSERT_EQ(frame.progress.size(), 3u);
    EXPECT_EQ(frame.progress[0].current, 0);
    EXPECT_EQ(frame.progress[1].current, 50);
    EXPECT_EQ(frame.progress[2].current, 100);
    EXPECT_EQ(frame.progress[2].total, 100);
}

} // namespace
