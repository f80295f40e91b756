#include "harness/images/Images.h"
#include "harness/images/ImageConversions.h"
#include "harness/images/OutputFile.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <unistd.h>


namespace harness {

namespace {

namespace fs = std::filesystem;

using namespace imageconversions;

// Files with more channels than this are refused (each is read and kept).
constexpr int kMaxChannels = 64;


// Reads the picture's values as T into RGBA, a band of rows at a time (a row
// of tiles for a tiled file), so that a file whose header claims more pixels
// than it holds fails after the first band instead of after the whole
// picture's memory is taken.
template <typename T>
bool ReadRGBA(OIIO::ImageInput& input, OIIO::TypeDesc type, std::vector<T>& rgba, T opaque)
{
    const OIIO::ImageSpec& spec = input.spec();
    const auto width = static_cast<std::size_t>(spec.width);
    const int channels = spec.nchannels;
    // Two channels named R and G without alpha (an EXR) are red and green;
    // any other pair without a named alpha is grey and alpha, as before.
    const bool redGreen = channels == 2 && spec.alpha_channel < 0 && spec.channelnames.size() == 2 &&
                          spec.channelnames[0] == "R" && spec.channelnames[1] == "G";
    const bool tiled = spec.tile_width > 0;
    const int bandRows = tiled ? std::max(1, spec.tile_height) : 64;
    std::vector<T> data;
    for (int row = 0; row < spec.height; row += bandRows) {
        const int rows = std::min(bandRows, spec.height - row);
        data.resize(width * static_cast<std::size_t>(rows) * static_cast<std::size_t>(channels));
        const int y0 = spec.y + row;
        const bool ok = tiled ? input.read_tiles(0, 0, spec.x, spec.x + spec.width, y0, y0 + rows, spec.z,
                                                 spec.z + std::max(1, spec.depth), 0, channels, type, data.data())
                              : input.read_scanlines(0, 0, y0, y0 + rows, 0, 0, channels, type, data.data());
        if (!ok)
            return false;
        AppendRGBA(rgba, data, width * static_cast<std::size_t>(rows), channels,
                   redGreen ? kNoAlphaChannel : spec.alpha_channel, opaque);
    }
    return true;
}

// The temporary file as OpenImageIO's writers see it: every write goes
// through TemporaryOutput, which checks it (the library's PNG writer, for
// one, does not report a short write).
class TemporaryProxy : public OIIO::Filesystem::IOProxy {
public:
    explicit TemporaryProxy(TemporaryOutput& file) : IOProxy(file.path(), Write), file_(file) {}
    const char* proxytype() const override { return "linestra-temporary"; }
    size_t write(const void* buf, size_t size) override
    {
        const size_t written = pwrite(buf, size, m_pos);
        m_pos += static_cast<int64_t>(written);
        return written;
    }
    size_t pwrite(const void* buf, size_t size, int64_t offset) override
    {
        if (!file_.writeAt(buf, size, offset))
            return 0;
        if (offset + static_cast<int64_t>(size) > size_)
            size_ = offset + static_cast<int64_t>(size);
        return size;
    }
    // Some writers read back what they wrote (a directory being rewritten).
    size_t read(void* buf, size_t size) override
    {
        const size_t got = pread(buf, size, m_pos);
        m_pos += static_cast<int64_t>(got);
        return got;
    }
    size_t pread(void* buf, size_t size, int64_t offset) override
    {
        const ssize_t got = ::pread(file_.fd(), buf, size, static_cast<off_t>(offset));
        return got > 0 ? static_cast<size_t>(got) : 0;
    }
    size_t size() const override { return static_cast<size_t>(size_); }

private:
    TemporaryOutput& file_;
    int64_t size_ = 0;
};

bool IsFloatType(OIIO::TypeDesc type)
{
    return type.basetype == OIIO::TypeDesc::HALF || type.basetype == OIIO::TypeDesc::FLOAT ||
           type.basetype == OIIO::TypeDesc::DOUBLE;
}

std::string Reason(const std::string& error)
{
    std::string reason = error.empty() ? std::string("unknown error") : error;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' '))
        reason.pop_back();
    return reason;
}

// OpenEXR files: every header attribute's value must fit in the file. The
// imaging library sizes a value from the header before it reads it, so a
// damaged size would take gigabytes of memory and minutes before the read
// fails. Empty when the file is no OpenEXR file or its headers are sound.
std::string ExrHeaderProblem(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char start[8] = {};
    if (!in.read(reinterpret_cast<char*>(start), sizeof start) || start[0] != 0x76 || start[1] != 0x2F ||
        start[2] != 0x31 || start[3] != 0x01)
        return {};
    std::error_code ec;
    const auto fileSize = static_cast<std::int64_t>(fs::file_size(path, ec));
    if (ec)
        return {};
    const bool multipart = (start[5] & 0x10) != 0;
    const auto readName = [&in](std::string& name) {
        name.clear();
        char c = 0;
        while (in.get(c)) {
            if (c == '\0')
                return true;
            if (name.size() >= 255)
                return false;
            name += c;
        }
        return false;
    };
    for (;;) {
        int attributes = 0;
        std::string name, type;
        for (;;) {
            if (!readName(name))
                return "its header ends early or holds a name longer than 255 bytes";
            if (name.empty())
                break;
            unsigned char b[4] = {};
            if (!readName(type) || !in.read(reinterpret_cast<char*>(b), sizeof b))
                return "its header ends early";
            const std::int64_t size = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) |
                                                                static_cast<std::uint32_t>(b[1]) << 8 |
                                                                static_cast<std::uint32_t>(b[2]) << 16 |
                                                                static_cast<std::uint32_t>(b[3]) << 24);
            const std::int64_t left = fileSize - static_cast<std::int64_t>(in.tellg());
            if (size < 0 || size > left)
                return "its header attribute \"" + name + "\" claims " + std::to_string(size) +
                       " bytes, more than the file holds";
            in.seekg(size, std::ios::cur);
            ++attributes;
        }
        // A multi-part file's headers end with an empty one.
        if (!multipart || attributes == 0)
            return {};
    }
}

// The file's PNG chunk lengths checked against its size (PngChunkProblem),
// reading only the chunk headers.
std::string PngChunkProblem(const std::string& path)
{
    std::error_code ec;
    const std::uint64_t fileSize = fs::file_size(path, ec);
    if (ec)
        return {};
    std::ifstream in(path, std::ios::binary);
    return harness::PngChunkProblem(fileSize, [&in](std::uint64_t at, unsigned char* header) {
        return static_cast<bool>(in.seekg(static_cast<std::streamoff>(at)) &&
                                 in.read(reinterpret_cast<char*>(header), 8));
    });
}

// Opens the writer on `file`, writes the buffer and closes it; the
// writer's complaint, or empty.
std::string WritePixels(OIIO::ImageOutput& output, const OwnedWorld& world, const std::string& file,
                        const OIIO::ImageSpec& spec, int channels)
{
    if (!output.open(file, spec))
        return Reason(output.geterror());
    // Feed the writer the buffer's own kind of values; when the file holds
    // floats, give it floats on the buffer's scale (white 1.0).
    const bool fileTakesFloat = IsFloatType(output.spec().format);
    bool ok = false;
    switch (world.format()) {
    case PF_PixelFormat_ARGB32:
        if (fileTakesFloat) {
            const auto data =
                PackRGBA<PF_Pixel, float>(world, channels, [](A_u_char v) { return static_cast<float>(v) / 255.0f; });
            ok = output.write_image(OIIO::TypeDesc::FLOAT, data.data());
        } else {
            const auto data = PackRGBA<PF_Pixel, unsigned char>(world, channels, [](A_u_char v) { return v; });
            ok = output.write_image(OIIO::TypeDesc::UINT8, data.data());
        }
        break;
    case PF_PixelFormat_ARGB64:
        if (fileTakesFloat) {
            const auto data = PackRGBA<PF_Pixel16, float>(
                world, channels, [](A_u_short v) { return static_cast<float>(v) / 32768.0f; });
            ok = output.write_image(OIIO::TypeDesc::FLOAT, data.data());
        } else {
            const auto data = PackRGBA<PF_Pixel16, unsigned short>(world, channels, To16BitFile);
            ok = output.write_image(OIIO::TypeDesc::UINT16, data.data());
        }
        break;
    default: {
        const auto data = PackRGBA<PF_PixelFloat, float>(world, channels, [](PF_FpShort v) { return v; });
        ok = output.write_image(OIIO::TypeDesc::FLOAT, data.data());
        break;
    }
    }
    // close() even after a failed write, so that the writer lets go of the
    // file; its complaint comes first.
    std::string failure = ok ? std::string() : Reason(output.geterror());
    if (!output.close() && failure.empty())
        failure = Reason(output.geterror());
    return failure;
}

// For writers that cannot write through a proxy: the file read back whole,
// which a short or broken file fails.
std::string ReadBackProblem(const std::string& file)
{
    auto input = OIIO::ImageInput::open(file);
    if (!input)
        return "the written file does not read back: " + Reason(OIIO::geterror());
    const OIIO::ImageSpec& spec = input->spec();
    std::vector<float> values(static_cast<std::size_t>(spec.image_pixels()) * static_cast<std::size_t>(spec.nchannels));
    if (!input->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, values.data()))
        return "the written file does not read back: " + Reason(input->geterror());
    return {};
}

} // namespace

// ---------------------------------------------------------------------------
// ImageFile
// ---------------------------------------------------------------------------

std::shared_ptr<const ImageFile> ImageFile::Read(const std::string& path)
{
    CheckImageInputPath(path);

    if (const std::string problem = ExrHeaderProblem(path); !problem.empty())
        throw ImageError("cannot read image \"" + path + "\": " + problem);
    if (const std::string problem = PngChunkProblem(path); !problem.empty())
        throw ImageError("cannot read image \"" + path + "\": " + problem);

    // Keep colour straight: the library would otherwise premultiply files
    // with unassociated alpha (PNG, for one) as it reads them.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input)
        throw ImageError("cannot read image \"" + path + "\": " + Reason(OIIO::geterror()));
    const OIIO::ImageSpec& spec = input->spec();
    if (spec.depth > 1)
        throw ImageError("cannot read image \"" + path + "\": not a two-dimensional picture");
    CheckImageSize(path, spec.width, spec.height);
    if (spec.nchannels < 1 || spec.nchannels > kMaxChannels)
        throw ImageError("cannot read image \"" + path + "\": it has " + std::to_string(spec.nchannels) +
                         " channels (1 to " + std::to_string(kMaxChannels) + " are read)");
    // The library reads a tile whole: a header declaring tiles far larger
    // than any picture read here would have it allocate gigabytes.
    if (spec.tile_width > 0 && (spec.tile_width > kMaxImageSide || spec.tile_height > kMaxImageSide ||
                                static_cast<long long>(spec.tile_width) * spec.tile_height > 16LL * 1024 * 1024))
        throw ImageError("cannot read image \"" + path + "\": its header declares tiles of " +
                         std::to_string(spec.tile_width) + " x " + std::to_string(spec.tile_height) +
                         " pixels; tiles must be at most 16 million pixels");

    auto file = std::make_shared<ImageFile>();
    file->path_ = path;
    file->width_ = spec.width;
    file->height_ = spec.height;
    const OIIO::TypeDesc type = spec.format;
    bool ok = false;
    try {
        if (type == OIIO::TypeDesc::UINT8) {
            file->bitDepth_ = 8;
            ok = ReadRGBA<unsigned char>(*input, OIIO::TypeDesc::UINT8, file->rgba8_, 255);
        } else if (type == OIIO::TypeDesc::UINT16) {
            file->bitDepth_ = 16;
            ok = ReadRGBA<unsigned short>(*input, OIIO::TypeDesc::UINT16, file->rgba16_, 65535);
        } else {
            // Float files, and any other depth the library normalises to 0..1.
            file->bitDepth_ = 32;
            ok = ReadRGBA<float>(*input, OIIO::TypeDesc::FLOAT, file->rgbaFloat_, 1.0f);
        }
    } catch (const std::bad_alloc&) {
        throw ImageError("cannot read image \"" + path + "\": not enough memory for its " + std::to_string(spec.width) +
                         " x " + std::to_string(spec.height) + " pixels");
    }
    if (!ok)
        throw ImageError("cannot read image \"" + path + "\": " + Reason(input->geterror()));
    input->close();
    return file;
}


// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

void CheckImageOutput(const std::string& path)
{
    auto output = OIIO::ImageOutput::create(path);
    if (!output)
        throw ImageError("cannot write image \"" + path + "\": " + Reason(OIIO::geterror()));
    try {
        CheckOutputFolder(path);
    } catch (const OutputFileError& e) {
        throw ImageError(e.what());
    }
}

void WriteImage(const OwnedWorld& world, const std::string& path, int pngCompression)
{
    const fs::path target(path);
    auto output = OIIO::ImageOutput::create(path);
    if (!output)
        throw ImageError("cannot write image \"" + path + "\": " + Reason(OIIO::geterror()));
    if (world.width() <= 0 || world.height() <= 0)
        throw ImageError("cannot write image \"" + path + "\": the picture is empty");

    OIIO::TypeDesc wanted = OIIO::TypeDesc::UINT8;
    if (world.format() == PF_PixelFormat_ARGB64)
        wanted = OIIO::TypeDesc::UINT16;
    else if (world.format() == PF_PixelFormat_ARGB128)
        wanted = OIIO::TypeDesc::FLOAT;
    // PNG holds no floats; a float render keeps 16 bits there rather than
    // the writer's fallback of 8.
    if (wanted == OIIO::TypeDesc::FLOAT && std::string(output->format_name()) == "png")
        wanted = OIIO::TypeDesc::UINT16;
    const int channels = output->supports("alpha") ? 4 : 3;
    OIIO::ImageSpec spec(world.width(), world.height(), channels, wanted);
    if (channels == 4) {
        spec.alpha_channel = 3;
        // The buffer holds straight colour; tell the writer so it does not
        // divide by alpha.
        spec.attribute("oiio:UnassociatedAlpha", 1);
    }
    if (pngCompression >= 0 && std::string(output->format_name()) == "png") {
        // The PNG writer reads the level from "compression" ("zip:N"); older
        // versions from "png:compressionLevel".
        spec.attribute("compression", "zip:" + std::to_string(std::min(pngCompression, 9)));
        spec.attribute("png:compressionLevel", std::min(pngCompression, 9));
    }

    CheckImageOutputFolderExists(path);

    try {
        TemporaryOutput temporary(path);
        // Writers that take a proxy write through it, so that every write is
        // checked here; the few that do not write the file themselves, and
        // what they wrote is read back whole before it replaces the target.
        TemporaryProxy proxy(temporary);
        const bool throughProxy = output->supports("ioproxy") != 0;
        if (throughProxy)
            output->set_ioproxy(&proxy);
        std::string failure;
        try {
            failure = WritePixels(*output, world, temporary.path(), spec, channels);
        } catch (...) {
            output.reset();
            throw;
        }
        output.reset(); // nothing writes through the proxy after this
        if (failure.empty() && !temporary.failure().empty())
            failure = temporary.failure();
        if (failure.empty() && !throughProxy)
            failure = ReadBackProblem(temporary.path());
        if (!failure.empty())
            throw ImageError("cannot write image \"" + path + "\": " + failure);
        temporary.commit();
    } catch (const OutputFileError& e) {
        throw ImageError(e.what());
    } catch (const std::bad_alloc&) {
        throw ImageError("cannot write image \"" + path + "\": not enough memory");
    }
}

} // namespace harness
