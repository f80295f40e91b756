#include "harness/images/PortableImageFiles.h"
#include "harness/images/Images.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#if defined(LINESTRA_HAVE_ZLIB)
#include <zlib.h>
#endif

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

void PutLittle(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFFu));
}

void PutFloatLittle(std::vector<std::uint8_t>& out, float v)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    PutLittle(out, bits, 4);
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
// PNG writing: stored deflate blocks, so no compressor is needed
// ---------------------------------------------------------------------------

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t Adler32(const std::vector<std::uint8_t>& data)
{
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521u;
        b = (b + a) % 65521u;
    }
    return (b << 16) | a;
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    PutBig32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(out.data() + start, out.size() - start));
}

std::vector<std::uint8_t> StoredZlib(const std::vector<std::uint8_t>& raw)
{
    std::vector<std::uint8_t> z{0x78, 0x01};
    constexpr std::size_t kBlock = 65535;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kBlock, raw.size() - at);
        const bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        PutLittle(z, n, 2);
        PutLittle(z, ~n & 0xFFFFu, 2);
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                 raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    PutBig32(z, Adler32(raw));
    return z;
}

// The zlib stream at `level` (1 to 9) when zlib is built in; stored blocks
// otherwise and at level 0 or below.
std::vector<std::uint8_t> Zlib(const std::vector<std::uint8_t>& raw, int level)
{
#if defined(LINESTRA_HAVE_ZLIB)
    if (level > 0) {
        uLongf size = compressBound(static_cast<uLong>(raw.size()));
        std::vector<std::uint8_t> z(size);
        if (compress2(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()), std::min(level, 9)) != Z_OK)
            throw std::bad_alloc();
        z.resize(size);
        return z;
    }
#else
    (void)level;
#endif
    return StoredZlib(raw);
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
    Cursor in(bytes, path);
    if (bytes.size() < 2 || bytes[0] != 'P')
        in.fail("not a PAM, PGM, PPM or PFM file (this build of the harness reads only those)");
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
    PutChunk(out, "IHDR", header);
    PutChunk(out, "IDAT", Zlib(raw, compression));
    PutChunk(out, "IEND", {});
    return out;
}

std::vector<std::uint8_t> EncodeExr(const Samples& s)
{
    if (s.bitDepth != 32)
        throw std::invalid_argument("OpenEXR is written with float samples");
    if (s.channels != 3 && s.channels != 4)
        throw std::invalid_argument("OpenEXR is written as RGB or RGBA");
    CheckShape(s, "OpenEXR");
    std::vector<std::uint8_t> out{0x76, 0x2F, 0x31, 0x01, 2, 0, 0, 0}; // magic, version 2, scan lines
    const auto attribute = [&out](const std::string& name, const std::string& type,
                                  const std::vector<std::uint8_t>& value) {
        PutText(out, name);
        out.push_back(0);
        PutText(out, type);
        out.push_back(0);
        PutLittle(out, value.size(), 4);
        out.insert(out.end(), value.begin(), value.end());
    };
    // Channels in the file's order (by name): A, B, G, R; index into RGBA.
    const std::vector<std::pair<char, std::size_t>> channels =
        s.channels == 4 ? std::vector<std::pair<char, std::size_t>>{{'A', 3}, {'B', 2}, {'G', 1}, {'R', 0}}
                        : std::vector<std::pair<char, std::size_t>>{{'B', 2}, {'G', 1}, {'R', 0}};
    std::vector<std::uint8_t> list;
    for (const auto& [name, index] : channels) {
        list.push_back(static_cast<std::uint8_t>(name));
        list.push_back(0);
        PutLittle(list, 2, 4); // FLOAT
        PutLittle(list, 0, 4); // linear flag and reserved bytes
        PutLittle(list, 1, 4); // x sampling
        PutLittle(list, 1, 4); // y sampling
    }
    list.push_back(0);
    std::vector<std::uint8_t> box;
    PutLittle(box, 0, 4);
    PutLittle(box, 0, 4);
    PutLittle(box, static_cast<std::uint32_t>(s.width - 1), 4);
    PutLittle(box, static_cast<std::uint32_t>(s.height - 1), 4);
    std::vector<std::uint8_t> one, center;
    PutFloatLittle(one, 1.0f);
    PutFloatLittle(center, 0.0f);
    PutFloatLittle(center, 0.0f);
    attribute("channels", "chlist", list);
    attribute("compression", "compression", {0}); // none
    attribute("dataWindow", "box2i", box);
    attribute("displayWindow", "box2i", box);
    attribute("lineOrder", "lineOrder", {0}); // increasing y
    attribute("pixelAspectRatio", "float", one);
    attribute("screenWindowCenter", "v2f", center);
    attribute("screenWindowWidth", "float", one);
    out.push_back(0); // end of header

    // One scan line per block: the offset table, then the blocks.
    const std::size_t lineBytes = static_cast<std::size_t>(s.width) * channels.size() * 4;
    const std::size_t tableStart = out.size();
    const std::size_t firstBlock = tableStart + 8 * static_cast<std::size_t>(s.height);
    for (int y = 0; y < s.height; ++y)
        PutLittle(out, firstBlock + static_cast<std::size_t>(y) * (8 + lineBytes), 8);
    const auto pixels = static_cast<std::size_t>(s.width);
    const auto n = static_cast<std::size_t>(s.channels);
    for (int y = 0; y < s.height; ++y) {
        PutLittle(out, static_cast<std::uint32_t>(y), 4);
        PutLittle(out, lineBytes, 4);
        const float* row = s.valuesFloat.data() + static_cast<std::size_t>(y) * pixels * n;
        for (const auto& [name, index] : channels)
            for (std::size_t x = 0; x < pixels; ++x)
                PutFloatLittle(out, row[x * n + index]);
    }
    return out;
}

} // namespace harness::portable
