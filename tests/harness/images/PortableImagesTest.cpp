// The stand-in host's image files without an imaging library (the build the
// Windows harness uses): exact round trips through PAM and PFM, files that
// an imaging library reads back with the same values (PNG, OpenEXR, PFM),
// and clear refusals.
#include "harness/images/Images.h"
#include "harness/images/PortableImageFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if defined(LINESTRA_TEST_WITH_OIIO)
#include <OpenImageIO/imageio.h>
#endif

using namespace harness;
namespace fs = std::filesystem;

namespace {

class PortableImages : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("linestra-portable-images-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                   "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    void writeBytes(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    fs::path folder_;
};

// Every value of the format's range shows up somewhere: a walk through the
// range with a step coprime to it.
OwnedWorld Sample(PF_PixelFormat format, A_long width = 37, A_long height = 11)
{
    OwnedWorld world(width, height, format);
    std::uint32_t k = 0;
    for (A_long y = 0; y < height; ++y)
        for (A_long x = 0; x < width; ++x, ++k) {
            if (format == PF_PixelFormat_ARGB32) {
                PF_Pixel& p = world.row<PF_Pixel>(y)[x];
                p = {static_cast<A_u_char>(k * 7), static_cast<A_u_char>(k * 11 + 1), static_cast<A_u_char>(k * 13 + 2),
                     static_cast<A_u_char>(k * 17 + 3)};
            } else if (format == PF_PixelFormat_ARGB64) {
                PF_Pixel16& p = world.row<PF_Pixel16>(y)[x];
                const auto v = [&](std::uint32_t step, std::uint32_t offset) {
                    return static_cast<A_u_short>((k * step + offset) % 32769u);
                };
                p = {v(331, 0), v(977, 5), v(2003, 9), v(4099, 32768)};
            } else {
                PF_PixelFloat& p = world.row<PF_PixelFloat>(y)[x];
                const float f = static_cast<float>(k) / 97.0f;
                p = {1.0f - f, std::sin(f) * 1.5f, -0.25f + f, 1e-7f * f};
            }
        }
    return world;
}

template <typename Pixel>
bool SamePixels(const OwnedWorld& a, const OwnedWorld& b, bool withAlpha = true)
{
    if (a.width() != b.width() || a.height() != b.height())
        return false;
    for (A_long y = 0; y < a.height(); ++y)
        for (A_long x = 0; x < a.width(); ++x) {
            const Pixel& p = a.row<Pixel>(y)[x];
            const Pixel& q = b.row<Pixel>(y)[x];
            if (p.red != q.red || p.green != q.green || p.blue != q.blue || (withAlpha && p.alpha != q.alpha))
                return false;
        }
    return true;
}

} // namespace

TEST_F(PortableImages, IntegerBuffersRoundTripExactlyThroughPam)
{
    const OwnedWorld eight = Sample(PF_PixelFormat_ARGB32);
    WriteImage(eight, path("eight.pam"));
    EXPECT_TRUE(SamePixels<PF_Pixel>(ReadImage(path("eight.pam"), PF_PixelFormat_ARGB32), eight));

    const OwnedWorld sixteen = Sample(PF_PixelFormat_ARGB64);
    WriteImage(sixteen, path("sixteen.pam"));
    EXPECT_EQ(ImageFile::Read(path("sixteen.pam"))->bitDepth(), 16);
    EXPECT_TRUE(SamePixels<PF_Pixel16>(ReadImage(path("sixteen.pam"), PF_PixelFormat_ARGB64), sixteen));
}

TEST_F(PortableImages, FloatColourRoundTripsExactlyThroughPfm)
{
    const OwnedWorld floats = Sample(PF_PixelFormat_ARGB128);
    WriteImage(floats, path("floats.pfm"));
    const OwnedWorld back = ReadImage(path("floats.pfm"), PF_PixelFormat_ARGB128);
    EXPECT_TRUE(SamePixels<PF_PixelFloat>(back, floats, false));
    EXPECT_EQ(back.row<PF_PixelFloat>(3)[4].alpha, 1.0f) << "PFM holds no alpha: opaque";
}

TEST_F(PortableImages, NetpbmVariantsAreRead)
{
    // A grey 16-bit PGM with a comment, 2 x 1.
    writeBytes("grey.pgm", std::string("P5\n# made by hand\n2 1\n65535\n") + std::string("\xFF\xFF\x80\x00", 4));
    const OwnedWorld grey = ReadImage(path("grey.pgm"), PF_PixelFormat_ARGB64);
    EXPECT_EQ(grey.row<PF_Pixel16>(0)[0].red, 32768);
    EXPECT_EQ(grey.row<PF_Pixel16>(0)[1].green, 16384); // round(32768 * 32768 / 65535)
    EXPECT_EQ(grey.row<PF_Pixel16>(0)[1].alpha, 32768);

    // A big-endian colour PFM, 1 x 2: the first row in the file is the bottom.
    std::string pfm = "PF\n1 2\n1.0\n";
    const auto big = [&pfm](float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int s = 24; s >= 0; s -= 8)
            pfm += static_cast<char>((bits >> s) & 0xFF);
    };
    for (float v : {0.25f, 0.5f, 0.75f, 2.0f, -1.0f, 0.0f})
        big(v);
    writeBytes("colour.pfm", pfm);
    const OwnedWorld colour = ReadImage(path("colour.pfm"), PF_PixelFormat_ARGB128);
    EXPECT_EQ(colour.row<PF_PixelFloat>(1)[0].red, 0.25f);
    EXPECT_EQ(colour.row<PF_PixelFloat>(0)[0].green, -1.0f);
}

TEST_F(PortableImages, RefusalsNameTheProblem)
{
    struct Case {
        const char* file;
        std::string bytes;
        const char* expected;
    };
    const std::vector<Case> cases{
        {"a.png", "\x89PNG", "reads only PAM, PGM, PPM and PFM"},
        {"deep.pam", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 1023\nTUPLTYPE RGB\nENDHDR\n\0\0\0\0\0\0", "1023"},
        {"short.pam", "P7\nWIDTH 4\nHEIGHT 4\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n\x01\x02", "cut short"},
        {"odd.pam", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n\0\0", "DEPTH 2"},
        {"ascii.ppm", "P3\n1 1\n255\n0 0 0\n", "P3"},
        {"empty.pgm", "P5\n0 1\n255\n", "empty"},
        // Beyond the largest layer, refused from the header alone.
        {"wide.pgm", "P5\n40000 1\n255\n", "declares 40000 x 1 pixels; pictures must be 1 to 30000"},
        {"huge.pfm", "PF\n100000 100000\n-1.0\n", "declares 100000 x 100000 pixels"},
        {"text.pam", "hello", "not a PAM"},
    };
    for (const Case& c : cases) {
        writeBytes(c.file, c.bytes);
        try {
            ReadImage(path(c.file), PF_PixelFormat_ARGB32);
            ADD_FAILURE() << c.file << " was read";
        } catch (const ImageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << c.file << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.file), std::string::npos) << "the message names the file";
        }
    }
    const OwnedWorld world = Sample(PF_PixelFormat_ARGB32, 2, 2);
    EXPECT_THROW(WriteImage(world, path("out.tif")), ImageError);
    EXPECT_THROW(WriteImage(world, path("missing/out.png")), ImageError);
    EXPECT_FALSE(fs::exists(path("out.tif")));
}

#if defined(LINESTRA_TEST_WITH_OIIO)

namespace {

// The file's values as an imaging library reads them (channels RGBA).
template <typename T>
std::vector<T> LibraryRead(const std::string& file, OIIO::TypeDesc type, int& channels)
{
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(file, &config);
    if (!input)
        throw std::runtime_error(OIIO::geterror());
    channels = input->spec().nchannels;
    std::vector<T> data(static_cast<std::size_t>(input->spec().width) * input->spec().height * channels);
    if (!input->read_image(0, 0, 0, channels, type, data.data()))
        throw std::runtime_error(input->geterror());
    return data;
}

} // namespace

TEST_F(PortableImages, PngAndExrReadBackTheSameValuesInAnImagingLibrary)
{
    int channels = 0;
    const OwnedWorld eight = Sample(PF_PixelFormat_ARGB32);
    WriteImage(eight, path("eight.png"));
    const auto png8 = LibraryRead<std::uint8_t>(path("eight.png"), OIIO::TypeDesc::UINT8, channels);
    ASSERT_EQ(channels, 4);
    const PF_Pixel& p8 = eight.row<PF_Pixel>(5)[9];
    const std::size_t i8 = (5u * 37u + 9u) * 4u;
    EXPECT_EQ((std::vector<int>{png8[i8], png8[i8 + 1], png8[i8 + 2], png8[i8 + 3]}),
              (std::vector<int>{p8.red, p8.green, p8.blue, p8.alpha}));

    const OwnedWorld sixteen = Sample(PF_PixelFormat_ARGB64);
    WriteImage(sixteen, path("sixteen.png"));
    const auto png16 = LibraryRead<std::uint16_t>(path("sixteen.png"), OIIO::TypeDesc::UINT16, channels);
    for (A_long y = 0; y < sixteen.height(); ++y)
        for (A_long x = 0; x < sixteen.width(); ++x) {
            const PF_Pixel16& p = sixteen.row<PF_Pixel16>(y)[x];
            const std::size_t i = (static_cast<std::size_t>(y) * 37u + static_cast<std::size_t>(x)) * 4u;
            const auto file = [](A_u_short v) { return (static_cast<std::uint32_t>(v) * 65535u + 16384u) / 32768u; };
            ASSERT_EQ(png16[i], file(p.red)) << x << "," << y;
            ASSERT_EQ(png16[i + 3], file(p.alpha)) << x << "," << y;
        }

    const OwnedWorld floats = Sample(PF_PixelFormat_ARGB128);
    WriteImage(floats, path("floats.exr"));
    const auto exr = LibraryRead<float>(path("floats.exr"), OIIO::TypeDesc::FLOAT, channels);
    ASSERT_EQ(channels, 4);
    for (A_long y = 0; y < floats.height(); ++y)
        for (A_long x = 0; x < floats.width(); ++x) {
            const PF_PixelFloat& p = floats.row<PF_PixelFloat>(y)[x];
            const std::size_t i = (static_cast<std::size_t>(y) * 37u + static_cast<std::size_t>(x)) * 4u;
            ASSERT_EQ((std::vector<float>{exr[i], exr[i + 1], exr[i + 2], exr[i + 3]}),
                      (std::vector<float>{p.red, p.green, p.blue, p.alpha}))
                << x << "," << y;
        }

    WriteImage(floats, path("floats.pfm"));
    const auto pfm = LibraryRead<float>(path("floats.pfm"), OIIO::TypeDesc::FLOAT, channels);
    ASSERT_EQ(channels, 3);
    EXPECT_EQ(pfm[(2u * 37u + 3u) * 3u + 1u], floats.row<PF_PixelFloat>(2)[3].green);
}

TEST_F(PortableImages, PngCompressionLevelsKeepEveryValue)
{
    // The level changes the file, never a value: each level reads back as
    // the stored file does, and the compressed files are smaller (a smooth
    // picture, which deflate does not leave stored).
    OwnedWorld sixteen(64, 32, PF_PixelFormat_ARGB64);
    for (A_long y = 0; y < 32; ++y)
        for (A_long x = 0; x < 64; ++x)
            sixteen.row<PF_Pixel16>(y)[x] = {32768, static_cast<A_u_short>(x * 512), static_cast<A_u_short>(y * 1000),
                                             static_cast<A_u_short>((x * y) % 5)};
    int channels = 0;
    WriteImage(sixteen, path("stored.png"), 0);
    const auto stored = LibraryRead<std::uint16_t>(path("stored.png"), OIIO::TypeDesc::UINT16, channels);
    for (int level : {1, 6, 9}) {
        const std::string name = path("level" + std::to_string(level) + ".png");
        WriteImage(sixteen, name, level);
        EXPECT_EQ(LibraryRead<std::uint16_t>(name, OIIO::TypeDesc::UINT16, channels), stored) << "level " << level;
#if defined(LINESTRA_HAVE_ZLIB)
        EXPECT_LT(std::filesystem::file_size(name), std::filesystem::file_size(path("stored.png"))) << level;
#endif
    }
}

#endif
