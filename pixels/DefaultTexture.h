// The built-in placeholder texture, used when no texture layer is chosen:
// a dark grey field with a square grid and vertical lettering asking the
// user to select a texture layer.
//
// The picture is drawn at build time by tools/placeholder (linestra-placeholder),
// which also includes this header for the picture's size.
#pragma once

#include <cstddef>

inline constexpr int kDefaultTextureWidth = 300;
inline constexpr int kDefaultTextureHeight = 1200;
inline constexpr std::size_t kDefaultTextureBytesPerPixel = 3;
inline constexpr std::size_t kDefaultTextureRowBytes =
    static_cast<std::size_t>(kDefaultTextureWidth) * kDefaultTextureBytesPerPixel;
inline constexpr std::size_t kDefaultTextureByteCount =
    kDefaultTextureRowBytes * static_cast<std::size_t>(kDefaultTextureHeight);

// Red, green, blue bytes, rows from top to bottom without padding: pixel
// (column, row) starts at byte (row x 300 + column) x 3. The array holds
// kDefaultTextureByteCount picture bytes followed by one zero byte that is
// not part of the picture (the definition is a string literal).
extern const unsigned char default_texture_arr[];
