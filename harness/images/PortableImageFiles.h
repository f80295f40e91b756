// Image files read and written without an imaging library, for builds of
// the stand-in host where none is available (the Windows cross build), with
// the header-only codecs stb_image and tinyexr (cmake/ImageCodecs.cmake) and
// the harness's own code where those have nothing.
//
// Read, by the file's first bytes:
// - PNG (8 and 16 bits, palette and grey expanded), JPEG, BMP, GIF (first
//   frame), TGA, PSD, Radiance HDR and Softimage PIC through stb_image;
// - OpenEXR (single part, scan lines or tiles; R, G, B or Y, and A; half and
//   float) through tinyexr;
// - Netpbm PAM (P7: GRAYSCALE, GRAYSCALE_ALPHA, RGB, RGB_ALPHA), binary PGM
//   and PPM (P5, P6), each with maximum value 255 (8 bits) or 65535
//   (16 bits), and PFM (PF colour, Pf grey; 32-bit floats, either byte
//   order, rows stored bottom to top), by the harness's own reader.
// Written: PNG (RGB or RGBA, 8 or 16 bits, zlib-compressed; the harness's
// own writer, as stb_image_write has no 16-bit PNG), OpenEXR (RGB or RGBA,
// 32-bit float, zip-compressed scan lines, tinyexr), PAM (RGB_ALPHA, 8 or 16
// bits) and PFM (colour, little-endian, no alpha).
//
// Every size a header declares is checked against kMaxImageSide, and against
// what the file's bytes can hold, before pixel memory is taken.
//
// Samples are kept as the file holds them: 8-bit and 16-bit values as they
// are, floats as they are; channel order is the file's (grey, grey + alpha,
// RGB or RGB + alpha), rows top to bottom.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace harness::portable {

// A file that cannot be read or written; the message names the path.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Samples {
    int width = 0;
    int height = 0;
    int channels = 0;  // 1 grey, 2 grey + alpha, 3 RGB, 4 RGB + alpha
    int bitDepth = 8;  // 8, 16 or 32 (float)
    std::vector<std::uint8_t> values8;
    std::vector<std::uint16_t> values16;
    std::vector<float> valuesFloat;
};

// The formats ReadSamples reads, for messages.
constexpr const char* kReadFormats = "PNG, JPEG, OpenEXR, PAM, PGM, PPM, PFM, BMP, GIF, TGA, PSD, HDR and PIC";

enum class FileFormat { Pam, Pgm, Ppm, Pfm, Png, Exr, Unknown };

// By the path's extension, without regard to case.
FileFormat FormatOfPath(const std::string& path);

// Reads an image file of one of kReadFormats, chosen by its first bytes.
// Throws FileError naming the path and what is wrong.
Samples ReadSamples(const std::string& path);

// Bytes of a file holding `samples`. PAM and PNG take 8 or 16-bit samples,
// PFM and OpenEXR float samples; PFM takes grey or RGB, the others RGB or
// RGBA. Throws std::invalid_argument for a combination the format cannot
// hold. A PNG's `compression` is the zlib level 0 (stored) to 9, or -1 for
// zlib's default (6).
std::vector<std::uint8_t> EncodePam(const Samples& samples);
std::vector<std::uint8_t> EncodePfm(const Samples& samples);
std::vector<std::uint8_t> EncodePng(const Samples& samples, int compression = -1);
std::vector<std::uint8_t> EncodeExr(const Samples& samples);

} // namespace harness::portable
