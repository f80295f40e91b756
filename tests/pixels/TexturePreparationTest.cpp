#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "PixelTestSupport.h"
#include "harness/state/Host.h"
#include "pixels/DefaultTexture.h"
#include "pixels/TexturePreparation.h"

using namespace pixeltest;

namespace {

// One render command of the stand-in host, for calling the preparation
// routines with real suites; the host reports worlds left undisposed and
// suites left acquired when the command ends.
class PreparationCommand {
public:
    explicit PreparationCommand(PF_PixelFormat format, harness::Downsample downsample = {})
    {
        const int bitDepth = format == PF_PixelFormat_ARGB32 ? 8 : format == PF_PixelFormat_ARGB64 ? 16 : 32;
        host.setInput(harness::OwnedWorld(8, 8, PF_PixelFormat_ARGB32));
        host.setupFrame({.bitDepth = bitDepth, .downsample = downsample});
        host.beginCommand(PF_Cmd_SMART_RENDER);
        info = baseInfo();
        info.pixelFormat = format;
        info.textureWorld = &layerRecord;
        info.texturePitch = 0;
    }

    // A chosen layer: the record the render pass hands over points at it.
    void chooseLayer(harness::OwnedWorld& layer, std::uint16_t pitch)
    {
        layerRecord = layer.world();
        info.texturePitch = pitch;
    }

    PF_Err defaultTexture() { return outputDefaultTextureForFormat(&info, host.inData(), host.outData(), &texture); }
    PF_Err flipAndMirror() { return flipAndMirrorTextureForFormat(&info, host.inData(), host.outData(), &texture); }

    PF_Err dispose()
    {
        const void* suite = nullptr;
        SPBasicSuite* basic = host.basicSuite();
        basic->AcquireSuite(kPFWorldSuite, kPFWorldSuiteVersion2, &suite);
        const PF_Err err = texture.dispose(&info, host.inData(), static_cast<const PF_WorldSuite2*>(suite));
        basic->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
        return err;
    }

    harness::CommandReport end(PF_Err err = PF_Err_NONE) { return host.endCommand(err); }

    harness::Host host;
    PF_EffectWorld layerRecord{}; // width 0: no layer chosen
    PreparedTexture texture;
    PFInfo info{};

    // Begins the bookkeeping once the layer is in place.
    void begin() { texture.begin(&info); }
};

template <typename T>
T texel(const PFInfo& info, A_long x, A_long y)
{
    return static_cast<const T*>(info.textureWorld->data)[x + y * info.texturePitch];
}

template <typename T>
T expectedPlaceholder(int column, int row)
{
    const unsigned char* rgb = default_texture_arr + (static_cast<std::size_t>(row) * kDefaultTextureWidth + column) * 3;
    if constexpr (std::is_same_v<T, PF_Pixel>) {
        return PF_Pixel{255, rgb[0], rgb[1], rgb[2]};
    } else if constexpr (std::is_same_v<T, PF_Pixel16>) {
        auto c = [](unsigned char b) { return static_cast<A_u_short>(std::lround(b * 32767.0 / 255.0)); };
        return PF_Pixel16{32767, c(rgb[0]), c(rgb[1]), c(rgb[2])};
    } else {
        auto c = [](unsigned char b) { return static_cast<float>(b / 255.0); };
        return PF_PixelFloat{1.0f, c(rgb[0]), c(rgb[1]), c(rgb[2])};
    }
}

template <typename T>
class Preparation : public ::testing::Test {};
TYPED_TEST_SUITE(Preparation, Formats, FormatName);

} // namespace

TYPED_TEST(Preparation, PlaceholderAtFullAndHalfResolution)
{
    using T = TypeParam;
    for (A_u_long den : {1u, 2u}) {
        PreparationCommand command(PixelTraits<T>::format, harness::Downsample{1, den, 1, den});
        command.begin();
        ASSERT_EQ(command.defaultTexture(), PF_Err_NONE);
        const PF_LayerDef& texture = *command.info.textureWorld;
        ASSERT_EQ(texture.width, 300 / static_cast<A_long>(den));
        ASSERT_EQ(texture.height, 1200 / static_cast<A_long>(den));
        EXPECT_EQ(command.info.texturePitch, texture.rowbytes / static_cast<A_long>(sizeof(T)));
        EXPECT_EQ(command.layerRecord.data, nullptr) << "the layer's record is never written";
        // Every den-th pixel of every den-th row, converted to the format.
        for (A_long r = 0; r < texture.height; r += 37)
            for (A_long c = 0; c < texture.width; c += 7)
                ASSERT_TRUE(pixelEq(texel<T>(command.info, c, r),
                                    expectedPlaceholder<T>(static_cast<int>(c * static_cast<A_long>(den)),
                                                           static_cast<int>(r * static_cast<A_long>(den)))))
                    << c << ", " << r;
        EXPECT_EQ(command.dispose(), PF_Err_NONE);
        const harness::CommandReport report = command.end();
        EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
    }
}

TEST(Placeholder, SixteenBitAlphaIsOneBelowWhite)
{
    PreparationCommand command(PF_PixelFormat_ARGB64);
    command.begin();
    ASSERT_EQ(command.defaultTexture(), PF_Err_NONE);
    EXPECT_EQ(texel<PF_Pixel16>(command.info, 0, 0).alpha, 32767);
    EXPECT_EQ(texel<PF_Pixel16>(command.info, 10, 10).red, 3084); // 24 x 32767 / 255, rounded
    command.dispose();
    command.end();
}

TEST(Placeholder, FactorsOtherThanOneOverNStayInsideThePicture)
{
    PreparationCommand command(PF_PixelFormat_ARGB32, harness::Downsample{2, 3, 2, 3});
    command.begin();
    ASSERT_EQ(command.defaultTexture(), PF_Err_NONE);
    const PF_LayerDef& texture = *command.info.textureWorld;
    ASSERT_EQ(texture.width, 200);
    ASSERT_EQ(texture.height, 800);
    EXPECT_TRUE(pixelEq(texel<PF_Pixel>(command.info, 199, 799), expectedPlaceholder<PF_Pixel>(299, 1199)));
    EXPECT_TRUE(pixelEq(texel<PF_Pixel>(command.info, 50, 100), expectedPlaceholder<PF_Pixel>(150, 300)));
    command.dispose();
    EXPECT_TRUE(command.end().violations.empty());
}

TEST(Placeholder, NotMadeWhenALayerIsChosen)
{
    auto layer = makeWorld<PF_Pixel>(5, 3);
    PreparationCommand command(PF_PixelFormat_ARGB32);
    command.chooseLayer(layer, pitchOf<PF_Pixel>(layer));
    command.begin();
    ASSERT_EQ(command.defaultTexture(), PF_Err_NONE);
    EXPECT_EQ(command.info.textureWorld, &command.layerRecord);
    EXPECT_FALSE(command.texture.madeCurrentTexture());
    command.dispose();
    EXPECT_TRUE(command.end().violations.empty());
}

namespace {

// A 3 x 4 layer whose pixels tell their position: red = x, green = y.
template <typename T>
harness::OwnedWorld positionLayer()
{
    auto layer = makeWorld<T>(3, 4);
    using C = typename PixelTraits<T>::Channel;
    for (A_long y = 0; y < 4; ++y)
        for (A_long x = 0; x < 3; ++x)
            at<T>(layer, x, y) = T{C(1), static_cast<C>(x), static_cast<C>(y), C(7)};
    return layer;
}

} // namespace

TYPED_TEST(Preparation, FlipsAndDoublesWithoutTouchingTheLayer)
{
    using T = TypeParam;
    struct Case {
        bool horizontal, vertical, doubled;
    };
    const Case cases[] = {{true, false, false}, {false, true, false}, {true, true, false},
                          {false, false, true}, {true, true, true},   {false, false, false}};
    for (const Case& c : cases) {
        auto layer = positionLayer<T>();
        std::vector<unsigned char> original(static_cast<const unsigned char*>(layer.world().data),
                                            static_cast<const unsigned char*>(layer.world().data) +
                                                layer.world().rowbytes * layer.height());
        PreparationCommand command(PixelTraits<T>::format);
        command.chooseLayer(layer, pitchOf<T>(layer));
        command.begin();
        command.info.flipTextureHorizontally = c.horizontal;
        command.info.flipTextureVertically = c.vertical;
        command.info.repeatMirroredY = c.doubled;
        ASSERT_EQ(command.defaultTexture(), PF_Err_NONE);
        ASSERT_EQ(command.flipAndMirror(), PF_Err_NONE);

        const PF_LayerDef& texture = *command.info.textureWorld;
        ASSERT_EQ(texture.width, 3);
        ASSERT_EQ(texture.height, c.doubled ? 8 : 4);
        EXPECT_EQ(command.info.doubledTextureWorld, c.doubled ? command.info.textureWorld : nullptr);
        for (A_long y = 0; y < texture.height; ++y)
            for (A_long x = 0; x < 3; ++x) {
                const A_long unfoldedY = y < 4 ? y : 7 - y; // the lower half is the upper half upside down
                const float expectedX = static_cast<float>(c.horizontal ? 2 - x : x);
                const float expectedY = static_cast<float>(c.vertical ? 3 - unfoldedY : unfoldedY);
                const FloatChannels got = channels(texel<T>(command.info, x, y));
                EXPECT_EQ(got.red, expectedX) << x << ", " << y;
                EXPECT_EQ(got.green, expectedY) << x << ", " << y;
            }
        EXPECT_EQ(std::memcmp(original.data(), layer.world().data, original.size()), 0);
        EXPECT_EQ(command.layerRecord.data, layer.world().data);

        EXPECT_EQ(command.dispose(), PF_Err_NONE);
        EXPECT_EQ(command.info.doubledTextureWorld, nullptr);
        const harness::CommandReport report = command.end();
        EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
    }
}

TEST(FlipAndMirror, OriginalFrameLeavesTheTextureAlone)
{
    auto layer = positionLayer<PF_Pixel>();
    PreparationCommand command(PF_PixelFormat_ARGB32);
    command.chooseLayer(layer, pitchOf<PF_Pixel>(layer));
    command.begin();
    command.info.useOriginalFrame = true;
    command.info.flipTextureHorizontally = true;
    command.info.flipTextureVertically = true;
    command.info.repeatMirroredY = true;
    ASSERT_EQ(command.flipAndMirror(), PF_Err_NONE);
    EXPECT_EQ(command.info.textureWorld, &command.layerRecord);
    EXPECT_EQ(command.info.doubledTextureWorld, nullptr);
    command.dispose();
    EXPECT_TRUE(command.end().violations.empty());
}

TEST(FlipAndMirror, EveryImageMadeIsDisposed)
{
    // Placeholder, flipped copy, doubled copy: the first two are disposed
    // as they are replaced, the last at the end of the render.
    PreparationCommand command(PF_PixelFormat_ARGB128);
    command.begin();
    command.info.flipTextureVertically = true;
    command.info.repeatMirroredY = true;
    ASSERT_EQ(command.defaultTexture(), PF_Err_NONE);
    ASSERT_EQ(command.flipAndMirror(), PF_Err_NONE);
    EXPECT_EQ(command.info.textureWorld->height, 2400);
    // Doubled from the flipped placeholder: its last row equals its first.
    for (A_long x = 0; x < 300; x += 13)
        EXPECT_TRUE(pixelEq(texel<PF_PixelFloat>(command.info, x, 2399), texel<PF_PixelFloat>(command.info, x, 0)));
    EXPECT_EQ(command.dispose(), PF_Err_NONE);
    const harness::CommandReport report = command.end();
    EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
}

TEST(FlipAndMirror, AnImageLeftUndisposedIsReported)
{
    PreparationCommand command(PF_PixelFormat_ARGB32);
    command.begin();
    ASSERT_EQ(command.defaultTexture(), PF_Err_NONE);
    EXPECT_FALSE(command.end().violations.empty()); // the check the other tests rely on
}

TEST(TexturePreparationFailures, HostRefusingAnImageEndsThePreparation)
{
    PreparationCommand command(PF_PixelFormat_ARGB32);
    command.begin();
    command.info.flipTextureHorizontally = true;
    ASSERT_EQ(command.defaultTexture(), PF_Err_NONE);
    command.host.failCall("PF_NewWorld", 1, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(command.flipAndMirror(), PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(command.texture.madeCurrentTexture()); // the placeholder is still the texture
    EXPECT_EQ(command.info.textureWorld->width, 300);
    EXPECT_EQ(command.dispose(), PF_Err_NONE);
    const harness::CommandReport report = command.end(PF_Err_OUT_OF_MEMORY);
    EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
}

TEST(TexturePreparationFailures, MissingWorldSuite)
{
    PreparationCommand command(PF_PixelFormat_ARGB32);
    command.begin();
    command.host.withdrawSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
    EXPECT_EQ(command.defaultTexture(), A_Err_MISSING_SUITE);
    EXPECT_NE(command.host.outData()->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_STREQ(command.host.outData()->return_msg, "Not able to acquire AEFX Suite.");
    EXPECT_FALSE(command.texture.madeCurrentTexture());
    command.host.restoreSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
    const harness::CommandReport report = command.end(A_Err_MISSING_SUITE);
    EXPECT_TRUE(report.violations.empty()) << harness::Describe(report.violations);
}
