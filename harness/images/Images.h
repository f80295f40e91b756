// Image files and generated pictures as the stand-in host's pixel buffers.
//
// Reading maps a file's values into a buffer's range by the file's own bit
// depth: 8-bit files 0..255 (to 16-bit round(v * 32768 / 255), to float
// v / 255), 16-bit files 0..65535 (to 16-bit round(v * 32768 / 65535), to
// 8-bit round(v * 255 / 65535), to float v / 65535), float files as they are
// (to 8-bit and 16-bit clamped to 0..1 and rounded). Colour stays straight
// (never premultiplied); a file without alpha gets opaque alpha; a grey file
// gives grey colour.
//
// Writing: an 8-bit buffer as 8-bit values, a 16-bit buffer as 0..65535
// (round(v * 65535 / 32768)), a float buffer as 32-bit floats; the output
// path's extension chooses the file format (.png for 8 and 16 bits, .exr for
// float; any other format the imaging library writes converts from these, a
// float buffer into PNG as 16 bits).
// A file is written under a temporary name in the same folder and renamed
// when complete and flushed (OutputFile.h), so that no half-written file is
// ever left behind and a failed write keeps an earlier file of that name.
//
// Pictures are at most kMaxImageSide pixels wide and high, like a scene's
// layer; a file's header is checked against that before any pixel memory is
// taken.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostAPI.h"
#include "harness/state/World.h"

namespace harness {

// The largest width and height of a picture the stand-in host reads or
// renders.
constexpr A_long kMaxImageSide = 30000;

// An image that cannot be read or written; the message names the path.
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An image file read once, convertible to any of the three buffer formats.
class ImageFile {
public:
    // Throws ImageError naming the path when the file is missing or
    // unreadable.
    static std::shared_ptr<const ImageFile> Read(const std::string& path);

    const std::string& path() const { return path_; }
    A_long width() const { return width_; }
    A_long height() const { return height_; }
    // 8, 16 or 32 (float) as the values are kept.
    int bitDepth() const { return bitDepth_; }

    OwnedWorld toWorld(PF_PixelFormat format) const;

private:
    std::string path_;
    A_long width_ = 0;
    A_long height_ = 0;
    int bitDepth_ = 8;
    // Red, green, blue, alpha per pixel, rows packed.
    std::vector<unsigned char> rgba8_;
    std::vector<unsigned short> rgba16_;
    std::vector<float> rgbaFloat_;
};

// Reads `path` straight into a buffer of `format`.
OwnedWorld ReadImage(const std::string& path, PF_PixelFormat format);

// Writes `world` to `path` (format by extension). `pngCompression` is the
// zlib level (0 to 9) of a PNG file; -1 leaves the writer's own default
// (zlib's 6 in both builds). PNG is lossless: the level changes the file's size and the time
// it takes, never a pixel. Throws ImageError.
void WriteImage(const OwnedWorld& world, const std::string& path, int pngCompression = -1);

// Checks, before anything is rendered, that WriteImage can write `path`: a
// format this build writes, and a folder that exists and is writable or can
// be made. Throws ImageError naming the path.
void CheckImageOutput(const std::string& path);

// Throws ImageError naming `path` unless width and height lie in
// 1..kMaxImageSide.
void CheckImageSize(const std::string& path, long long width, long long height);

// The checks both image back ends make before opening a file to read:
// throws ImageError naming `path` if it does not exist or is a folder.
void CheckImageInputPath(const std::string& path);

// PNG files: every chunk's data must fit in the file. Both back ends' PNG
// readers take memory for a chunk by its length field before they read it,
// so a damaged length (a chunk claiming gigabytes) would take that much
// memory before the read fails. `readHeader(offset, bytes)` reads the 8
// bytes at `offset` of a file of `fileSize` bytes (false when it cannot).
// Empty when the file is no PNG file or its chunks are sound; otherwise what
// is wrong, for a message.
std::string PngChunkProblem(std::uint64_t fileSize,
                            const std::function<bool(std::uint64_t, unsigned char*)>& readHeader);

// The check both back ends make before writing: throws ImageError naming
// `path` unless the folder it goes into exists.
void CheckImageOutputFolderExists(const std::string& path);

// Names of the generated pictures: "gradient" and "checker".
const std::vector<std::string>& PatternNames();

// A generated picture, defined as 8-bit colour values and converted to
// `format` as an 8-bit file would be. `cell` is the checker's square size in
// pixels (0: an eighth of the shorter side, at least 1). Throws
// std::invalid_argument for an unknown pattern.
OwnedWorld GeneratePattern(const std::string& pattern, A_long width, A_long height, PF_PixelFormat format,
                           A_long cell = 0);

} // namespace harness
