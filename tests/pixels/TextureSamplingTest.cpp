#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PixelTestSupport.h"
#include "pixels/TextureSampling.h"

using namespace pixeltest;
using Linestra::FloatPoint;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

template <typename T>
class BilinearRead : public ::testing::Test {
protected:
    // 4 x 5 image; pixel (x, y) has red x/4, green y/8, blue 1/2, alpha 1.
    BilinearRead() : world(makeWorld<T>(4, 5))
    {
        for (A_long y = 0; y < 5; ++y)
            for (A_long x = 0; x < 4; ++x)
                at<T>(world, x, y) = fraction<T>(1.0f, static_cast<float>(x) / 4.0f, static_cast<float>(y) / 8.0f, 0.5f);
    }
    T read(float x, float y) { return get_pixel_at_point_on_effectworld<T>(&world.world(), pitchOf<T>(world), x, y); }

    harness::OwnedWorld world;
};
TYPED_TEST_SUITE(BilinearRead, Formats, FormatName);

} // namespace

TYPED_TEST(BilinearRead, ClampsToTheImageAndReadsExactPixels)
{
    using T = TypeParam;
    auto& w = this->world;
    EXPECT_TRUE(pixelEq(this->read(-5.0f, -5.0f), at<T>(w, 0, 0)));
    EXPECT_TRUE(pixelEq(this->read(3.0f, 4.0f), at<T>(w, 3, 4))); // last column and row: nothing beyond is read
    EXPECT_TRUE(pixelEq(this->read(2.0f, 1.0f), at<T>(w, 2, 1)));
    EXPECT_TRUE(pixelEq(this->read(kNaN, kNaN), at<T>(w, 3, 4)));
    EXPECT_TRUE(pixelEq(this->read(kNaN, 0.0f), at<T>(w, 3, 0)));
}

TYPED_TEST(BilinearRead, BeyondTheLastColumnBlendsItsRows)
{
    using T = TypeParam;
    const T got = this->read(4.0f + 3.0f, 2.5f);
    const FloatChannels upper = channels(at<T>(this->world, 3, 2));
    const FloatChannels lower = channels(at<T>(this->world, 3, 3));
    const FloatChannels expected{upper.alpha, upper.red, upper.green * 0.5f + lower.green * 0.5f, upper.blue};
    EXPECT_TRUE(pixelEq(got, truncatePixel<T>(expected)));
    EXPECT_NE(channels(got).green, upper.green);
}

TYPED_TEST(BilinearRead, HalfWayBetweenBlackAndWhiteRed)
{
    using T = TypeParam;
    auto pair = makeWorld<T>(2, 1);
    at<T>(pair, 0, 0) = fraction<T>(1.0f, 0.0f, 0.0f, 0.0f);
    at<T>(pair, 1, 0) = fraction<T>(1.0f, 1.0f, 0.0f, 0.0f);
    const T got = get_pixel_at_point_on_effectworld<T>(&pair.world(), pitchOf<T>(pair), 0.5f, 0.0f);
    const float expected = PixelTraits<T>::isInteger ? std::floor(white<T>() * 0.5f) : 0.5f;
    EXPECT_EQ(channels(got).red, expected); // 8-bit: 127.5 truncates to 127
    EXPECT_EQ(channels(got).alpha, white<T>());
}

TYPED_TEST(BilinearRead, OnePixelImageAndEmptyImage)
{
    using T = TypeParam;
    auto one = makeWorld<T>(1, 1);
    at<T>(one, 0, 0) = fraction<T>(1.0f, 0.25f, 0.5f, 0.75f);
    EXPECT_TRUE(pixelEq(get_pixel_at_point_on_effectworld<T>(&one.world(), pitchOf<T>(one), 0.7f, 0.3f),
                        at<T>(one, 0, 0)));
    auto empty = makeWorld<T>(0, 0);
    EXPECT_TRUE(pixelEq(get_pixel_at_point_on_effectworld<T>(&empty.world(), 0, 1.0f, 1.0f), T{}));
}

// ---------------------------------------------------------------------------
// Texture column and row

TEST(TextureCoordinateX, TilesAndMirrorsAlongTheLine)
{
    auto texture = makeWorld<PF_Pixel>(10, 4);
    PFInfo info = baseInfo();
    info.textureWorld = &texture.world();
    struct Case {
        float scaleX;
        bool mirrored;
        float lineDistance;
        float expected;
    };
    const Case cases[] = {
        {1.0f, false, 3.0f, 3.0f},  {1.0f, false, 13.0f, 3.0f}, {1.0f, false, 23.5f, 3.5f},
        {2.0f, false, 6.5f, 3.0f},  // repeats every 10 / 2 pixels
        {1.0f, true, 3.0f, 3.0f},   // first tile forwards
        {1.0f, true, 13.0f, 5.0f},  // second tile backwards: (10 - 1) - (3 + 1)
        {1.0f, true, 23.0f, 3.0f},  // third forwards again
        {2.0f, true, 6.5f, 6.0f},   // x = 13 mirrored; lineDistance below the width: (10 - 1) - (3 + 0)
    };
    for (const Case& c : cases) {
        info.scaleX = c.scaleX;
        info.repeatMirroredX = c.mirrored;
        EXPECT_EQ(getTextureCoordinateX(&info, c.lineDistance, 0.0f), c.expected)
            << "scale " << c.scaleX << " mirrored " << c.mirrored << " at " << c.lineDistance;
    }
}

TEST(TextureCoordinateY, OffsetOfAQuarterTurnShiftsAQuarterOfThePath)
{
    auto texture = makeWorld<PF_Pixel>(4, 100);
    PFInfo info = baseInfo();
    info.textureWorld = &texture.world();
    info.pathLength = 400.0;
    EXPECT_FLOAT_EQ(getTextureCoordinateY(&info, 150.0f, 0.0f), 37.5f);
    const float quarterFurther = getTextureCoordinateY(&info, 250.0f, 0.0f);

    // 90 and 450 degrees are both a quarter turn of the path.
    for (double turns : {0.25, 1.25}) {
        info.textureOffsetDistance = turns * info.pathLength;
        EXPECT_FLOAT_EQ(getTextureCoordinateY(&info, 150.0f, 0.0f), quarterFurther) << turns << " turns";
    }
}

TEST(TextureCoordinateY, RowOffsetIsInTexels)
{
    auto texture = makeWorld<PF_Pixel>(4, 100);
    PFInfo info = baseInfo();
    info.textureWorld = &texture.world();
    info.pathLength = 400.0;
    info.scaleY = 2.0f;
    EXPECT_FLOAT_EQ(getTextureCoordinateY(&info, 10.0f, 0.0f), 5.0f);
    EXPECT_FLOAT_EQ(getTextureCoordinateY(&info, 10.0f, 3.0f), 8.0f);
    EXPECT_FLOAT_EQ(getTextureCoordinateY(&info, 210.0f, 0.0f), 5.0f); // Scale Y 2: two repeats per path
}

TEST(TextureCoordinateY, NearestToPointAnchorsTheStartRowAtTheNearestLine)
{
    auto texture = makeWorld<PF_Pixel>(4, 120);
    PFInfo info = baseInfo();
    info.textureWorld = &texture.world();
    info.pathLength = 523.0;
    info.textureOffsetDistance = 0.1 * info.pathLength;
    for (float scaleY : {1.0f, 2.5f}) {
        info.scaleY = scaleY;
        info.originNearestToPoint = false;
        const float startRow = getTextureCoordinateY(&info, 0.0f, 0.0f);
        const float startRowFurther = getTextureCoordinateY(&info, 40.0f, 0.0f);
        info.originNearestToPoint = true;
        info.originPathPosition = 311.0;
        EXPECT_NEAR(getTextureCoordinateY(&info, 311.0f, 0.0f), startRow, 1e-3f) << scaleY;
        EXPECT_NEAR(getTextureCoordinateY(&info, 351.0f, 0.0f), startRowFurther, 1e-3f) << scaleY;
        EXPECT_GE(getTextureCoordinateY(&info, 0.0f, 0.0f), 0.0f); // never negative before the anchor
    }
}

// ---------------------------------------------------------------------------
// Specified Layer colour

namespace {

// A texture whose columns and rows can be told apart: red = column x 10,
// green = row x 10.
harness::OwnedWorld stripedTexture(A_long width, A_long height)
{
    auto texture = makeWorld<PF_Pixel>(width, height);
    for (A_long y = 0; y < height; ++y)
        for (A_long x = 0; x < width; ++x)
            at<PF_Pixel>(texture, x, y) =
                PF_Pixel{255, static_cast<A_u_char>(x * 10), static_cast<A_u_char>(y * 10), 0};
    return texture;
}

PFInfo textureInfo(harness::OwnedWorld& texture, double pathLength)
{
    PFInfo info = baseInfo();
    info.textureWorld = &texture.world();
    info.texturePitch = pitchOf<PF_Pixel>(texture);
    info.pathLength = pathLength;
    info.pixelFormat = PF_PixelFormat_ARGB32;
    return info;
}

PF_Pixel specified(PFInfo& info, float pathDistance, float lineDistance, float step = 1.0f, float count = 1.0f)
{
    return getTextureColor_SpecifiedLayer<PF_Pixel>(&info, 0.0f, 0.0f, pathDistance, lineDistance, step, count);
}

} // namespace

TEST(SpecifiedLayerColour, TilesAcrossLinesAndMirrorsEverySecondTile)
{
    auto texture = stripedTexture(4, 8);
    PFInfo info = textureInfo(texture, 80.0);
    // Along one line the columns run 0 1 2 3 0 1 2 3 ...; mirrored, the
    // second tile runs backwards.
    const int plain[] = {0, 1, 2, 3, 0, 1, 2, 3};
    const int mirrored[] = {0, 1, 2, 3, 2, 1, 0, 0}; // (4 - 1) - (tx + 1) once the line passes the width
    for (int d = 0; d < 8; ++d) {
        info.repeatMirroredX = false;
        EXPECT_EQ(specified(info, 0.0f, static_cast<float>(d)).red, plain[d] * 10) << d;
        info.repeatMirroredX = true;
        EXPECT_EQ(specified(info, 0.0f, static_cast<float>(d)).red, mirrored[d] * 10) << d;
    }
    EXPECT_EQ(specified(info, 30.0f, 0.0f).green, 30); // 30 path pixels of 80 = row 3 of 8
}

TEST(SpecifiedLayerColour, AveragingLoopsWithCountOneReadOneSample)
{
    auto texture = stripedTexture(4, 8);
    PFInfo info = textureInfo(texture, 8.0);
    const PF_Pixel single = specified(info, 2.5f, 1.5f);
    for (int mode = 1; mode <= 3; ++mode) {
        info.areaSampleTextureX = (mode & 1) != 0;
        info.areaSampleTextureY = (mode & 2) != 0;
        EXPECT_TRUE(pixelEq(specified(info, 2.5f, 1.5f, 1.0f, 1.0f), single)) << "mode " << mode;
    }
}

TEST(SpecifiedLayerColour, AveragesAlongThePathTheLineAndBoth)
{
    auto texture = stripedTexture(4, 8);
    PFInfo info = textureInfo(texture, 8.0); // one texel per path pixel
    info.scaleXSampleCount = 2.0f;           // Scale X 2: columns x and x + 1
    info.scaleXSampleStep = 1.0f;
    info.scaleX = 2.0f;

    info.areaSampleTextureY = true; // rows 2, 3, 4
    EXPECT_EQ(specified(info, 2.0f, 0.5f, 1.0f, 3.0f).green, 30);
    EXPECT_EQ(specified(info, 2.0f, 0.5f, 1.0f, 3.0f).red, 10);

    info.areaSampleTextureY = false;
    info.areaSampleTextureX = true; // columns 1 and 2
    EXPECT_EQ(specified(info, 2.0f, 0.5f).red, 15);
    EXPECT_EQ(specified(info, 2.0f, 0.5f).green, 20);

    info.areaSampleTextureY = true; // both: 2 x 3 reads
    const PF_Pixel both = specified(info, 2.0f, 0.5f, 1.0f, 3.0f);
    EXPECT_EQ(both.red, 15);
    EXPECT_EQ(both.green, 30);
    EXPECT_EQ(both.alpha, 255);

    info.areaSamplingEnabled = false; // the master switch wins
    EXPECT_TRUE(pixelEq(specified(info, 2.0f, 0.5f, 1.0f, 3.0f), at<PF_Pixel>(texture, 1, 2)));
}

TEST(SpecifiedLayerColour, AStepThatCannotAdvanceEndsTheLoop)
{
    auto texture = stripedTexture(4, 8);
    PFInfo info = textureInfo(texture, 8.0);
    info.areaSampleTextureY = true;
    // A step of 0 or not a number would never reach the count.
    EXPECT_EQ(specified(info, 2.0f, 0.0f, 0.0f, 2.0f).green, 10); // one read of row 2, divided by 2
    EXPECT_EQ(specified(info, 2.0f, 0.0f, kNaN, 2.0f).green, 10);
}

// ---------------------------------------------------------------------------
// Original Frame position and colour

namespace {

PFInfo frameInfo(int width, int height, bool bounce)
{
    PFInfo info = baseInfo();
    info.width = width;
    info.height = height;
    info.mirrorTileAtEdge = bounce;
    return info;
}

FloatPoint framePosition(PFInfo& info, FloatPoint origin, float length, float dx, float dy)
{
    FloatPoint result{};
    getOriginalFrameTextureCoordinates(&info, origin, &result, length, dx, dy);
    return result;
}

} // namespace

TEST(OriginalFramePosition, BouncesBackFromTheFrameEdges)
{
    PFInfo info = frameInfo(100, 60, true);
    const FloatPoint origin{30.0f, 20.0f};
    struct Case {
        const char* what;
        float length, dx, dy;
        float x, y;
    };
    const Case cases[] = {
        {"inside", 50.0f, 1.0f, 0.0f, 80.0f, 20.0f},
        {"10 beyond the right edge", 80.0f, 1.0f, 0.0f, 90.0f, 20.0f},
        {"a width and 10 beyond the right edge", 180.0f, 1.0f, 0.0f, 10.0f, 20.0f},
        {"10 beyond the left edge", 40.0f, -1.0f, 0.0f, 10.0f, 20.0f},
        {"10 beyond the bottom edge", 50.0f, 0.0f, 1.0f, 30.0f, 50.0f},
        {"exactly at the edge", 70.0f, 1.0f, 0.0f, 100.0f, 20.0f},
    };
    for (const Case& c : cases) {
        const FloatPoint p = framePosition(info, origin, c.length, c.dx, c.dy);
        EXPECT_FLOAT_EQ(p.x, c.x) << c.what;
        EXPECT_FLOAT_EQ(p.y, c.y) << c.what;
    }

    // Diagonal: the whole direction reverses at the first edge reached.
    const FloatPoint diagonal = framePosition(info, FloatPoint{90.0f, 20.0f}, 15.0f, 0.8f, 0.6f);
    EXPECT_FLOAT_EQ(diagonal.x, 98.0f); // the edge at (100, 27.5) after 12.5, then 2.5 back
    EXPECT_FLOAT_EQ(diagonal.y, 26.0f);

    info.mirrorTileAtEdge = false;
    const FloatPoint straight = framePosition(info, origin, 180.0f, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(straight.x, 210.0f);
}

TEST(OriginalFramePosition, DegenerateFramesDoNotHang)
{
    PFInfo info = frameInfo(0, 0, true);
    const FloatPoint p = framePosition(info, FloatPoint{0.0f, 0.0f}, 25.0f, 1.0f, 0.0f);
    EXPECT_TRUE(std::isfinite(p.x));
    PFInfo huge = frameInfo(1, 1, true);
    const FloatPoint q = framePosition(huge, FloatPoint{0.5f, 0.5f}, 1.0e9f, 1.0f, 0.0f);
    EXPECT_TRUE(std::isfinite(q.x));
}

TEST(OriginalFramePosition, OneSampleStepLandsAsFarInsideAsItWouldGoBeyond)
{
    PFInfo info = frameInfo(100, 60, true);
    FloatPoint p{99.25f, 10.0f};
    getOriginalFrameTextureCoordinates_AreaSampling(&info, &p, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(p.x, 99.75f); // 0.75 to the edge, 0.25 beyond: lands 0.25 inside
    p = FloatPoint{50.0f, 10.0f};
    getOriginalFrameTextureCoordinates_AreaSampling(&info, &p, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(p.x, 51.0f);
    info.mirrorTileAtEdge = false;
    p = FloatPoint{99.25f, 10.0f};
    getOriginalFrameTextureCoordinates_AreaSampling(&info, &p, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(p.x, 100.25f);
}

TEST(OriginalFrameColour, ReadsOneSampleOrAveragesAlongTheStep)
{
    auto input = stripedTexture(8, 4);
    PFInfo info = frameInfo(8, 4, false);
    info.inputWorld = &input.world();
    info.inputPitch = pitchOf<PF_Pixel>(input);
    const FloatPoint point{2.0f, 1.0f};
    const PF_Pixel single = getTextureColor_OriginalFrame<PF_Pixel>(&info, point, 1.0f, 0.0f, false, 3.0f, 1.0f);
    EXPECT_TRUE(pixelEq(single, at<PF_Pixel>(input, 2, 1)));
    EXPECT_TRUE(pixelEq(getTextureColor_OriginalFrame<PF_Pixel>(&info, point, 1.0f, 0.0f, true, 1.0f, 1.0f), single));
    // Columns 2, 3, 4.
    EXPECT_EQ(getTextureColor_OriginalFrame<PF_Pixel>(&info, point, 1.0f, 0.0f, true, 3.0f, 1.0f).red, 30);
    info.areaSamplingEnabled = false;
    EXPECT_TRUE(pixelEq(getTextureColor_OriginalFrame<PF_Pixel>(&info, point, 1.0f, 0.0f, true, 3.0f, 1.0f), single));
}
