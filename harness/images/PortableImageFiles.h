// Image files read and written without an imaging library, for builds of
// the stand-in host where none is available (the Windows cross build).
//
// Read: Netpbm PAM (P7: GRAYSCALE, GRAYSCALE_ALPHA, RGB, RGB_ALPHA), binary
// PGM and PPM (P5, P6), each with maximum value 255 (8 bits) or 65535
// (16 bits), and PFM (PF colour, Pf grey; 32-bit floats, either byte order,
// rows stored bottom to top).
// Written: PAM (RGB_ALPHA, 8 or 16 bits), PFM (colour, little-endian, no
// alpha), PNG (RGBA, 8 or 16 bits, stored without compression) and OpenEXR
// (RGBA, 32-bit float, single part, scan lines without compression).
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

enum class FileFormat { Pam, Pgm, Ppm, Pfm, Png, Exr, Unknown };

// By the path's extension, without regard to case.
FileFormat FormatOfPath(const std::string& path);

// Reads a PAM, PGM, PPM or PFM file, chosen by its first bytes. Throws
// FileError naming the path and what is wrong.
Samples ReadSamples(const std::string& path);

// Bytes of a file holding `samples`. PAM and PNG take 8 or 16-bit samples,
// PFM and OpenEXR float samples; PFM takes grey or RGB, the others RGB or
// RGBA. Throws std::invalid_argument for a combination the format cannot
// hold. A PNG's `compression` is the zlib level 0 to 9 (or -1, stored):
// levels above 0 need zlib (LINESTRA_HAVE_ZLIB); without it the data is
// stored uncompressed whatever the level.
std::vector<std::uint8_t> EncodePam(const Samples& samples);
std::vector<std::uint8_t> EncodePfm(const Samples& samples);
std::vector<std::uint8_t> EncodePng(const Samples& samples, int compression = -1);
std::vector<std::uint8_t> EncodeExr(const Samples& samples);

} // namespace harness::portable
