// Image files in and out of padded buffers in the three formats, the value
// mappings between file and buffer depths, and generated pictures.
#include "harness/images/Images.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <sys/stat.h>

#include "harness/images/OutputFile.h"

namespace harness {
namespace {

namespace fs = std::filesystem;

class ImagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("linestra-images-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string file(const std::string& name) const { return (folder_ / name).string(); }
    std::vector<std::string> folderContents() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
};

// Raw values as the file holds them, RGBA, and the file's channel type.
struct FileContents {
    OIIO::TypeDesc type;
    int channels = 0;
    std::vector<float> values; // as read in the file's own type, widened
};

FileContents ReadRaw(const std::string& path)
{
    FileContents contents;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    EXPECT_TRUE(input) << OIIO::geterror();
    if (!input)
        return contents;
    const OIIO::ImageSpec& spec = input->spec();
    contents.type = spec.format;
    contents.channels = spec.nchannels;
    const auto count = static_cast<std::size_t>(spec.width * spec.height * spec.nchannels);
    if (spec.format == OIIO::TypeDesc::UINT16) {
        std::vector<unsigned short> raw(count);
        input->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT16, raw.data());
        contents.values.assign(raw.begin(), raw.end());
    } else if (spec.format == OIIO::TypeDesc::UINT8) {
        std::vector<unsigned char> raw(count);
        input->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT8, raw.data());
        contents.values.assign(raw.begin(), raw.end());
    } else {
        contents.values.resize(count);
        input->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, contents.values.data());
    }
    return contents;
}

template <typename Pixel>
void ExpectSamePixels(const OwnedWorld& a, const OwnedWorld& b)
{
    ASSERT_EQ(a.width(), b.width());
    ASSERT_EQ(a.height(), b.height());
    for (A_long y = 0; y < a.height(); ++y)
        for (A_long x = 0; x < a.width(); ++x) {
            const Pixel& p = a.row<Pixel>(y)[x];
            const Pixel& q = b.row<Pixel>(y)[x];
            ASSERT_TRUE(p.alpha == q.alpha && p.red == q.red && p.green == q.green && p.blue == q.blue)
                << "pixel " << x << ", " << y;
        }
}

TEST_F(ImagesTest, EightBitRoundTripKeepsStraightColour)
{
    OwnedWorld world(37, 5, PF_PixelFormat_ARGB32);
    ASSERT_GT(world.world().rowbytes, 37 * 4);
    for (A_long y = 0; y < 5; ++y)
        for (A_long x = 0; x < 37; ++x)
            world.row<PF_Pixel>(y)[x] = PF_Pixel{static_cast<A_u_char>(x * 7), static_cast<A_u_char>(200 - y),
                                                 static_cast<A_u_char>(x), static_cast<A_u_char>(255 - x)};
    WriteImage(world, file("eight.png"));
    const FileContents raw = ReadRaw(file("eight.png"));
    EXPECT_EQ(raw.type, OIIO::TypeDesc::UINT8);
    EXPECT_EQ(raw.channels, 4);
    // Alpha 0 with colour: colour kept, not premultiplied away.
    EXPECT_EQ(raw.values[0], 200.0f);
    ExpectSamePixels<PF_Pixel>(ReadImage(file("eight.png"), PF_PixelFormat_ARGB32), world);
}

TEST_F(ImagesTest, SixteenBitRoundTripMapsWhiteTo65535AndBack)
{
    // Every 16-bit value 0..32768 once.
    OwnedWorld world(129, 256, PF_PixelFormat_ARGB64);
    A_u_short v = 0;
    for (A_long y = 0; y < 256; ++y)
        for (A_long x = 0; x < 129; ++x) {
            const auto value = static_cast<A_u_short>(std::min<int>(v++, 32768));
            world.row<PF_Pixel16>(y)[x] = PF_Pixel16{32768, value, static_cast<A_u_short>(32768 - value), 16384};
        }
    WriteImage(world, file("sixteen.png"));
    const FileContents raw = ReadRaw(file("sixteen.png"));
    EXPECT_EQ(raw.type, OIIO::TypeDesc::UINT16);
    EXPECT_EQ(raw.values[3], 65535.0f);  // alpha 32768
    EXPECT_EQ(raw.values[0], 0.0f);      // red 0
    EXPECT_EQ(raw.values[1], 65535.0f);  // green 32768
    EXPECT_EQ(raw.values[2], 32768.0f);  // 16384: 32767.5 rounds up
    EXPECT_EQ(raw.values[4], 2.0f);      // red 1: 1.99997
    ExpectSamePixels<PF_Pixel16>(ReadImage(file("sixteen.png"), PF_PixelFormat_ARGB64), world);
}

TEST_F(ImagesTest, PngCompressionLevelChangesTheFileNotThePixels)
{
    OwnedWorld world(64, 48, PF_PixelFormat_ARGB32);
    for (A_long y = 0; y < 48; ++y)
        for (A_long x = 0; x < 64; ++x)
            world.row<PF_Pixel>(y)[x] = PF_Pixel{255, static_cast<A_u_char>(x * 4), static_cast<A_u_char>(y * 5),
                                                 static_cast<A_u_char>((x * y) % 7)};
    WriteImage(world, file("level0.png"), 0);
    WriteImage(world, file("level9.png"), 9);
    // The level reaches the writer: stored data is larger than level 9's.
    EXPECT_GT(fs::file_size(file("level0.png")), fs::file_size(file("level9.png")));
    for (const char* name : {"level0.png", "level9.png"})
        ExpectSamePixels<PF_Pixel>(ReadImage(file(name), PF_PixelFormat_ARGB32), world);
}

TEST_F(ImagesTest, FloatRoundTripIsExactIn32BitExr)
{
    OwnedWorld world(11, 3, PF_PixelFormat_ARGB128);
    const float values[] = {0.0f, 1.0f, 2.5f, -0.25f, 1e-7f, 0.1f, 1000.125f, 0.333333343f};
    int i = 0;
    for (A_long y = 0; y < 3; ++y)
        for (A_long x = 0; x < 11; ++x, ++i)
            world.row<PF_PixelFloat>(y)[x] = PF_PixelFloat{values[i % 8], values[(i + 1) % 8], values[(i + 3) % 8],
                                                           values[(i + 5) % 8] * 3};
    WriteImage(world, file("float.exr"));
    const FileContents raw = ReadRaw(file("float.exr"));
    EXPECT_EQ(raw.type, OIIO::TypeDesc::FLOAT);
    ExpectSamePixels<PF_PixelFloat>(ReadImage(file("float.exr"), PF_PixelFormat_ARGB128), world);
}

// Two channels are grey and alpha where the file says so (PNG), and red and
// green with opaque alpha where it has no alpha (an EXR of R and G).
TEST_F(ImagesTest, TwoChannelFilesAreGreyAndAlphaOrRedAndGreen)
{
    {
        auto out = OIIO::ImageOutput::create(file("ga.png"));
        OIIO::ImageSpec spec(1, 1, 2, OIIO::TypeDesc::UINT8);
        spec.alpha_channel = 1;
        spec.attribute("oiio:UnassociatedAlpha", 1); // straight values, as the reader keeps them
        out->open(file("ga.png"), spec);
        const unsigned char ga[] = {200, 100};
        out->write_image(OIIO::TypeDesc::UINT8, ga);
        out->close();
        auto exr = OIIO::ImageOutput::create(file("rg.exr"));
        OIIO::ImageSpec rgSpec(1, 1, 2, OIIO::TypeDesc::FLOAT);
        rgSpec.channelnames = {"R", "G"};
        rgSpec.alpha_channel = -1;
        exr->open(file("rg.exr"), rgSpec);
        const float rg[] = {0.75f, 0.25f};
        exr->write_image(OIIO::TypeDesc::FLOAT, rg);
        exr->close();
    }
    const PF_Pixel grey = ReadImage(file("ga.png"), PF_PixelFormat_ARGB32).row<PF_Pixel>(0)[0];
    EXPECT_EQ((std::array<int, 4>{grey.alpha, grey.red, grey.green, grey.blue}),
              (std::array<int, 4>{100, 200, 200, 200}));
    const PF_PixelFloat rg = ReadImage(file("rg.exr"), PF_PixelFormat_ARGB128).row<PF_PixelFloat>(0)[0];
    EXPECT_EQ((std::array<float, 4>{rg.alpha, rg.red, rg.green, rg.blue}),
              (std::array<float, 4>{1.0f, 0.75f, 0.25f, 0.0f}));
}

TEST_F(ImagesTest, FileDepthsMapIntoEveryBufferFormat)
{
    // An 8-bit and a 16-bit file of the same grey levels, without alpha.
    const int levels8[] = {0, 1, 128, 254, 255};
    const int levels16[] = {0, 1, 32767, 65534, 65535};
    {
        auto out = OIIO::ImageOutput::create(file("grey8.png"));
        out->open(file("grey8.png"), OIIO::ImageSpec(5, 1, 1, OIIO::TypeDesc::UINT8));
        const unsigned char data[] = {0, 1, 128, 254, 255};
        out->write_image(OIIO::TypeDesc::UINT8, data);
        out->close();
        auto out16 = OIIO::ImageOutput::create(file("grey16.png"));
        out16->open(file("grey16.png"), OIIO::ImageSpec(5, 1, 1, OIIO::TypeDesc::UINT16));
        const unsigned short data16[] = {0, 1, 32767, 65534, 65535};
        out16->write_image(OIIO::TypeDesc::UINT16, data16);
        out16->close();
    }
    const auto image8 = ImageFile::Read(file("grey8.png"));
    const auto image16 = ImageFile::Read(file("grey16.png"));
    EXPECT_EQ(image8->bitDepth(), 8);
    EXPECT_EQ(image16->bitDepth(), 16);
    const OwnedWorld a8 = image8->toWorld(PF_PixelFormat_ARGB32);
    const OwnedWorld a16 = image8->toWorld(PF_PixelFormat_ARGB64);
    const OwnedWorld aFloat = image8->toWorld(PF_PixelFormat_ARGB128);
    const OwnedWorld b8 = image16->toWorld(PF_PixelFormat_ARGB32);
    const OwnedWorld b16 = image16->toWorld(PF_PixelFormat_ARGB64);
    const OwnedWorld bFloat = image16->toWorld(PF_PixelFormat_ARGB128);
    for (A_long x = 0; x < 5; ++x) {
        const int v = levels8[x];
        const int w = levels16[x];
        EXPECT_EQ(a8.row<PF_Pixel>(0)[x].green, v);
        EXPECT_EQ(a8.row<PF_Pixel>(0)[x].alpha, 255); // opaque without alpha
        EXPECT_EQ(a16.row<PF_Pixel16>(0)[x].blue, std::lround(v * 32768.0 / 255.0));
        EXPECT_EQ(a16.row<PF_Pixel16>(0)[x].alpha, 32768);
        EXPECT_EQ(aFloat.row<PF_PixelFloat>(0)[x].red, static_cast<float>(v) / 255.0f);
        EXPECT_EQ(aFloat.row<PF_PixelFloat>(0)[x].alpha, 1.0f);
        EXPECT_EQ(b8.row<PF_Pixel>(0)[x].red, std::lround(w * 255.0 / 65535.0));
        EXPECT_EQ(b16.row<PF_Pixel16>(0)[x].red, std::lround(w * 32768.0 / 65535.0));
        EXPECT_EQ(b16.row<PF_Pixel16>(0)[x].alpha, 32768);
        EXPECT_EQ(bFloat.row<PF_PixelFloat>(0)[x].red, static_cast<float>(w) / 65535.0f);
    }
}

TEST_F(ImagesTest, FloatFilesClampIntoIntegerBuffers)
{
    OwnedWorld world(4, 1, PF_PixelFormat_ARGB128);
    const float reds[] = {-0.5f, 0.5f, 1.0f, 7.0f};
    for (A_long x = 0; x < 4; ++x)
        world.row<PF_PixelFloat>(0)[x] = PF_PixelFloat{1.0f, reds[x], std::nanf(""), 0.25f};
    WriteImage(world, file("wide.exr"));
    const OwnedWorld eight = ReadImage(file("wide.exr"), PF_PixelFormat_ARGB32);
    const OwnedWorld sixteen = ReadImage(file("wide.exr"), PF_PixelFormat_ARGB64);
    const int expected8[] = {0, 128, 255, 255};
    const int expected16[] = {0, 16384, 32768, 32768};
    for (A_long x = 0; x < 4; ++x) {
        EXPECT_EQ(eight.row<PF_Pixel>(0)[x].red, expected8[x]);
        EXPECT_EQ(sixteen.row<PF_Pixel16>(0)[x].red, expected16[x]);
        EXPECT_EQ(eight.row<PF_Pixel>(0)[x].green, 0); // not a number
        EXPECT_EQ(sixteen.row<PF_Pixel16>(0)[x].blue, 8192);
    }
}

TEST_F(ImagesTest, ExtensionChoosesAnotherFormat)
{
    OwnedWorld world(3, 2, PF_PixelFormat_ARGB32);
    for (A_long y = 0; y < 2; ++y)
        for (A_long x = 0; x < 3; ++x)
            world.row<PF_Pixel>(y)[x] = PF_Pixel{255, 10, 20, 30};
    WriteImage(world, file("eight.tif"));
    ExpectSamePixels<PF_Pixel>(ReadImage(file("eight.tif"), PF_PixelFormat_ARGB32), world);
    // An 8-bit render into OpenEXR keeps its values on the float scale.
    WriteImage(world, file("eight.exr"));
    const OwnedWorld back = ReadImage(file("eight.exr"), PF_PixelFormat_ARGB128);
    EXPECT_NEAR(back.row<PF_PixelFloat>(1)[2].blue, 30.0f / 255.0f, 1e-3);
    // A float render into PNG keeps 16 bits.
    OwnedWorld floats(2, 1, PF_PixelFormat_ARGB128);
    floats.row<PF_PixelFloat>(0)[1] = PF_PixelFloat{1.0f, 0.5f, 2.0f, -1.0f};
    WriteImage(floats, file("float.png"));
    const FileContents raw = ReadRaw(file("float.png"));
    EXPECT_EQ(raw.type, OIIO::TypeDesc::UINT16);
    EXPECT_EQ(raw.values[4], 32768.0f); // round(0.5 * 65535)
    EXPECT_EQ(raw.values[5], 65535.0f);
    EXPECT_EQ(raw.values[6], 0.0f);
}

TEST_F(ImagesTest, WritingLeavesNoTemporaryAndFailureLeavesNothing)
{
    OwnedWorld world(2, 2, PF_PixelFormat_ARGB64);
    WriteImage(world, file("a.png"));
    WriteImage(world, file("a.png")); // replaces
    EXPECT_EQ(folderContents(), std::vector<std::string>{"a.png"});

    EXPECT_THROW(WriteImage(world, file("b.unknown-format")), ImageError);
    EXPECT_THROW(WriteImage(world, file("missing-folder/c.png")), ImageError);
    EXPECT_EQ(folderContents(), std::vector<std::string>{"a.png"});
}

TEST_F(ImagesTest, MissingAndUnreadableFilesNameThePath)
{
    const std::string missing = file("nowhere.png");
    try {
        ImageFile::Read(missing);
        FAIL();
    } catch (const ImageError& e) {
        EXPECT_EQ(std::string(e.what()), "image file \"" + missing + "\" does not exist");
    }
    const std::string broken = file("broken.png");
    std::ofstream(broken) << "this is not a picture";
    try {
        ImageFile::Read(broken);
        FAIL();
    } catch (const ImageError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot read image \"" + broken + "\": ", 0), 0u) << e.what();
    }
    // A device that never ends and a pipe no one writes to are refused
    // before any reader opens them (either would hang the render).
    const std::string pipe = file("pipe.png");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& special : {std::string("/dev/zero"), pipe}) {
        try {
            ImageFile::Read(special);
            FAIL() << special;
        } catch (const ImageError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "image file \"" + special + "\" is not a regular file (a device, pipe or socket)");
        }
    }
}

// A PNG file of one IDAT chunk whose header declares width x height; the
// data (`rowBytes` zeros, compressed) is far less than that.
std::string PngClaiming(std::uint32_t width, std::uint32_t height)
{
    const auto crc = [](const std::string& bytes) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (unsigned char b : bytes) {
            c ^= b;
            for (int k = 0; k < 8; ++k)
                c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        return ~c;
    };
    const auto big32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    const auto chunk = [&](const std::string& type, const std::string& data) {
        return big32(static_cast<std::uint32_t>(data.size())) + type + data + big32(crc(type + data));
    };
    // Grey, 8 bits; IDAT: a zlib stream of one stored block of 11 zero bytes.
    const std::string header = big32(width) + big32(height) + std::string{8, 0, 0, 0, 0};
    const std::string idat = std::string{0x78, 0x01, 0x01, 0x0B, 0x00, static_cast<char>(0xF4), static_cast<char>(0xFF)} +
                             std::string(11, '\0') + std::string{0x00, 0x0B, 0x00, 0x01};
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", idat) + chunk("IEND", "");
}

TEST_F(ImagesTest, HeadersBeyondTheLargestLayerAreRefusedBeforeReading)
{
    for (const auto& [width, height] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {100000, 100000}, {40000, 1}, {1, 30001}}) {
        const std::string name = file("claims-" + std::to_string(width) + "x" + std::to_string(height) + ".png");
        std::ofstream(name, std::ios::binary) << PngClaiming(width, height);
        try {
            ImageFile::Read(name);
            ADD_FAILURE() << name << " was read";
        } catch (const ImageError& e) {
            EXPECT_EQ(std::string(e.what()), "cannot read image \"" + name + "\": its header declares " +
                                                 std::to_string(width) + " x " + std::to_string(height) +
                                                 " pixels; pictures must be 1 to 30000 pixels wide and high");
        }
    }
    // Within the limit but cut short: an error naming the file (read a band
    // at a time, not after taking the whole picture's memory).
    const std::string cut = file("cut.png");
    std::ofstream(cut, std::ios::binary) << PngClaiming(30000, 30000);
    try {
        ImageFile::Read(cut);
        ADD_FAILURE() << "the cut file was read";
    } catch (const ImageError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot read image \"" + cut + "\": ", 0), 0u) << e.what();
    }
}

// Tiled files are read a row of tiles at a time; the picture is the same as
// from scan lines, also where the tiles overhang the picture's edge.
TEST_F(ImagesTest, TiledFilesReadLikeScanLineFiles)
{
    constexpr int width = 37, height = 21;
    std::vector<float> values(width * height * 4);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>(i % 97) / 96.0f;
    for (const int tile : {0, 16}) {
        const std::string name = file("tiles-" + std::to_string(tile) + ".exr");
        OIIO::ImageSpec spec(width, height, 4, OIIO::TypeDesc::FLOAT);
        spec.alpha_channel = 3;
        spec.tile_width = spec.tile_height = tile;
        auto out = OIIO::ImageOutput::create(name);
        ASSERT_TRUE(out && out->open(name, spec)) << OIIO::geterror();
        ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
        ASSERT_TRUE(out->close());
    }
    ExpectSamePixels<PF_PixelFloat>(ReadImage(file("tiles-16.exr"), PF_PixelFormat_ARGB128),
                                    ReadImage(file("tiles-0.exr"), PF_PixelFormat_ARGB128));
    const OwnedWorld tiled = ReadImage(file("tiles-16.exr"), PF_PixelFormat_ARGB128);
    const PF_PixelFloat& p = tiled.row<PF_PixelFloat>(20)[36];
    const std::size_t i = (20u * width + 36u) * 4u;
    EXPECT_EQ(p.red, values[i]);
    EXPECT_EQ(p.alpha, values[i + 3]);
}

// A damaged attribute size in an OpenEXR header is refused before the
// imaging library sizes a value by it (gigabytes, minutes).
TEST_F(ImagesTest, OpenExrAttributeLargerThanTheFileIsRefused)
{
    WriteImage(OwnedWorld(3, 2, PF_PixelFormat_ARGB128), file("a.exr"));
    std::string bytes;
    {
        std::ifstream in(file("a.exr"), std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        bytes = all.str();
    }
    const std::string key("channels\0chlist\0", 16);
    const std::size_t at = bytes.find(key);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at + key.size(), 4, std::string("\xFF\xFF\xFF\x7F", 4));
    std::ofstream(file("a.exr"), std::ios::binary) << bytes;
    try {
        ImageFile::Read(file("a.exr"));
        ADD_FAILURE() << "the damaged file was read";
    } catch (const ImageError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot read image \"" + file("a.exr") +
                                             "\": its header attribute \"channels\" claims 2147483647 bytes, more "
                                             "than the file holds");
    }
}

// A PNG chunk whose length claims more than the file holds (found by
// fuzzing: a text chunk of 1.8 GB made the PNG library allocate it) is
// refused before the library reads the file.
TEST_F(ImagesTest, PngChunkLargerThanTheFileIsRefused)
{
    WriteImage(OwnedWorld(5, 3, PF_PixelFormat_ARGB32), file("a.png"));
    std::string bytes;
    {
        std::ifstream in(file("a.png"), std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        bytes = all.str();
    }
    // A tEXt chunk after the header chunk (8 + 25 bytes), claiming 0x6E636F77 (1852010359) bytes.
    bytes.insert(33, std::string("\x6E\x63\x6F\x77tEXtkey\0value", 18));
    std::ofstream(file("a.png"), std::ios::binary) << bytes;
    try {
        ImageFile::Read(file("a.png"));
        ADD_FAILURE() << "the damaged file was read";
    } catch (const ImageError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot read image \"" + file("a.png") +
                                             "\": its \"tEXt\" chunk claims 1852010359 bytes, more than the file "
                                             "holds");
    }
}

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A picture that no format compresses much: every byte differs.
OwnedWorld Noise(A_long width, A_long height)
{
    OwnedWorld world(width, height, PF_PixelFormat_ARGB32);
    std::uint32_t state = 12345;
    for (A_long y = 0; y < height; ++y)
        for (A_long x = 0; x < width; ++x) {
            PF_Pixel& p = world.row<PF_Pixel>(y)[x];
            state = state * 1664525u + 1013904223u;
            p = {static_cast<A_u_char>(state >> 24), static_cast<A_u_char>(state >> 16),
                 static_cast<A_u_char>(state >> 8), static_cast<A_u_char>(state >> 3)};
        }
    return world;
}

// The file-size limit of the process stops every write part-way (as a full
// disk would): each format reports it, and the earlier file stays whole.
TEST_F(ImagesTest, FailedWriteKeepsTheEarlierFileAndLeavesNoTemporary)
{
    const OwnedWorld small = Noise(4, 4);
    const OwnedWorld large = Noise(256, 256);
    for (const char* name : {"out.png", "out.exr", "out.tif", "out.jpg"}) {
        WriteImage(small, file(name));
        const std::string before = Contents(file(name));
        ASSERT_FALSE(before.empty());

        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit limited = saved;
        limited.rlim_cur = 20 * 1024;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        std::string message;
        try {
            WriteImage(large, file(name));
        } catch (const ImageError& e) {
            message = e.what();
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);

        EXPECT_NE(message.find(file(name)), std::string::npos) << name << ": " << message;
        EXPECT_EQ(Contents(file(name)), before) << name << " was changed";
        EXPECT_EQ(folderContents().size(), 1u) << name << ": a temporary was left";
        fs::remove(file(name));
    }
}

TEST_F(ImagesTest, OutputIsCheckedBeforeRendering)
{
    EXPECT_NO_THROW(CheckImageOutput(file("a.png")));
    EXPECT_NO_THROW(CheckImageOutput(file("new/folders/a.exr"))); // made when written
    const auto message = [](const std::string& path) {
        try {
            CheckImageOutput(path);
        } catch (const ImageError& e) {
            return std::string(e.what());
        }
        return std::string("(no error)");
    };
    EXPECT_NE(message(file("a.unknown-format")).find("a.unknown-format"), std::string::npos);
    std::ofstream(file("plain")) << "a file";
    EXPECT_EQ(message(file("plain/a.png")),
              "cannot write \"" + file("plain/a.png") + "\": \"" + file("plain") + "\" is not a folder");
    fs::create_directories(file("folder.png"));
    EXPECT_EQ(message(file("folder.png")), "cannot write \"" + file("folder.png") + "\": it names a folder, not a file");
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"folder.png", "plain"})) << "the check writes nothing";
}

// What an output path names decides what a write replaces: the file a link
// names (the link stays a link), never a device or a pipe, and a name as long
// as the system allows still writes (its temporary's name must fit too).
TEST_F(ImagesTest, OutputThroughLinksDevicesAndLongNames)
{
    const OwnedWorld small = Noise(4, 4);
    WriteImage(small, file("real.png"));
    fs::create_symlink(file("real.png"), file("link.png"));
    WriteImage(Noise(8, 8), file("link.png"));
    EXPECT_TRUE(fs::is_symlink(file("link.png")));
    EXPECT_EQ(ReadImage(file("real.png"), PF_PixelFormat_ARGB32).width(), 8);
    // A chain of relative links, and a link to a file not written yet.
    fs::create_directories(file("sub"));
    fs::create_symlink("../link.png", file("sub/chain.png"));
    WriteImage(Noise(6, 6), file("sub/chain.png"));
    EXPECT_EQ(ReadImage(file("real.png"), PF_PixelFormat_ARGB32).width(), 6);
    fs::create_symlink("new.png", file("dangling.png"));
    WriteImage(small, file("dangling.png"));
    EXPECT_TRUE(fs::is_symlink(file("dangling.png")));
    EXPECT_EQ(ReadImage(file("new.png"), PF_PixelFormat_ARGB32).width(), 4);
    fs::remove_all(file("sub"));
    fs::remove(file("dangling.png"));
    fs::remove(file("new.png"));
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"link.png", "real.png"}));

    ASSERT_EQ(mkfifo(file("pipe.png").c_str(), 0600), 0);
    const std::string refused = "cannot write \"" + file("pipe.png") + "\": it is not a regular file (a device, pipe or socket)";
    for (int written = 0; written < 2; ++written) {
        try {
            if (written)
                WriteImage(small, file("pipe.png"));
            else
                CheckImageOutput(file("pipe.png"));
            ADD_FAILURE() << "a pipe was taken as an output file";
        } catch (const ImageError& e) {
            EXPECT_EQ(std::string(e.what()), refused);
        }
    }
    EXPECT_TRUE(fs::is_fifo(file("pipe.png")));

    const std::string longName = std::string(250, 'n') + ".png";
    WriteImage(small, file(longName));
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"link.png", longName, "pipe.png", "real.png"}));
}

// Killed while writing: the handler removes the temporary, then the signal
// ends the process as it would have.
TEST_F(ImagesTest, TemporaryIsRemovedWhenASignalEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string target = file("killed.png");
    for (const int sig : {SIGINT, SIGTERM}) {
        EXPECT_EXIT(
            {
                RemoveTemporariesOnSignals();
                TemporaryOutput temporary(target);
                temporary.write("partial", 7);
                std::raise(sig);
            },
            ::testing::KilledBySignal(sig), "");
        EXPECT_TRUE(folderContents().empty()) << "left: " << folderContents().front();
    }
}

TEST(GeneratedPictureTest, PatternsInEveryFormat)
{
    const OwnedWorld checker8 = GeneratePattern("checker", 64, 48, PF_PixelFormat_ARGB32, 8);
    EXPECT_EQ(checker8.row<PF_Pixel>(0)[0].red, 235);
    EXPECT_EQ(checker8.row<PF_Pixel>(0)[8].red, 40);
    EXPECT_EQ(checker8.row<PF_Pixel>(8)[8].red, 235);
    EXPECT_EQ(checker8.row<PF_Pixel>(47)[63].alpha, 255);

    const OwnedWorld gradient8 = GeneratePattern("gradient", 256, 16, PF_PixelFormat_ARGB32);
    const OwnedWorld gradientFloat = GeneratePattern("gradient", 256, 16, PF_PixelFormat_ARGB128);
    const OwnedWorld gradient16 = GeneratePattern("gradient", 256, 16, PF_PixelFormat_ARGB64);
    EXPECT_EQ(gradient8.row<PF_Pixel>(0)[0].red, 0);
    EXPECT_EQ(gradient8.row<PF_Pixel>(0)[255].red, 255);
    EXPECT_EQ(gradient8.row<PF_Pixel>(15)[0].green, 255);
    for (A_long x = 0; x < 256; x += 17) {
        const PF_Pixel& p = gradient8.row<PF_Pixel>(7)[x];
        EXPECT_EQ(gradientFloat.row<PF_PixelFloat>(7)[x].blue, static_cast<float>(p.blue) / 255.0f);
        EXPECT_EQ(gradient16.row<PF_Pixel16>(7)[x].red, std::lround(p.red * 32768.0 / 255.0));
    }
    EXPECT_THROW(GeneratePattern("plasma", 4, 4, PF_PixelFormat_ARGB32), std::invalid_argument);
}

} // namespace
} // namespace harness
