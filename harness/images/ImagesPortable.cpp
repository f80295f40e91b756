// Image files of the stand-in host without an imaging library (built with
// LINESTRA_IMAGE_IO=portable, as on Windows): the API of Images.h over
// PortableImageFiles.h (stb_image, tinyexr and the harness's own Netpbm,
// PFM and PNG code). Values map between files and buffers exactly as in the
// OpenImageIO build (Images.cpp), and the generated pictures are the same
// pixel for pixel, so a scene renders the same in both builds; a PNG input
// decodes to the same values there too, a JPEG input within a few levels
// (the two builds' JPEG decoders round their transforms differently).
//
// Read by content: the formats of portable::kReadFormats. Written by
// extension: .png (8 and 16-bit buffers; a float buffer as 16 bits), .exr
// (32-bit float; 8 and 16-bit buffers converted to float), .pam (8 and 16
// bits; float as 16 bits), .pfm (float, without alpha). Any other output is
// an error that names the formats this build writes.
#include "harness/images/Images.h"
#include "harness/images/ImageConversions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "harness/images/OutputFile.h"
#include "harness/images/PortableImageFiles.h"

namespace harness {

namespace {

namespace fs = std::filesystem;
using portable::FileFormat;
using portable::Samples;

constexpr const char* kWriteFormats = ".png, .exr, .pam and .pfm";

using namespace imageconversions;


// The file's channels (grey, grey + alpha, RGB, RGB + alpha) as RGBA.
template <typename T>
std::vector<T> ToRGBA(const std::vector<T>& data, std::size_t pixels, int channels, T opaque)
{
    std::vector<T> rgba;
    AppendRGBA(rgba, data, pixels, channels, channels == 4 ? 3 : -1, opaque);
    return rgba;
}

unsigned short FloatTo16BitFile(PF_FpShort v)
{
    return static_cast<unsigned short>(std::round(Clamp01(v) * 65535.0));
}

// The buffer as the samples a file of `depth` bits holds (8 or 16 for
// integer files, 32 for float files), in `channels` channels (3 or 4).
Samples SamplesOf(const OwnedWorld& world, int depth, int channels)
{
    Samples s;
    s.width = world.width();
    s.height = world.height();
    s.channels = channels;
    s.bitDepth = depth;
    switch (world.format()) {
    case PF_PixelFormat_ARGB32:
        if (depth == 32)
            s.valuesFloat = PackRGBA<PF_Pixel, float>(world, channels,
                                                      [](A_u_char v) { return static_cast<float>(v) / 255.0f; });
        else
            s.values8 = PackRGBA<PF_Pixel, std::uint8_t>(world, channels, [](A_u_char v) { return v; });
        break;
    case PF_PixelFormat_ARGB64:
        if (depth == 32)
            s.valuesFloat = PackRGBA<PF_Pixel16, float>(
                world, channels, [](A_u_short v) { return static_cast<float>(v) / 32768.0f; });
        else
            s.values16 = PackRGBA<PF_Pixel16, std::uint16_t>(world, channels, To16BitFile);
        break;
    default:
        if (depth == 32)
            s.valuesFloat = PackRGBA<PF_PixelFloat, float>(world, channels, [](PF_FpShort v) { return v; });
        else
            s.values16 = PackRGBA<PF_PixelFloat, std::uint16_t>(world, channels, FloatTo16BitFile);
        break;
    }
    return s;
}

// The format of a file this build writes; throws ImageError naming `path`
// for any other.
FileFormat WrittenFormat(const std::string& path)
{
    const FileFormat format = portable::FormatOfPath(path);
    if (format != FileFormat::Png && format != FileFormat::Exr && format != FileFormat::Pam &&
        format != FileFormat::Pfm)
        throw ImageError("cannot write image \"" + path + "\": this build of the harness has no imaging library "
                         "and writes only " + kWriteFormats + " files");
    return format;
}

} // namespace

// ---------------------------------------------------------------------------
// ImageFile
// ---------------------------------------------------------------------------

std::shared_ptr<const ImageFile> ImageFile::Read(const std::string& path)
{
    CheckImageInputPath(path);
    Samples samples;
    try {
        samples = portable::ReadSamples(path);
    } catch (const portable::FileError& e) {
        throw ImageError(e.what());
    } catch (const std::bad_alloc&) {
        throw ImageError("cannot read image \"" + path + "\": not enough memory");
    }
    auto file = std::make_shared<ImageFile>();
    file->path_ = path;
    file->width_ = samples.width;
    file->height_ = samples.height;
    file->bitDepth_ = samples.bitDepth;
    const auto pixels = static_cast<std::size_t>(samples.width) * static_cast<std::size_t>(samples.height);
    if (samples.bitDepth == 8)
        file->rgba8_ = ToRGBA<unsigned char>(samples.values8, pixels, samples.channels, 255);
    else if (samples.bitDepth == 16)
        file->rgba16_ = ToRGBA<unsigned short>(samples.values16, pixels, samples.channels, 65535);
    else
        file->rgbaFloat_ = ToRGBA<float>(samples.valuesFloat, pixels, samples.channels, 1.0f);
    return file;
}


// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

void WriteImage(const OwnedWorld& world, const std::string& path, int pngCompression)
{
    const FileFormat format = WrittenFormat(path);
    if (world.width() <= 0 || world.height() <= 0)
        throw ImageError("cannot write image \"" + path + "\": the picture is empty");
    CheckImageOutputFolderExists(path);

    // Integer files keep the buffer's depth (a float buffer goes in as 16
    // bits); float files take floats on the buffer's scale (white 1.0).
    const int integerDepth = world.format() == PF_PixelFormat_ARGB32 ? 8 : 16;
    std::vector<std::uint8_t> bytes;
    try {
        switch (format) {
        case FileFormat::Png: bytes = portable::EncodePng(SamplesOf(world, integerDepth, 4), pngCompression); break;
        case FileFormat::Pam: bytes = portable::EncodePam(SamplesOf(world, integerDepth, 4)); break;
        case FileFormat::Exr: bytes = portable::EncodeExr(SamplesOf(world, 32, 4)); break;
        default: bytes = portable::EncodePfm(SamplesOf(world, 32, 3)); break;
        }
    } catch (const std::bad_alloc&) {
        throw ImageError("cannot write image \"" + path + "\": not enough memory");
    } catch (const std::runtime_error& e) {
        throw ImageError("cannot write image \"" + path + "\": " + e.what());
    }

    try {
        TemporaryOutput temporary(path);
        temporary.write(bytes.data(), bytes.size());
        temporary.commit();
    } catch (const OutputFileError& e) {
        throw ImageError(e.what());
    }
}

void CheckImageOutput(const std::string& path)
{
    WrittenFormat(path);
    try {
        CheckOutputFolder(path);
    } catch (const OutputFileError& e) {
        throw ImageError(e.what());
    }
}

} // namespace harness
