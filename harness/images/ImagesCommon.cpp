// What both image-file back ends share: turning a read file into a buffer,
// and the generated pictures (gradient, checker) for scenes that need no
// image file.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "harness/images/ImageConversions.h"
#include "harness/images/Images.h"

namespace harness {

using imageconversions::WorldFromRGBA;

OwnedWorld ImageFile::toWorld(PF_PixelFormat format) const
{
    if (BytesPerPixel(format) == 0)
        throw std::invalid_argument("unknown pixel format code " + std::to_string(format));
    if (bitDepth_ == 8)
        return WorldFromRGBA(width_, height_, rgba8_, format);
    if (bitDepth_ == 16)
        return WorldFromRGBA(width_, height_, rgba16_, format);
    return WorldFromRGBA(width_, height_, rgbaFloat_, format);
}

std::string PngChunkProblem(std::uint64_t fileSize,
                            const std::function<bool(std::uint64_t, unsigned char*)>& readHeader)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    unsigned char header[8] = {};
    if (fileSize < 8 || !readHeader(0, header) || !std::equal(header, header + 8, signature))
        return {};
    for (std::uint64_t at = 8; fileSize - at >= 8 && readHeader(at, header);) {
        const std::uint64_t length = static_cast<std::uint64_t>(header[0]) << 24 |
                                     static_cast<std::uint64_t>(header[1]) << 16 |
                                     static_cast<std::uint64_t>(header[2]) << 8 | header[3];
        const std::string type(reinterpret_cast<const char*>(header + 4), 4);
        // Length and type (read), then the data and a 4-byte checksum.
        if (length + 4 > fileSize - at - 8)
            return "its \"" + type + "\" chunk claims " + std::to_string(length) + " bytes, more than the file holds";
        if (type == "IEND")
            break;
        at += 12 + length;
    }
    return {};
}

void CheckImageSize(const std::string& path, long long width, long long height)
{
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide)
        throw ImageError("cannot read image \"" + path + "\": its header declares " + std::to_string(width) + " x " +
                         std::to_string(height) + " pixels; pictures must be 1 to " + std::to_string(kMaxImageSide) +
                         " pixels wide and high");
}

void CheckImageInputPath(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        throw ImageError("image file \"" + path + "\" does not exist");
    if (std::filesystem::is_directory(path, ec))
        throw ImageError("image file \"" + path + "\" is a folder, not an image");
    // A device, pipe or socket may never end (/dev/zero) or block for ever
    // (a pipe no one writes to), and the image readers seek in what they read.
    if (!std::filesystem::is_regular_file(path, ec))
        throw ImageError("image file \"" + path + "\" is not a regular file (a device, pipe or socket)");
}

void CheckImageOutputFolderExists(const std::string& path)
{
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        throw ImageError("cannot write image \"" + path + "\": folder \"" + folder.string() + "\" does not exist");
}

OwnedWorld ReadImage(const std::string& path, PF_PixelFormat format)
{
    return ImageFile::Read(path)->toWorld(format);
}

const std::vector<std::string>& PatternNames()
{
    static const std::vector<std::string> names{"gradient", "checker"};
    return names;
}

OwnedWorld GeneratePattern(const std::string& pattern, A_long width, A_long height, PF_PixelFormat format,
                           A_long cell)
{
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("a generated picture needs a positive size, not " + std::to_string(width) + " x " +
                                    std::to_string(height));
    std::vector<unsigned char> rgba(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    const auto put = [&](A_long x, A_long y, unsigned char r, unsigned char g, unsigned char b) {
        unsigned char* p = rgba.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                          static_cast<std::size_t>(x)) * 4;
        p[0] = r;
        p[1] = g;
        p[2] = b;
        p[3] = 255;
    };
    const auto level = [](double f) { return static_cast<unsigned char>(std::lround(255.0 * f)); };
    if (pattern == "gradient") {
        // Red rises to the right, green downwards, blue fades from the
        // top-left corner.
        for (A_long y = 0; y < height; ++y) {
            const double fy = height > 1 ? static_cast<double>(y) / (height - 1) : 0.0;
            for (A_long x = 0; x < width; ++x) {
                const double fx = width > 1 ? static_cast<double>(x) / (width - 1) : 0.0;
                put(x, y, level(fx), level(fy), level(1.0 - 0.5 * (fx + fy)));
            }
        }
    } else if (pattern == "checker") {
        const A_long size = cell > 0 ? cell : std::max<A_long>(1, std::min(width, height) / 8);
        for (A_long y = 0; y < height; ++y)
            for (A_long x = 0; x < width; ++x) {
                if ((x / size + y / size) % 2 == 0)
                    put(x, y, 235, 235, 235);
                else
                    put(x, y, 40, 48, 64);
            }
    } else {
        throw std::invalid_argument("unknown pattern \"" + pattern + "\" (known: gradient, checker)");
    }
    return WorldFromRGBA(width, height, rgba, format);
}

} // namespace harness
