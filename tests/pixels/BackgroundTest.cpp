#include <gtest/gtest.h>

#include <cstring>

#include "PixelTestSupport.h"
#include "harness/state/Host.h"
#include "pixels/Background.h"

using namespace pixeltest;

namespace {

template <typename T>
class Background : public ::testing::Test {
protected:
    // A render command of the stand-in host with a 7 x 5 input whose pixels
    // all differ, and an output filled with a byte pattern.
    void SetUp() override
    {
        const PF_PixelFormat format = PixelTraits<T>::format;
        const int bitDepth = format == PF_PixelFormat_ARGB32 ? 8 : format == PF_PixelFormat_ARGB64 ? 16 : 32;
        auto input = makeWorld<T>(7, 5);
        for (A_long y = 0; y < 5; ++y)
            for (A_long x = 0; x < 7; ++x)
                at<T>(input, x, y) = fraction<T>(0.5f + 0.05f * static_cast<float>(y), 0.1f * static_cast<float>(x),
                                                 0.2f * static_cast<float>(y), 0.3f);
        host.setInput(std::move(input));
        host.setupFrame({.bitDepth = bitDepth});
        host.beginCommand(PF_Cmd_SMART_RENDER);
        info = baseInfo();
        info.inputWorld = host.renderInput();
        info.outputWorld = host.renderOutput();
        fillOutput(0x5A);
    }

    void fillOutput(unsigned char byte)
    {
        PF_EffectWorld* out = info.outputWorld;
        std::memset(out->data, byte, static_cast<std::size_t>(out->rowbytes) * static_cast<std::size_t>(out->height));
    }

    T outputPixel(A_long x, A_long y) const
    {
        const PF_EffectWorld* out = info.outputWorld;
        return reinterpret_cast<const T*>(static_cast<const unsigned char*>(out->data) + y * out->rowbytes)[x];
    }
    T inputPixel(A_long x, A_long y) const
    {
        const PF_EffectWorld* in = info.inputWorld;
        return reinterpret_cast<const T*>(static_cast<const unsigned char*>(in->data) + y * in->rowbytes)[x];
    }

    void expectNoViolations(PF_Err err)
    {
        const harness::CommandReport report = host.endCommand(err);
        EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
        EXPECT_TRUE(host.outstandingSuites().empty());
    }

    harness::Host host;
    PFInfo info{};
};
TYPED_TEST_SUITE(Background, Formats, FormatName);

} // namespace

TYPED_TEST(Background, CompositeOnOriginalCopiesTheInput)
{
    using T = TypeParam;
    this->info.backgroundMode = 2;
    const PF_Err err = drawBackgroundToOutput(&this->info, this->host.inData(), this->host.outData(),
                                              PixelTraits<T>::format);
    ASSERT_EQ(err, PF_Err_NONE);
    for (A_long y = 0; y < 5; ++y)
        for (A_long x = 0; x < 7; ++x)
            ASSERT_TRUE(pixelEq(this->outputPixel(x, y), this->inputPixel(x, y))) << x << ", " << y;
    this->expectNoViolations(err);
}

TYPED_TEST(Background, OtherwiseTransparentBlack)
{
    using T = TypeParam;
    this->info.backgroundMode = 3;
    const PF_Err err = drawBackgroundToOutput(&this->info, this->host.inData(), this->host.outData(),
                                              PixelTraits<T>::format);
    ASSERT_EQ(err, PF_Err_NONE);
    for (A_long y = 0; y < 5; ++y)
        for (A_long x = 0; x < 7; ++x)
            ASSERT_TRUE(pixelEq(this->outputPixel(x, y), T{})) << x << ", " << y;
    this->expectNoViolations(err);
}

TYPED_TEST(Background, UnknownFormatWritesNothing)
{
    using T = TypeParam;
    this->info.backgroundMode = 2;
    const T before = this->outputPixel(3, 2);
    const PF_Err err = drawBackgroundToOutput(&this->info, this->host.inData(), this->host.outData(),
                                              PF_PixelFormat_INVALID);
    EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(pixelEq(this->outputPixel(3, 2), before));
    EXPECT_TRUE(pixelEq(this->outputPixel(0, 0), before));
    this->expectNoViolations(err);
}

TEST(BackgroundSuites, AMissingSuiteReleasesTheOnesAcquired)
{
    harness::Host host;
    host.setInput(harness::OwnedWorld(4, 4, PF_PixelFormat_ARGB32));
    host.setupFrame({.bitDepth = 8});
    host.beginCommand(PF_Cmd_SMART_RENDER);
    PFInfo info = baseInfo();
    info.inputWorld = host.renderInput();
    info.outputWorld = host.renderOutput();
    host.withdrawSuite(kPFIterateFloatSuite, kPFIterateFloatSuiteVersion2);
    PF_Err err = PF_Err_NONE;
    try {
        drawBackgroundToOutput(&info, host.inData(), host.outData(), PF_PixelFormat_ARGB32);
    } catch (PF_Err thrown) {
        err = thrown;
    }
    EXPECT_EQ(err, A_Err_MISSING_SUITE);
    EXPECT_STREQ(host.outData()->return_msg, "Not able to acquire AEFX Suite.");
    EXPECT_TRUE(host.outstandingSuites().empty());
    host.restoreSuite(kPFIterateFloatSuite, kPFIterateFloatSuiteVersion2);
    host.endCommand(err);
}
