#include "harness/Images.h"
#include "harness/ImageConversions.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace harness {

namespace {

namespace fs = std::filesystem;

using namespace imageconversions;


// The file's channels (grey, grey + alpha, RGB, RGB + alpha, ...) as RGBA.
template <typename T>
std::vector<T> ToRGBA(const std::vector<T>& data, std::size_t pixels, int channels, int alphaChannel, T opaque)
{
    std::vector<T> rgba(pixels * 4);
    const auto n = static_cast<std::size_t>(channels);
    if (alphaChannel < 0 && channels == 2)
        alphaChannel = 1;
    for (std::size_t i = 0; i < pixels; ++i) {
        const T* src = data.data() + i * n;
        T* dst = rgba.data() + i * 4;
        if (channels < 3) {
            dst[0] = dst[1] = dst[2] = src[0];
        } else {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
        dst[3] = alphaChannel >= 0 && alphaChannel < channels && (channels < 3 || alphaChannel >= 3)
                     ? src[static_cast<std::size_t>(alphaChannel)]
                     : opaque;
    }
    return rgba;
}

bool IsFloatType(OIIO::TypeDesc type)
{
    return type.basetype == OIIO::TypeDesc::HALF || type.basetype == OIIO::TypeDesc::FLOAT ||
           type.basetype == OIIO::TypeDesc::DOUBLE;
}

std::string TemporaryName(const fs::path& target)
{
    static std::atomic<unsigned> counter{0};
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    return (folder / ("." + target.filename().string() + ".part-" + std::to_string(::getpid()) + "-" +
                      std::to_string(counter++)))
        .string();
}

std::string Reason(const std::string& error)
{
    std::string reason = error.empty() ? std::string("unknown error") : error;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' '))
        reason.pop_back();
    return reason;
}

} // namespace

// ---------------------------------------------------------------------------
// ImageFile
// ---------------------------------------------------------------------------

std::shared_ptr<const ImageFile> ImageFile::Read(const std::string& path)
{
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw ImageError("image file \"" + path + "\" does not exist");
    if (fs::is_directory(path, ec))
        throw ImageError("image file \"" + path + "\" is a folder, not an image");

    // Keep colour straight: the library would otherwise premultiply files
    // with unassociated alpha (PNG, for one) as it reads them.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input)
        throw ImageError("cannot read image \"" + path + "\": " + Reason(OIIO::geterror()));
    const OIIO::ImageSpec& spec = input->spec();
    if (spec.width <= 0 || spec.height <= 0 || spec.nchannels <= 0 || spec.depth > 1)
        throw ImageError("cannot read image \"" + path + "\": not a two-dimensional picture");

    auto file = std::make_shared<ImageFile>();
    file->path_ = path;
    file->width_ = spec.width;
    file->height_ = spec.height;
    const auto pixels = static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height);
    const auto values = pixels * static_cast<std::size_t>(spec.nchannels);
    const OIIO::TypeDesc type = spec.format;
    bool ok = false;
    if (type == OIIO::TypeDesc::UINT8) {
        file->bitDepth_ = 8;
        std::vector<unsigned char> data(values);
        ok = input->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT8, data.data());
        if (ok)
            file->rgba8_ = ToRGBA<unsigned char>(data, pixels, spec.nchannels, spec.alpha_channel, 255);
    } else if (type == OIIO::TypeDesc::UINT16) {
        file->bitDepth_ = 16;
        std::vector<unsigned short> data(values);
        ok = input->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT16, data.data());
        if (ok)
            file->rgba16_ = ToRGBA<unsigned short>(data, pixels, spec.nchannels, spec.alpha_channel, 65535);
    } else {
        // Float files, and any other depth the library normalises to 0..1.
        file->bitDepth_ = 32;
        std::vector<float> data(values);
        ok = input->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, data.data());
        if (ok)
            file->rgbaFloat_ = ToRGBA<float>(data, pixels, spec.nchannels, spec.alpha_channel, 1.0f);
    }
    if (!ok)
        throw ImageError("cannot read image \"" + path + "\": " + Reason(input->geterror()));
    input->close();
    return file;
}


// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

void WriteImage(const OwnedWorld& world, const std::string& path)
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

    std::error_code ec;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec))
        throw ImageError("cannot write image \"" + path + "\": folder \"" + folder.string() + "\" does not exist");

    const std::string temporary = TemporaryName(target);
    const auto discard = [&temporary]() {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    };
    if (!output->open(temporary, spec)) {
        const std::string reason = Reason(output->geterror());
        discard();
        throw ImageError("cannot write image \"" + path + "\": " + reason);
    }

    // Feed the writer the buffer's own kind of values; when the file holds
    // floats, give it floats on the buffer's scale (white 1.0).
    const bool fileTakesFloat = IsFloatType(output->spec().format);
    bool ok = false;
    switch (world.format()) {
    case PF_PixelFormat_ARGB32:
        if (fileTakesFloat) {
            const auto data =
                PackRGBA<PF_Pixel, float>(world, channels, [](A_u_char v) { return static_cast<float>(v) / 255.0f; });
            ok = output->write_image(OIIO::TypeDesc::FLOAT, data.data());
        } else {
            const auto data = PackRGBA<PF_Pixel, unsigned char>(world, channels, [](A_u_char v) { return v; });
            ok = output->write_image(OIIO::TypeDesc::UINT8, data.data());
        }
        break;
    case PF_PixelFormat_ARGB64:
        if (fileTakesFloat) {
            const auto data = PackRGBA<PF_Pixel16, float>(
                world, channels, [](A_u_short v) { return static_cast<float>(v) / 32768.0f; });
            ok = output->write_image(OIIO::TypeDesc::FLOAT, data.data());
        } else {
            const auto data = PackRGBA<PF_Pixel16, unsigned short>(world, channels, To16BitFile);
            ok = output->write_image(OIIO::TypeDesc::UINT16, data.data());
        }
        break;
    default: {
        const auto data = PackRGBA<PF_PixelFloat, float>(world, channels, [](PF_FpShort v) { return v; });
        ok = output->write_image(OIIO::TypeDesc::FLOAT, data.data());
        break;
    }
    }
    if (!ok || !output->close()) {
        const std::string reason = Reason(output->geterror());
        discard();
        throw ImageError("cannot write image \"" + path + "\": " + reason);
    }
    output.reset();

    fs::rename(temporary, target, ec);
    if (ec) {
        discard();
        throw ImageError("cannot write image \"" + path + "\": " + ec.message());
    }
}

} // namespace harness
