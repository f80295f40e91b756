#include "harness/images/PortableImageFiles.h"
#include "harness/images/Images.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>

#include <zlib.h>

#include <stb/stb_image.h>
#include <tinyexr.h>

namespace harness::portable {

namespace {

// ---------------------------------------------------------------------------
// Byte helpers
// ---------------------------------------------------------------------------

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFFu));
}

void PutFloatLittle(std::vector<std::uint8_t>& out, float v)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>((bits >> shift) & 0xFFu));
}

void PutText(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::size_t SampleCount(const Samples& s)
{
    return static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height) *
           static_cast<std::size_t>(s.channels);
}

void CheckShape(const Samples& s, const char* format)
{
    if (s.width <= 0 || s.height <= 0)
        throw std::invalid_argument(std::string(format) + ": the picture is empty");
    const std::size_t expected = SampleCount(s);
    const std::size_t held = s.bitDepth == 8 ? s.values8.size() : s.bitDepth == 16 ? s.values16.size()
                                                                                   : s.valuesFloat.size();
    if (held != expected)
        throw std::invalid_argument(std::string(format) + ": " + std::to_string(held) + " samples for " +
                                    std::to_string(s.width) + " x " + std::to_string(s.height) + " x " +
                                    std::to_string(s.channels));
}

// ---------------------------------------------------------------------------
// Netpbm reading
// ---------------------------------------------------------------------------

class Cursor {
public:
    Cursor(const std::vector<std::uint8_t>& bytes, const std::string& path) : bytes_(bytes), path_(path) {}

    [[noreturn]] void fail(const std::string& what) const
    {
        throw FileError("cannot read image \"" + path_ + "\": " + what);
    }

    // Skips white space and comments (from # to the end of the line).
    void skipSpace()
    {
        while (at_ < bytes_.size()) {
            const auto c = static_cast<char>(bytes_[at_]);
            if (c == '#') {
                while (at_ < bytes_.size() && bytes_[at_] != '\n')
                    ++at_;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++at_;
            } else {
                break;
            }
        }
    }

    std::string token()
    {
        skipSpace();
        std::string text;
        while (at_ < bytes_.size() && !std::isspace(bytes_[at_]) && bytes_[at_] != '#')
            text += static_cast<char>(bytes_[at_++]);
        if (text.empty())
            fail("the header ends early");
        return text;
    }

    long number(const char* what)
    {
        const std::string text = token();
        if (text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
            fail(std::string(what) + " \"" + text + "\" is not a number");
        return std::stol(text);
    }

    std::string line()
    {
        std::string text;
        while (at_ < bytes_.size() && bytes_[at_] != '\n')
            text += static_cast<char>(bytes_[at_++]);
        if (at_ < bytes_.size())
            ++at_;
        return text;
    }

    // The single white-space byte that ends a header.
    void endOfHeader()
    {
        if (at_ >= bytes_.size() || !std::isspace(bytes_[at_]))
            fail("the header does not end with a white-space byte");
        ++at_;
    }

    std::size_t at() const { return at_; }
    std::size_t left() const { return bytes_.size() - at_; }

private:
    const std::vector<std::uint8_t>& bytes_;
    const std::string& path_;
    std::size_t at_ = 0;
};

void CheckSize(Cursor& in, long width, long height)
{
    if (width <= 0 || height <= 0)
        in.fail("the picture is empty (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    if (width > kMaxImageSide || height > kMaxImageSide)
        in.fail("its header declares " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; pictures must be 1 to " + std::to_string(kMaxImageSide) + " pixels wide and high");
}

void ReadIntegerSamples(Cursor& in, const std::vector<std::uint8_t>& bytes, long maxValue, Samples& s)
{
    if (maxValue != 255 && maxValue != 65535)
        in.fail("maximum value " + std::to_string(maxValue) + " (only 255 and 65535 are read)");
    s.bitDepth = maxValue == 255 ? 8 : 16;
    const std::size_t count = SampleCount(s);
    const std::size_t needed = count * (s.bitDepth == 8 ? 1 : 2);
    if (in.left() < needed)
        in.fail("the pixel data is cut short (" + std::to_string(in.left()) + " of " + std::to_string(needed) +
                " bytes)");
    const std::uint8_t* data = bytes.data() + in.at();
    if (s.bitDepth == 8) {
        s.values8.assign(data, data + count);
    } else {
        s.values16.resize(count);
        for (std::size_t i = 0; i < count; ++i) // big-endian
            s.values16[i] = static_cast<std::uint16_t>((data[2 * i] << 8) | data[2 * i + 1]);
    }
}

Samples ReadPam(Cursor& in, const std::vector<std::uint8_t>& bytes)
{
    in.line(); // "P7"
    long width = -1, height = -1, depth = -1, maxValue = -1;
    std::string tupleType;
    for (;;) {
        in.skipSpace();
        const std::string key = in.token();
        if (key == "ENDHDR") {
            in.line();
            break;
        }
        if (key == "WIDTH")
            width = in.number("WIDTH");
        else if (key == "HEIGHT")
            height = in.number("HEIGHT");
        else if (key == "DEPTH")
            depth = in.number("DEPTH");
        else if (key == "MAXVAL")
            maxValue = in.number("MAXVAL");
        else if (key == "TUPLTYPE")
            tupleType = in.token();
        else
            in.fail("unknown header line \"" + key + "\"");
    }
    if (width < 0 || height < 0 || depth < 0 || maxValue < 0)
        in.fail("the header lacks WIDTH, HEIGHT, DEPTH or MAXVAL");
    CheckSize(in, width, height);
    const std::array<std::pair<const char*, long>, 4> known{
        {{"GRAYSCALE", 1}, {"GRAYSCALE_ALPHA", 2}, {"RGB", 3}, {"RGB_ALPHA", 4}}};
    const auto match = std::find_if(known.begin(), known.end(), [&](const auto& k) { return tupleType == k.first; });
    if (match == known.end())
        in.fail("tuple type \"" + tupleType + "\" (GRAYSCALE, GRAYSCALE_ALPHA, RGB or RGB_ALPHA are read)");
    if (match->second != depth)
        in.fail("tuple type " + tupleType + " with DEPTH " + std::to_string(depth));
    Samples s;
    s.width = static_cast<int>(width);
    s.height = static_cast<int>(height);
    s.channels = static_cast<int>(depth);
    ReadIntegerSamples(in, bytes, maxValue, s);
    return s;
}

Samples ReadPgmPpm(Cursor& in, const std::vector<std::uint8_t>& bytes, int channels)
{
    in.token(); // "P5" or "P6"
    const long width = in.number("width");
    const long height = in.number("height");
    const long maxValue = in.number("maximum value");
    in.endOfHeader();
    CheckSize(in, width, height);
    Samples s;
    s.width = static_cast<int>(width);
    s.height = static_cast<int>(height);
    s.channels = channels;
    ReadIntegerSamples(in, bytes, maxValue, s);
    return s;
}

Samples ReadPfm(Cursor& in, const std::vector<std::uint8_t>& bytes, int channels)
{
    in.token(); // "PF" or "Pf"
    const long width = in.number("width");
    const long height = in.number("height");
    const std::string scaleText = in.token();
    in.endOfHeader();
    CheckSize(in, width, height);
    double scale = 0;
    try {
        scale = std::stod(scaleText);
    } catch (const std::exception&) {
        in.fail("scale \"" + scaleText + "\" is not a number");
    }
    if (scale == 0)
        in.fail("scale 0 (its sign gives the byte order)");
    const bool littleEndian = scale < 0;
    Samples s;
    s.width = static_cast<int>(width);
    s.height = static_cast<int>(height);
    s.channels = channels;
    s.bitDepth = 32;
    const std::size_t count = SampleCount(s);
    if (in.left() < count * 4)
        in.fail("the pixel data is cut short (" + std::to_string(in.left()) + " of " + std::to_string(count * 4) +
                " bytes)");
    s.valuesFloat.resize(count);
    const std::uint8_t* data = bytes.data() + in.at();
    const std::size_t rowValues = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    for (long y = 0; y < height; ++y) {
        // Rows run bottom to top in the file.
        const std::uint8_t* src = data + static_cast<std::size_t>(height - 1 - y) * rowValues * 4;
        float* dst = s.valuesFloat.data() + static_cast<std::size_t>(y) * rowValues;
        for (std::size_t i = 0; i < rowValues; ++i) {
            const std::uint8_t* b = src + 4 * i;
            const std::uint32_t bits =
                littleEndian ? (static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                                static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24)
                             : (static_cast<std::uint32_t>(b[3]) | static_cast<std::uint32_t>(b[2]) << 8 |
                                static_cast<std::uint32_t>(b[1]) << 16 | static_cast<std::uint32_t>(b[0]) << 24);
            std::memcpy(&dst[i], &bits, sizeof bits);
        }
    }
    return s;
}

// ---------------------------------------------------------------------------
// PNG, JPEG and the other formats stb_image reads
// ---------------------------------------------------------------------------

// The most pixels a file of each kind can describe per byte it holds, so
// that a header claiming a large picture in a small file is refused before
// the codec takes memory for it (stb_image sizes its buffers from the
// header, and decodes missing JPEG data as zeros). PNG: deflate expands at
// most 1032 times, 8 one-bit pixels a byte. JPEG: every 8 x 8 block takes at
// least one bit. The others (GIF's LZW and the run lengths of the rest)
// stay well under 4096 in any file a program writes.
std::size_t MaxPixelsPerByte(const std::uint8_t* data, std::size_t size)
{
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 8 && std::equal(png, png + 8, data))
        return 1032 * 8;
    if (size >= 2 && data[0] == 0xFF) // the start marker, or fill bytes before it
        return 64 * 8;
    return 4096;
}

// The file's PNG chunk lengths checked against its size (PngChunkProblem).
std::string PngChunkProblem(const std::vector<std::uint8_t>& bytes)
{
    return harness::PngChunkProblem(bytes.size(), [&bytes](std::uint64_t at, unsigned char* header) {
        if (bytes.size() - at < 8)
            return false;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 8, header);
        return true;
    });
}

// JPEG files: every Huffman table holds at most 256 codes. The packaged
// stb_image builds a table from its code counts before checking them, and
// writes past the table for counts that add up to more (a damaged or
// hostile file). The walk follows the markers as the decoder does: segments
// by their length, entropy-coded data byte by byte to the next marker.
// Empty when the file is no JPEG file or its tables are sound.
std::string JpegTableProblem(const std::vector<std::uint8_t>& b)
{
    // The decoder takes fill bytes (0xFF) before the start marker too.
    if (b.size() < 2 || b[0] != 0xFF)
        return {};
    std::size_t at = 0;
    while (at + 1 < b.size()) {
        const std::uint8_t marker = b[at + 1];
        if (b[at] != 0xFF || marker == 0xFF) { // entropy-coded data, fill bytes
            ++at;
            continue;
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) { // no segment
            at += 2;
            continue;
        }
        if (at + 3 >= b.size())
            break;
        const std::size_t end = at + 2 + (static_cast<std::size_t>(b[at + 2]) << 8 | b[at + 3]);
        if (marker == 0xC4) {
            // Tables follow one another to the segment's end (the decoder
            // reads a table that starts inside it whole; past the file's end
            // it reads zeros).
            for (std::size_t t = at + 4, n = 0; t < end && t < b.size(); t += 17 + n) {
                n = 0;
                for (std::size_t i = t + 1; i <= t + 16 && i < b.size(); ++i)
                    n += b[i];
                if (n > 256)
                    return "its Huffman table claims " + std::to_string(n) + " codes (a table holds at most 256)";
            }
        }
        at = end;
    }
    return {};
}

Samples ReadWithStb(const std::vector<std::uint8_t>& bytes, const std::string& path)
{
    const auto fail = [&path](const std::string& what) -> Samples {
        throw FileError("cannot read image \"" + path + "\": " + what);
    };
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return fail("the file is larger than 2 GiB");
    if (const std::string problem = PngChunkProblem(bytes); !problem.empty())
        return fail(problem);
    if (const std::string problem = JpegTableProblem(bytes); !problem.empty())
        return fail(problem);
    const auto* data = bytes.data();
    const auto size = static_cast<int>(bytes.size());
    int width = 0, height = 0, channels = 0;
    // stb_image's complaint; its limit on the decoded samples (1 GiB for
    // PNG, 2 GiB for JPEG) said in full.
    const auto failure = [] {
        const std::string reason = stbi_failure_reason();
        return reason == "too large" ? "the picture is larger than this build reads (about a gibibyte of samples)"
                                     : reason;
    };
    if (!stbi_info_from_memory(data, size, &width, &height, &channels)) {
        if (std::string(stbi_failure_reason()) == "unknown image type")
            return fail(std::string("not an image file this build reads (") + kReadFormats + "), or a damaged one");
        return fail(failure());
    }
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide)
        return fail("its header declares " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels; pictures must be 1 to " + std::to_string(kMaxImageSide) + " pixels wide and high");
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixels / MaxPixelsPerByte(data, bytes.size()) > bytes.size())
        return fail("its header declares " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels, more than its " + std::to_string(bytes.size()) + " bytes can hold");

    Samples s;
    std::unique_ptr<void, void (*)(void*)> decoded(nullptr, stbi_image_free);
    if (stbi_is_hdr_from_memory(data, size)) {
        s.bitDepth = 32;
        decoded.reset(stbi_loadf_from_memory(data, size, &width, &height, &channels, 0));
    } else if (stbi_is_16_bit_from_memory(data, size)) {
        s.bitDepth = 16;
        decoded.reset(stbi_load_16_from_memory(data, size, &width, &height, &channels, 0));
    } else {
        decoded.reset(stbi_load_from_memory(data, size, &width, &height, &channels, 0));
    }
    if (!decoded)
        return fail(failure());
    // What was checked above is what was decoded.
    if (static_cast<std::size_t>(width) * static_cast<std::size_t>(height) != pixels || channels < 1 || channels > 4)
        return fail("the decoder returned " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                    std::to_string(channels) + " samples for a header of another size");
    s.width = width;
    s.height = height;
    s.channels = channels;
    const std::size_t count = SampleCount(s);
    if (s.bitDepth == 8) {
        const auto* v = static_cast<const std::uint8_t*>(decoded.get());
        s.values8.assign(v, v + count);
    } else if (s.bitDepth == 16) {
        const auto* v = static_cast<const std::uint16_t*>(decoded.get());
        s.values16.assign(v, v + count);
    } else {
        const auto* v = static_cast<const float*>(decoded.get());
        s.valuesFloat.assign(v, v + count);
    }
    return s;
}

// ---------------------------------------------------------------------------
// OpenEXR through tinyexr
// ---------------------------------------------------------------------------

// tinyexr's header and image, freed however the read ends.
struct ExrParts {
    EXRHeader header;
    EXRImage image;
    bool headerParsed = false;
    bool imageLoaded = false;
    ExrParts()
    {
        InitEXRHeader(&header);
        InitEXRImage(&image);
    }
    ~ExrParts()
    {
        if (imageLoaded)
            FreeEXRImage(&image);
        if (headerParsed)
            FreeEXRHeader(&header);
    }
    ExrParts(const ExrParts&) = delete;
    ExrParts& operator=(const ExrParts&) = delete;
};

// tinyexr's message, which it allocates.
std::string ExrMessage(const char* err)
{
    std::string text = err ? err : "unknown error";
    if (err)
        FreeEXRErrorMessage(err);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

Samples ReadExr(const std::vector<std::uint8_t>& bytes, const std::string& path)
{
    const auto fail = [&path](const std::string& what) -> Samples {
        throw FileError("cannot read image \"" + path + "\": " + what);
    };
    EXRVersion version;
    if (ParseEXRVersionFromMemory(&version, bytes.data(), bytes.size()) != TINYEXR_SUCCESS)
        return fail("not an OpenEXR file");
    if (version.multipart || version.non_image)
        return fail("multi-part and deep OpenEXR files are not read");
    ExrParts exr;
    const char* err = nullptr;
    if (ParseEXRHeaderFromMemory(&exr.header, &version, bytes.data(), bytes.size(), &err) != TINYEXR_SUCCESS)
        return fail(ExrMessage(err));
    exr.headerParsed = true;
    const EXRBox2i& box = exr.header.data_window;
    const long long width = static_cast<long long>(box.max_x) - box.min_x + 1;
    const long long height = static_cast<long long>(box.max_y) - box.min_y + 1;
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide)
        return fail("its header declares " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels; pictures must be 1 to " + std::to_string(kMaxImageSide) + " pixels wide and high");

    // The channels the picture is made of: R, G, B or Y (grey), and A.
    int red = -1, green = -1, blue = -1, grey = -1, alpha = -1;
    for (int c = 0; c < exr.header.num_channels; ++c) {
        const std::string name = exr.header.channels[c].name;
        int* slot = name == "R" ? &red : name == "G" ? &green : name == "B" ? &blue : name == "Y" ? &grey
                  : name == "A" ? &alpha : nullptr;
        if (!slot)
            continue;
        if (exr.header.pixel_types[c] == TINYEXR_PIXELTYPE_UINT)
            return fail("channel " + name + " holds integers (half and float channels are read)");
        if (exr.header.channels[c].x_sampling != 1 || exr.header.channels[c].y_sampling != 1)
            return fail("channel " + name + " is subsampled");
        *slot = c;
        exr.header.requested_pixel_types[c] = TINYEXR_PIXELTYPE_FLOAT;
    }
    const bool colour = red >= 0 && green >= 0 && blue >= 0;
    if (!colour && grey < 0)
        return fail("it has no R, G and B channels and no Y channel");
    // Half values at least, compressed no better than deflate.
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (pixels * 2 / 1032 > bytes.size())
        return fail("its header declares " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels, more than its " + std::to_string(bytes.size()) + " bytes can hold");

    if (LoadEXRImageFromMemory(&exr.image, &exr.header, bytes.data(), bytes.size(), &err) != TINYEXR_SUCCESS)
        return fail(ExrMessage(err));
    exr.imageLoaded = true;

    Samples s;
    s.width = static_cast<int>(width);
    s.height = static_cast<int>(height);
    s.bitDepth = 32;
    std::vector<int> order = colour ? std::vector<int>{red, green, blue} : std::vector<int>{grey};
    if (alpha >= 0)
        order.push_back(alpha);
    s.channels = static_cast<int>(order.size());
    s.valuesFloat.assign(SampleCount(s), 0.0f);
    const auto n = order.size();
    // Copies a block of `w` x `h` pixels at (x0, y0) whose channel planes
    // are `planes`, `stride` values a row.
    const auto copy = [&](unsigned char** planes, int x0, int y0, int w, int h, int stride) {
        if (!planes || x0 < 0 || y0 < 0 || w > stride)
            return false;
        for (std::size_t k = 0; k < n; ++k) {
            const auto* plane = reinterpret_cast<const float*>(planes[order[k]]);
            for (int y = 0; y < h && y0 + y < s.height; ++y)
                for (int x = 0; x < w && x0 + x < s.width; ++x)
                    s.valuesFloat[(static_cast<std::size_t>(y0 + y) * static_cast<std::size_t>(s.width) +
                                   static_cast<std::size_t>(x0 + x)) * n + k] =
                        plane[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                              static_cast<std::size_t>(x)];
        }
        return true;
    };
    if (exr.image.tiles) {
        // The first level of a tiled file, tile by tile.
        for (int t = 0; t < exr.image.num_tiles; ++t) {
            const EXRTile& tile = exr.image.tiles[t];
            if (!copy(tile.images, tile.offset_x * exr.header.tile_size_x, tile.offset_y * exr.header.tile_size_y,
                      tile.width, tile.height, exr.header.tile_size_x))
                return fail("tile " + std::to_string(t) + " lies outside the picture");
        }
    } else if (exr.image.width != s.width || exr.image.height != s.height ||
               !copy(exr.image.images, 0, 0, s.width, s.height, s.width)) {
        return fail("the decoder returned a picture of another size than its header declares");
    }
    return s;
}

// ---------------------------------------------------------------------------
// PNG writing (stb_image_write has no 16-bit PNG): zlib compresses
// ---------------------------------------------------------------------------

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data, std::size_t size)
{
    PutBig32(out, static_cast<std::uint32_t>(size));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    PutBig32(out, static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// `raw` compressed at `level` (0, stored, to 9; -1 zlib's default) as IDAT
// chunks. zlib takes and gives it a mebibyte at a time: its counts are 32
// bits on Windows, and a PNG chunk holds less than 2 GiB, so one chunk for a
// large picture would be a broken file.
void PutImageData(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& raw, int level)
{
    z_stream z{};
    if (deflateInit(&z, level < 0 ? Z_DEFAULT_COMPRESSION : std::min(level, 9)) != Z_OK)
        throw std::bad_alloc();
    const std::unique_ptr<z_stream, int (*)(z_streamp)> end(&z, deflateEnd);
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::vector<std::uint8_t> chunk(kPiece);
    std::size_t at = 0;
    int flush = Z_NO_FLUSH;
    do {
        const std::size_t n = std::min(kPiece, raw.size() - at);
        z.next_in = const_cast<Bytef*>(raw.data() + at);
        z.avail_in = static_cast<uInt>(n);
        at += n;
        flush = at == raw.size() ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = chunk.data();
            z.avail_out = static_cast<uInt>(chunk.size());
            if (deflate(&z, flush) == Z_STREAM_ERROR)
                throw std::logic_error("zlib refused its stream");
            const std::size_t produced = chunk.size() - z.avail_out;
            if (produced > 0)
                PutChunk(out, "IDAT", chunk.data(), produced);
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
}

} // namespace

FileFormat FormatOfPath(const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return FileFormat::Unknown;
    const std::string extension = Lower(path.substr(dot + 1));
    if (extension == "pam")
        return FileFormat::Pam;
    if (extension == "pgm")
        return FileFormat::Pgm;
    if (extension == "ppm")
        return FileFormat::Ppm;
    if (extension == "pfm")
        return FileFormat::Pfm;
    if (extension == "png")
        return FileFormat::Png;
    if (extension == "exr")
        return FileFormat::Exr;
    return FileFormat::Unknown;
}

Samples ReadSamples(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw FileError("cannot read image \"" + path + "\": the file cannot be opened");
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        throw FileError("cannot read image \"" + path + "\": reading the file failed");
    Cursor in(bytes, path);
    if (bytes.size() >= 4 && bytes[0] == 0x76 && bytes[1] == 0x2F && bytes[2] == 0x31 && bytes[3] == 0x01)
        return ReadExr(bytes, path);
    if (bytes.size() < 2 || bytes[0] != 'P')
        return ReadWithStb(bytes, path);
    switch (bytes[1]) {
    case '7': return ReadPam(in, bytes);
    case '5': return ReadPgmPpm(in, bytes, 1);
    case '6': return ReadPgmPpm(in, bytes, 3);
    case 'F': return ReadPfm(in, bytes, 3);
    case 'f': return ReadPfm(in, bytes, 1);
    default:
        in.fail(std::string("Netpbm kind P") + static_cast<char>(bytes[1]) +
                " is not read (PAM P7, binary PGM P5 and PPM P6, PFM PF and Pf are)");
    }
}

std::vector<std::uint8_t> EncodePam(const Samples& s)
{
    if (s.bitDepth != 8 && s.bitDepth != 16)
        throw std::invalid_argument("PAM holds 8 or 16-bit samples, not " + std::to_string(s.bitDepth) + " bits");
    if (s.channels != 3 && s.channels != 4)
        throw std::invalid_argument("PAM is written as RGB or RGB_ALPHA");
    CheckShape(s, "PAM");
    std::vector<std::uint8_t> out;
    PutText(out, "P7\nWIDTH " + std::to_string(s.width) + "\nHEIGHT " + std::to_string(s.height) + "\nDEPTH " +
                     std::to_string(s.channels) + "\nMAXVAL " + (s.bitDepth == 8 ? "255" : "65535") +
                     "\nTUPLTYPE " + (s.channels == 4 ? "RGB_ALPHA" : "RGB") + "\nENDHDR\n");
    if (s.bitDepth == 8) {
        out.insert(out.end(), s.values8.begin(), s.values8.end());
    } else {
        for (std::uint16_t v : s.values16) {
            out.push_back(static_cast<std::uint8_t>(v >> 8));
            out.push_back(static_cast<std::uint8_t>(v & 0xFFu));
        }
    }
    return out;
}

std::vector<std::uint8_t> EncodePfm(const Samples& s)
{
    if (s.bitDepth != 32)
        throw std::invalid_argument("PFM holds float samples");
    if (s.channels != 1 && s.channels != 3)
        throw std::invalid_argument("PFM holds grey or RGB, not " + std::to_string(s.channels) + " channels");
    CheckShape(s, "PFM");
    std::vector<std::uint8_t> out;
    // A negative scale marks little-endian floats.
    PutText(out, std::string(s.channels == 3 ? "PF" : "Pf") + "\n" + std::to_string(s.width) + " " +
                     std::to_string(s.height) + "\n-1.0\n");
    const std::size_t rowValues = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.channels);
    for (int y = s.height - 1; y >= 0; --y)
        for (std::size_t i = 0; i < rowValues; ++i)
            PutFloatLittle(out, s.valuesFloat[static_cast<std::size_t>(y) * rowValues + i]);
    return out;
}

std::vector<std::uint8_t> EncodePng(const Samples& s, int compression)
{
    if (s.bitDepth != 8 && s.bitDepth != 16)
        throw std::invalid_argument("PNG is written with 8 or 16-bit samples");
    if (s.channels != 3 && s.channels != 4)
        throw std::invalid_argument("PNG is written as RGB or RGBA");
    CheckShape(s, "PNG");
    const std::size_t bytesPerSample = s.bitDepth == 8 ? 1 : 2;
    const std::size_t rowBytes = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.channels) *
                                 bytesPerSample;
    std::vector<std::uint8_t> raw;
    raw.reserve((rowBytes + 1) * static_cast<std::size_t>(s.height));
    const std::size_t rowValues = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.channels);
    for (int y = 0; y < s.height; ++y) {
        raw.push_back(0); // no filter
        const std::size_t first = static_cast<std::size_t>(y) * rowValues;
        for (std::size_t i = 0; i < rowValues; ++i) {
            if (s.bitDepth == 8) {
                raw.push_back(s.values8[first + i]);
            } else {
                raw.push_back(static_cast<std::uint8_t>(s.values16[first + i] >> 8));
                raw.push_back(static_cast<std::uint8_t>(s.values16[first + i] & 0xFFu));
            }
        }
    }
    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBig32(header, static_cast<std::uint32_t>(s.width));
    PutBig32(header, static_cast<std::uint32_t>(s.height));
    header.push_back(static_cast<std::uint8_t>(s.bitDepth));
    header.push_back(s.channels == 4 ? 6 : 2); // colour type: RGBA or RGB
    header.push_back(0);                       // deflate
    header.push_back(0);                       // adaptive filtering
    header.push_back(0);                       // not interlaced
    PutChunk(out, "IHDR", header.data(), header.size());
    PutImageData(out, raw, compression);
    PutChunk(out, "IEND", nullptr, 0);
    return out;
}

std::vector<std::uint8_t> EncodeExr(const Samples& s)
{
    if (s.bitDepth != 32)
        throw std::invalid_argument("OpenEXR is written with float samples");
    if (s.channels != 3 && s.channels != 4)
        throw std::invalid_argument("OpenEXR is written as RGB or RGBA");
    CheckShape(s, "OpenEXR");
    // One plane a channel, in the file's order (by name): A, B, G, R.
    const std::vector<std::pair<const char*, std::size_t>> channels =
        s.channels == 4 ? std::vector<std::pair<const char*, std::size_t>>{{"A", 3}, {"B", 2}, {"G", 1}, {"R", 0}}
                        : std::vector<std::pair<const char*, std::size_t>>{{"B", 2}, {"G", 1}, {"R", 0}};
    const std::size_t pixels = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
    const auto n = static_cast<std::size_t>(s.channels);
    std::vector<std::vector<float>> planes(channels.size(), std::vector<float>(pixels));
    std::vector<unsigned char*> planePointers;
    std::vector<EXRChannelInfo> info(channels.size());
    std::vector<int> types(channels.size(), TINYEXR_PIXELTYPE_FLOAT);
    for (std::size_t c = 0; c < channels.size(); ++c) {
        for (std::size_t i = 0; i < pixels; ++i)
            planes[c][i] = s.valuesFloat[i * n + channels[c].second];
        planePointers.push_back(reinterpret_cast<unsigned char*>(planes[c].data()));
        std::snprintf(info[c].name, sizeof info[c].name, "%s", channels[c].first);
    }
    EXRImage image;
    InitEXRImage(&image);
    image.images = planePointers.data();
    image.width = s.width;
    image.height = s.height;
    image.num_channels = static_cast<int>(channels.size());
    EXRHeader header;
    InitEXRHeader(&header);
    header.num_channels = image.num_channels;
    header.channels = info.data();
    header.pixel_types = types.data();
    header.requested_pixel_types = types.data();
    header.compression_type = TINYEXR_COMPRESSIONTYPE_ZIP;
    header.pixel_aspect_ratio = 1.0f;
    header.screen_window_width = 1.0f;
    unsigned char* memory = nullptr;
    const char* err = nullptr;
    const std::size_t size = SaveEXRImageToMemory(&image, &header, &memory, &err);
    if (size == 0) {
        const std::string message = ExrMessage(err);
        // tinyexr reports running out of memory only as a failure.
        throw std::runtime_error("OpenEXR: " + message);
    }
    std::vector<std::uint8_t> out(memory, memory + size);
    std::free(memory);
    return out;
}

} // namespace harness::portable
