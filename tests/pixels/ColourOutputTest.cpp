#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PixelTestSupport.h"
#include "pixels/ColourOutput.h"

using namespace pixeltest;
using Linestra::FloatPoint;
using Linestra::Int32Point;
using Linestra::LineSegmentIterator;

// ---------------------------------------------------------------------------
// Fade factor

namespace {

float fadeAt(float fadeIn, float fadeOut, float lineDistance, float strokeLength = 100.0f)
{
    PFInfo info = baseInfo();
    info.fadeIn = fadeIn;
    info.fadeOut = fadeOut;
    info.strokeLength = strokeLength;
    return calculateAlphaMul(&info, lineDistance, nullptr);
}

} // namespace

TEST(FadeFactor, RampsAsTheFadePercentagesSay)
{
    struct Case {
        const char* what;
        float fadeIn, fadeOut, lineDistance, expected;
    };
    // Fade length 100 (the stroke length).
    const Case cases[] = {
        {"no fade", 0, 0, 37, 1.0f},
        {"fade-in 20: a fifth of the way", 20, 0, 20, 0.5f},
        {"fade-in 20: two fifths on", 20, 0, 40, 1.0f},
        {"fade-in 20: at the end", 20, 0, 100, 1.0f},
        {"fade-in 20: at the start", 20, 0, 0, 0.0f},
        {"fade-out 40: at the very end", 0, 40, 100, 0.0f},
        {"fade-out 40: at 60 percent", 0, 40, 60, 0.5f},
        {"fade-out 40: before the ramp", 0, 40, 20, 1.0f},
        {"fade-in 50: linear over the whole length", 50, 0, 30, 0.3f},
        {"fade-in 75: before k", 75, 0, 40, 0.0f},
        {"fade-in 75: after k", 75, 0, 80, (0.8f - 0.5f) / (0.5f + 0.5f * 0.2f)},
        {"fade-out 60: beyond m", 0, 60, 90, 0.0f},
        {"fade-out 60: inside m", 0, 60, 40, (1.0f - 0.4f / 0.8f) + (0.2f - 1.0f) * (1.2f - 1.0f)},
        {"both below 50", 20, 40, 70, 0.375f},
        {"beyond the fade length counts as its end", 20, 40, 150, 0.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(fadeAt(c.fadeIn, c.fadeOut, c.lineDistance), c.expected, 1e-6f) << c.what;
}

TEST(FadeFactor, FullFadeInMakesEveryPixelTransparent)
{
    for (float d = 0.0f; d <= 100.0f; d += 0.5f)
        EXPECT_EQ(fadeAt(100.0f, 0.0f, d), 0.0f) << d;
}

TEST(FadeFactor, FadeLengthFollowsStopFadeAtEdgeAndToEdge)
{
    PFInfo info = baseInfo();
    info.fadeOut = 40.0f;
    info.strokeLength = 100.0f;
    info.maxLineLength = 200;
    LineSegmentIterator cutByTheFrame{};
    cutByTheFrame.line.visibleLength = 50.0; // the frame edge cuts the line at 50 pixels

    // At the frame edge: with Stop Fade At Edge the fade is complete there;
    // without it the fade is measured against the stroke length.
    info.stopFadeAtEdge = true;
    EXPECT_EQ(calculateAlphaMul(&info, 50.0f, &cutByTheFrame), 0.0f);
    EXPECT_FLOAT_EQ(calculateAlphaMul(&info, 35.0f, &cutByTheFrame), 0.375f);
    info.stopFadeAtEdge = false;
    EXPECT_FLOAT_EQ(calculateAlphaMul(&info, 50.0f, &cutByTheFrame), 0.625f);
    info.toEdge = true; // the longest line
    EXPECT_FLOAT_EQ(calculateAlphaMul(&info, 140.0f, nullptr), 0.375f);
}

TEST(FadeFactor, ZeroFadeLength)
{
    EXPECT_EQ(fadeAt(0.0f, 40.0f, 3.0f, 0.0f), 0.0f); // away from the start: the end of the fade
    EXPECT_EQ(fadeAt(20.0f, 0.0f, 3.0f, 0.0f), 1.0f);
    EXPECT_TRUE(std::isnan(fadeAt(20.0f, 0.0f, 0.0f, 0.0f))); // 0 / 0 at the line's start
}

// ---------------------------------------------------------------------------
// Compositing

template <typename T>
class Composite : public ::testing::Test {};
TYPED_TEST_SUITE(Composite, Formats, FormatName);

TYPED_TEST(Composite, OpaqueSourceReplacesTheDestinationExactly)
{
    using T = TypeParam;
    const float w = white<T>();
    const float values[] = {0.0f, 1.0f / w, 0.2f, 0.5f, 0.73f, 1.0f};
    for (float r : values)
        for (float d : values) {
            T destination = fraction<T>(d, d, 1.0f - d, d);
            const T source = fraction<T>(1.0f, r, 1.0f - r, r * 0.5f);
            draw_point_on_top(&destination, source);
            EXPECT_TRUE(pixelEq(destination, source)) << r << " over " << d;
        }
}

TEST(Composite8, EveryOpaqueValueSurvives)
{
    for (int v = 0; v <= 255; ++v) {
        PF_Pixel destination{255, 17, 200, 99};
        const auto c = static_cast<A_u_char>(v);
        draw_point_on_top(&destination, PF_Pixel{255, c, c, c});
        EXPECT_EQ(destination.red, c);
    }
}

TEST(Composite8, HalfAlphaOverOpaqueBlack)
{
    PF_Pixel destination{255, 0, 0, 0};
    draw_point_on_top(&destination, PF_Pixel{128, 200, 100, 51});
    EXPECT_EQ(destination.alpha, 255);
    EXPECT_EQ(destination.red, 100); // 200 x 128/255 = 100.4
    EXPECT_EQ(destination.green, 50);
    EXPECT_EQ(destination.blue, 26); // 25.6 rounds up
}

TEST(Composite8, ZeroAlphaLeavesTheDestination)
{
    for (int v = 0; v <= 255; v += 5) {
        const auto c = static_cast<A_u_char>(v);
        PF_Pixel destination{c, c, static_cast<A_u_char>(255 - v), c};
        const PF_Pixel before = destination;
        draw_point_on_top(&destination, PF_Pixel{0, 255, 255, 255});
        EXPECT_TRUE(pixelEq(destination, before)) << v;
    }
}

TEST(Composite16, NeverAboveWhite)
{
    const A_u_short values[] = {0, 1, 16384, 32767, 32768, 40000, 65535};
    for (A_u_short a : {A_u_short{1}, A_u_short{20000}, A_u_short{32768}})
        for (A_u_short c : values)
            for (A_u_short d : values) {
                PF_Pixel16 destination{d, d, d, d};
                draw_point_on_top(&destination, PF_Pixel16{a, c, c, c});
                EXPECT_LE(destination.alpha, 32768);
                EXPECT_LE(destination.red, 32768) << a << " " << c << " " << d;
            }
    PF_Pixel16 destination{32768, 0, 0, 0};
    draw_point_on_top(&destination, PF_Pixel16{16384, 32768, 16384, 0});
    EXPECT_EQ(destination.alpha, 32768);
    EXPECT_EQ(destination.red, 16384);
    EXPECT_EQ(destination.green, 8192);
}

TEST(CompositeFloat, NotClampedNorRounded)
{
    PF_PixelFloat destination{0.5f, 1.5f, -0.25f, 0.3f};
    draw_point_on_top(&destination, PF_PixelFloat{0.5f, 3.0f, 0.0f, 0.1f});
    EXPECT_FLOAT_EQ(destination.alpha, 0.75f);
    EXPECT_FLOAT_EQ(destination.red, 2.25f);
    EXPECT_FLOAT_EQ(destination.green, -0.125f);
    EXPECT_FLOAT_EQ(destination.blue, 0.2f);
}

// ---------------------------------------------------------------------------
// getAndOutputColor

namespace {

// A scene of one output image, one texture and one input frame in the
// format of T, with a context pointing at them.
template <typename T>
struct Scene {
    Scene() : output(makeWorld<T>(12, 6)), texture(makeWorld<T>(4, 4)), input(makeWorld<T>(12, 6))
    {
        info = baseInfo();
        info.pixelFormat = PixelTraits<T>::format;
        info.width = 12;
        info.height = 6;
        info.outputWorld = &output.world();
        info.outputPitch = pitchOf<T>(output);
        info.textureWorld = &texture.world();
        info.texturePitch = pitchOf<T>(texture);
        info.inputWorld = &input.world();
        info.inputPitch = pitchOf<T>(input);
        info.pathLength = 40.0;
        info.strokeLength = 100.0f;
        info.maxLineLength = 100;
        for (A_long y = 0; y < 4; ++y)
            for (A_long x = 0; x < 4; ++x)
                at<T>(texture, x, y) = fraction<T>(1.0f, 0.2f * static_cast<float>(x), 0.2f * static_cast<float>(y), 1.0f);
        for (A_long y = 0; y < 6; ++y)
            for (A_long x = 0; x < 12; ++x)
                at<T>(input, x, y) = fraction<T>(1.0f, static_cast<float>(x) / 16.0f, static_cast<float>(y) / 8.0f, 0.0f);
        for (A_long y = 0; y < 6; ++y)
            for (A_long x = 0; x < 12; ++x)
                at<T>(output, x, y) = fraction<T>(1.0f, 0.0f, 0.0f, 0.5f);
    }

    // Colours pixel (x, y) for a line from `origin` along (dx, dy), at
    // lineDistance from it and pathDistance along the path.
    void colour(A_long x, A_long y, FloatPoint origin, float dx, float dy, float lineDistance, float pathDistance = 0.0f)
    {
        getAndOutputColor(&info, 0, pathDistance, Int32Point{x, y}, origin, dx, dy, lineDistance, 1.0f, 1.0f);
    }

    harness::OwnedWorld output, texture, input;
    PFInfo info;
};

template <typename T>
class OutputColour : public ::testing::Test {};
TYPED_TEST_SUITE(OutputColour, Formats, FormatName);

} // namespace

TYPED_TEST(OutputColour, SpecifiedLayerWritesTheTextureColour)
{
    using T = TypeParam;
    Scene<T> scene;
    scene.colour(5, 4, FloatPoint{3.0f, 4.0f}, 1.0f, 0.0f, 2.0f, 20.0f); // column 2, row 2
    EXPECT_TRUE(pixelEq(at<T>(scene.output, 5, 4), at<T>(scene.texture, 2, 2)));
    EXPECT_TRUE(pixelEq(at<T>(scene.output, 6, 4), fraction<T>(1.0f, 0.0f, 0.0f, 0.5f))); // neighbour untouched

    // Scale X Gradient changes nothing for this source.
    Scene<T> gradient;
    gradient.info.scaleXGradient = true;
    gradient.info.scaleXStart = 3.0f;
    gradient.info.scaleXEnd = 7.0f;
    gradient.colour(5, 4, FloatPoint{3.0f, 4.0f}, 1.0f, 0.0f, 2.0f, 20.0f);
    EXPECT_TRUE(pixelEq(at<T>(gradient.output, 5, 4), at<T>(scene.output, 5, 4)));
}

TYPED_TEST(OutputColour, OriginalFrameReadsAlongTheLine)
{
    using T = TypeParam;
    Scene<T> scene;
    scene.info.useOriginalFrame = true;
    scene.colour(5, 2, FloatPoint{2.0f, 2.0f}, 1.0f, 0.0f, 3.0f); // Scale X 1: its own position
    EXPECT_TRUE(pixelEq(at<T>(scene.output, 5, 2), at<T>(scene.input, 5, 2)));

    scene.info.scaleX = 2.0f; // twice as far along the line
    scene.colour(5, 3, FloatPoint{2.0f, 3.0f}, 1.0f, 0.0f, 3.0f);
    EXPECT_TRUE(pixelEq(at<T>(scene.output, 5, 3), at<T>(scene.input, 8, 3)));

    scene.info.scaleX = 1.0f; // a reversed direction (Mirror X) reads the other side of the start
    scene.colour(7, 1, FloatPoint{7.0f, 1.0f}, -1.0f, 0.0f, 3.0f);
    EXPECT_TRUE(pixelEq(at<T>(scene.output, 7, 1), at<T>(scene.input, 4, 1)));

    // Gradient from 1 to 3 over the longest line (100): 2 at 50.
    scene.info.scaleXGradient = true;
    scene.info.scaleXStart = 1.0f;
    scene.info.scaleXEnd = 3.0f;
    scene.info.mirrorTileAtEdge = true;
    scene.colour(0, 0, FloatPoint{0.0f, 0.0f}, 1.0f, 0.0f, 50.0f);
    // S = 2: the walk is 100 pixels long and two samples are averaged.
    FloatPoint expectedPoint{};
    getOriginalFrameTextureCoordinates(&scene.info, FloatPoint{0.0f, 0.0f}, &expectedPoint, 100.0f, 1.0f, 0.0f);
    const T expected = getTextureColor_OriginalFrame<T>(&scene.info, expectedPoint, 1.0f, 0.0f, true, 2.0f, 1.0f);
    EXPECT_TRUE(pixelEq(at<T>(scene.output, 0, 0), expected));
}

TYPED_TEST(OutputColour, FadesAndCompositesOverTheOutput)
{
    using T = TypeParam;
    Scene<T> scene;
    scene.info.fadeIn = 100.0f; // every pixel of the line invisible
    const T before = at<T>(scene.output, 3, 1);
    for (float d = 0.0f; d < 100.0f; d += 7.5f)
        scene.colour(3, 1, FloatPoint{0.0f, 1.0f}, 1.0f, 0.0f, d);
    EXPECT_TRUE(pixelEq(at<T>(scene.output, 3, 1), before));

    // A fade factor that is not a number (fade length 0 at the line's
    // start) leaves the pixel as it was.
    Scene<T> zeroLength;
    zeroLength.info.strokeLength = 0.0f;
    zeroLength.info.fadeIn = 20.0f;
    at<T>(zeroLength.output, 2, 2) = fraction<T>(0.5f, 0.25f, 0.5f, 0.75f);
    const T kept = at<T>(zeroLength.output, 2, 2);
    zeroLength.colour(2, 2, FloatPoint{2.0f, 2.0f}, 1.0f, 0.0f, 0.0f);
    EXPECT_TRUE(pixelEq(at<T>(zeroLength.output, 2, 2), kept));

    // Half faded over the background: between the two.
    Scene<T> half;
    half.info.fadeIn = 20.0f;
    half.colour(4, 0, FloatPoint{0.0f, 0.0f}, 1.0f, 0.0f, 20.0f, 0.0f); // factor 0.5, texture column 0 row 0: blue 1
    const FloatChannels got = channels(at<T>(half.output, 4, 0));
    EXPECT_NEAR(got.blue, 0.75f * white<T>(), 1.0f);
    EXPECT_NEAR(got.alpha, white<T>(), 1.0f);
}

TEST(OutputColourDispatch, UnknownFormatWritesNothing)
{
    Scene<PF_Pixel> scene;
    scene.info.pixelFormat = PF_PixelFormat_INVALID;
    const PF_Pixel before = at<PF_Pixel>(scene.output, 5, 4);
    scene.colour(5, 4, FloatPoint{3.0f, 4.0f}, 1.0f, 0.0f, 2.0f, 20.0f);
    EXPECT_TRUE(pixelEq(at<PF_Pixel>(scene.output, 5, 4), before));
}
