// The stand-in host's image files without an imaging library (the build the
// Windows harness uses): exact round trips through PAM and PFM, files that
// an imaging library reads back with the same values (PNG, OpenEXR, PFM),
// files the imaging library wrote that decode as it decodes them (PNG,
// JPEG, OpenEXR), and clear refusals of damaged and hostile files.
#include "harness/images/Images.h"
#include "harness/images/PortableImageFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
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
        {"a.png", "\x89PNG", "not an image file this build reads"},
        {"deep.pam", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 1023\nTUPLTYPE RGB\nENDHDR\n\0\0\0\0\0\0", "1023"},
        {"short.pam", "P7\nWIDTH 4\nHEIGHT 4\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n\x01\x02", "cut short"},
        {"odd.pam", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n\0\0", "DEPTH 2"},
        {"ascii.ppm", "P3\n1 1\n255\n0 0 0\n", "P3"},
        {"empty.pgm", "P5\n0 1\n255\n", "empty"},
        // Beyond the largest layer, refused from the header alone.
        {"wide.pgm", "P5\n40000 1\n255\n", "declares 40000 x 1 pixels; pictures must be 1 to 30000"},
        {"huge.pfm", "PF\n100000 100000\n-1.0\n", "declares 100000 x 100000 pixels"},
        {"text.pam", "hello", "not an image file this build reads"},
        // Valid PNG files declaring 20000 x 20000 grey pixels in 67 bytes
        // (refused before stb_image takes memory for them) and 40000 x 1.
        {"claims.png",
         std::string("\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x4e\x20\x00\x00\x4e\x20"
                     "\x08\x00\x00\x00\x00\xc6\x1b\x19\xe5\x00\x00\x00\x0a\x49\x44\x41\x54\x78\x9c\x63\x60\x00\x00"
                     "\x00\x02\x00\x01\x48\xaf\xa4\x71\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
                     67),
         "declares 20000 x 20000 pixels, more than its 67 bytes can hold"},
        // A JPEG Huffman table of more than 256 codes, which the packaged
        // stb_image would write past (found by fuzz-portable-image).
        {"tables.jpg",
         std::string("\xff\xd8\xff\xc4\x1d\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x1d\x1d"
                     "\xe2\xe2\xe2\xe3\xe2\x00\x00\x1d\x1d\x15\x1d\x1d\x1d\x1d\x1d\x1d\x1d\x1d\x2a\x1d\x1d\xbf\x88",
                     45),
         "Huffman table claims"},
        {"wide.png",
         std::string("\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x9c\x40\x00\x00\x00\x01"
                     "\x08\x00\x00\x00\x00\x98\x0b\x94\x58\x00\x00\x00\x09\x49\x44\x41\x54\x78\x9c\x63\x00\x00\x00"
                     "\x01\x00\x01\x5e\xff\x7d\xf9\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
                     66),
         "declares 40000 x 1 pixels; pictures must be 1 to 30000"},
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

    // A PNG file whose IDAT chunk claims 2 GiB: refused before stb_image
    // takes the memory.
    {
        WriteImage(Sample(PF_PixelFormat_ARGB32, 4, 4), path("claims-idat.png"));
        std::string bytes(fs::file_size(path("claims-idat.png")), '\0');
        std::ifstream(path("claims-idat.png"), std::ios::binary)
            .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.insert(33, std::string("\x7f\xff\xff\xf0IDAT\x78\x9c", 10));
        writeBytes("claims-idat.png", bytes);
        try {
            ReadImage(path("claims-idat.png"), PF_PixelFormat_ARGB32);
            ADD_FAILURE() << "claims-idat.png was read";
        } catch (const ImageError& e) {
            EXPECT_NE(std::string(e.what()).find("\"IDAT\" chunk claims 2147483632 bytes"), std::string::npos)
                << e.what();
        }
    }

    // Files cut short: the codec's complaint, naming the file.
    for (const char* name : {"cut.png", "cut.exr"}) {
        WriteImage(Sample(PF_PixelFormat_ARGB64, 200, 100), path(name));
        fs::resize_file(path(name), fs::file_size(path(name)) / 2);
        try {
            ReadImage(path(name), PF_PixelFormat_ARGB64);
            ADD_FAILURE() << name << " was read";
        } catch (const ImageError& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
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

namespace {

// Writes `values` (RGBA, or fewer channels) through the imaging library.
template <typename T>
void LibraryWrite(const std::string& file, OIIO::TypeDesc type, int width, int height, int channels,
                  const std::vector<T>& values, const std::vector<std::pair<std::string, std::string>>& attributes = {})
{
    OIIO::ImageSpec spec(width, height, channels, type);
    if (channels == 4 || channels == 2) {
        spec.alpha_channel = channels - 1;
        spec.attribute("oiio:UnassociatedAlpha", 1);
    }
    for (const auto& [name, value] : attributes)
        spec.attribute(name, value);
    auto output = OIIO::ImageOutput::create(file);
    ASSERT_TRUE(output && output->open(file, spec)) << OIIO::geterror();
    ASSERT_TRUE(output->write_image(type, values.data())) << output->geterror();
    ASSERT_TRUE(output->close());
}

// Values spread over the type's range, different in every channel.
template <typename T>
std::vector<T> Spread(std::size_t count, std::uint32_t range)
{
    std::vector<T> values(count);
    for (std::size_t i = 0; i < count; ++i)
        values[i] = static_cast<T>((i * 2654435761u + i / 3) % range);
    return values;
}

// The portable reader's samples as RGBA (what ImageFile keeps), against the
// imaging library's decode of the same file expanded the same way.
template <typename T>
std::vector<T> PortableRGBA(const std::string& file)
{
    const portable::Samples s = portable::ReadSamples(file);
    std::vector<T> values;
    if constexpr (sizeof(T) == 1)
        values = s.values8;
    else if constexpr (sizeof(T) == 2)
        values = s.values16;
    else
        values = s.valuesFloat;
    EXPECT_EQ(values.size(), static_cast<std::size_t>(s.width) * s.height * s.channels) << file;
    return values;
}

} // namespace

TEST_F(PortableImages, FilesTheImagingLibraryWroteDecodeAsItDecodesThem)
{
    int channels = 0;
    // PNG: 8 bits RGBA, 16 bits RGB, grey with alpha, interlaced; the same
    // values exactly.
    struct Png {
        const char* name;
        OIIO::TypeDesc type;
        int channels;
        std::vector<std::pair<std::string, std::string>> attributes;
    };
    for (const Png& png : {Png{"rgba8.png", OIIO::TypeDesc::UINT8, 4, {}},
                           Png{"rgb16.png", OIIO::TypeDesc::UINT16, 3, {}},
                           Png{"greyalpha8.png", OIIO::TypeDesc::UINT8, 2, {}},
                           Png{"interlaced16.png", OIIO::TypeDesc::UINT16, 4, {{"png:interlace", "1"}}}}) {
        const int width = 61, height = 29;
        const std::size_t count = static_cast<std::size_t>(width) * height * png.channels;
        if (png.type == OIIO::TypeDesc::UINT8) {
            LibraryWrite(path(png.name), png.type, width, height, png.channels, Spread<std::uint8_t>(count, 256));
            EXPECT_EQ(PortableRGBA<std::uint8_t>(path(png.name)),
                      LibraryRead<std::uint8_t>(path(png.name), png.type, channels)) << png.name;
        } else {
            LibraryWrite(path(png.name), png.type, width, height, png.channels, Spread<std::uint16_t>(count, 65536));
            EXPECT_EQ(PortableRGBA<std::uint16_t>(path(png.name)),
                      LibraryRead<std::uint16_t>(path(png.name), png.type, channels)) << png.name;
        }
        EXPECT_EQ(ImageFile::Read(path(png.name))->bitDepth(), png.type == OIIO::TypeDesc::UINT8 ? 8 : 16);
    }

    // JPEG: the two decoders round their transforms differently, so values
    // agree within a few levels (the Windows checks allow the same).
    {
        const int width = 64, height = 48;
        std::vector<std::uint8_t> smooth(static_cast<std::size_t>(width) * height * 3);
        for (std::size_t i = 0; i < smooth.size(); ++i)
            smooth[i] = static_cast<std::uint8_t>((i % 3 * 70 + i / 3 % width * 3 + i / 3 / width * 2) % 256);
        LibraryWrite(path("photo.jpg"), OIIO::TypeDesc::UINT8, width, height, 3, smooth);
        const auto ours = PortableRGBA<std::uint8_t>(path("photo.jpg"));
        const auto theirs = LibraryRead<std::uint8_t>(path("photo.jpg"), OIIO::TypeDesc::UINT8, channels);
        ASSERT_EQ(ours.size(), theirs.size());
        int worst = 0;
        for (std::size_t i = 0; i < ours.size(); ++i)
            worst = std::max(worst, std::abs(ours[i] - theirs[i]));
        EXPECT_LE(worst, 3);
        EXPECT_EQ(ImageFile::Read(path("photo.jpg"))->bitDepth(), 8);

        // The same file claiming 30000 x 30000 pixels: stb_image would take
        // gigabytes and decode the missing data as zeros; refused first.
        std::string bytes(fs::file_size(path("photo.jpg")), '\0');
        std::ifstream(path("photo.jpg"), std::ios::binary).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        const std::size_t frame = bytes.find("\xFF\xC0");
        ASSERT_NE(frame, std::string::npos);
        bytes.replace(frame + 5, 4, std::string("\x75\x30\x75\x30", 4));
        writeBytes("claims.jpg", bytes);
        EXPECT_THROW(
            {
                try {
                    ImageFile::Read(path("claims.jpg"));
                } catch (const ImageError& e) {
                    EXPECT_NE(std::string(e.what()).find("30000 x 30000 pixels, more than its"), std::string::npos)
                        << e.what();
                    throw;
                }
            },
            ImageError);
    }

    // OpenEXR: half and float channels, compressions, tiles, luminance.
    struct Exr {
        const char* name;
        OIIO::TypeDesc type;
        int channels;
        std::vector<std::pair<std::string, std::string>> attributes;
    };
    for (const Exr& exr : {Exr{"half-piz.exr", OIIO::TypeDesc::HALF, 4, {{"compression", "piz"}}},
                           Exr{"float-zip.exr", OIIO::TypeDesc::FLOAT, 3, {{"compression", "zip"}}},
                           Exr{"half-rle.exr", OIIO::TypeDesc::HALF, 3, {{"compression", "rle"}}},
                           Exr{"tiled.exr", OIIO::TypeDesc::FLOAT, 4, {{"tiled", "1"}}}}) {
        const int width = 45, height = 37;
        std::vector<float> values(static_cast<std::size_t>(width) * height * exr.channels);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<float>(i % 251) / 64.0f - 1.0f;
        if (std::string(exr.name) == "tiled.exr") {
            OIIO::ImageSpec spec(width, height, exr.channels, exr.type);
            spec.tile_width = spec.tile_height = 16;
            auto output = OIIO::ImageOutput::create(path(exr.name));
            ASSERT_TRUE(output->open(path(exr.name), spec));
            ASSERT_TRUE(output->write_image(OIIO::TypeDesc::FLOAT, values.data()));
            output->close();
        } else {
            LibraryWrite(path(exr.name), exr.type, width, height, exr.channels, values, exr.attributes);
        }
        EXPECT_EQ(PortableRGBA<float>(path(exr.name)), LibraryRead<float>(path(exr.name), OIIO::TypeDesc::FLOAT, channels))
            << exr.name;
    }
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
        EXPECT_LT(std::filesystem::file_size(name), std::filesystem::file_size(path("stored.png"))) << level;
    }
}

#endif
