// A minimal PNG writer for 8-bit RGB pictures: one IDAT chunk of stored
// (uncompressed) deflate blocks. Enough to look at a generated picture.
#pragma once

#include <string>
#include <vector>

namespace placeholder {

// Writes `rgb` (width x height pixels, 3 bytes each, rows top to bottom) to
// `path`. Throws std::runtime_error naming the file when it cannot be written.
void writeRgbPng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb);

} // namespace placeholder
