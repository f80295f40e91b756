#include <gtest/gtest.h>

#include <cstddef>

#include "pixels/DefaultTexture.h"

namespace {

struct Rgb {
    int red, green, blue;
    bool operator==(const Rgb&) const = default;
};

const Rgb kField{24, 24, 24};
const Rgb kGrid{108, 80, 87};
const Rgb kLetters{236, 236, 236};

Rgb pixel(int x, int y)
{
    const unsigned char* p = default_texture_arr + (static_cast<std::size_t>(y) * kDefaultTextureWidth + x) * 3;
    return Rgb{p[0], p[1], p[2]};
}

} // namespace

TEST(DefaultTexture, OnlyFieldGridAndLetterColours)
{
    int letterPixels = 0;
    int letterTop = kDefaultTextureHeight, letterBottom = 0, letterLeft = kDefaultTextureWidth, letterRight = 0;
    for (int y = 0; y < kDefaultTextureHeight; ++y)
        for (int x = 0; x < kDefaultTextureWidth; ++x) {
            const Rgb p = pixel(x, y);
            ASSERT_TRUE(p == kField || p == kGrid || p == kLetters) << x << ", " << y;
            if (p == kLetters) {
                ++letterPixels;
                letterTop = std::min(letterTop, y);
                letterBottom = std::max(letterBottom, y);
                letterLeft = std::min(letterLeft, x);
                letterRight = std::max(letterRight, x);
            }
        }
    // The lettering runs along the long side, well inside the picture.
    EXPECT_GT(letterPixels, 10000);
    EXPECT_GT(letterBottom - letterTop, 2 * kDefaultTextureHeight / 3);
    EXPECT_LT(letterRight - letterLeft, kDefaultTextureWidth / 3);
    EXPECT_GT(letterTop, 0);
    EXPECT_LT(letterBottom, kDefaultTextureHeight - 1);
}

TEST(DefaultTexture, GridLinesAreSevenPixelsWideOnMultiplesOfFifty)
{
    // Along the top rows (grid, no lettering) and down the left columns.
    const int y = 25; // between two horizontal lines
    for (int x = 0; x < kDefaultTextureWidth; ++x) {
        const int offset = x % 50;
        const bool onLine = offset <= 3 || offset >= 47;
        EXPECT_EQ(pixel(x, y), onLine ? kGrid : kField) << "column " << x;
    }
    const int x = 25;
    for (int yy = 0; yy < kDefaultTextureHeight; ++yy) {
        const int offset = yy % 50;
        const bool onLine = offset <= 3 || offset >= 47;
        EXPECT_EQ(pixel(x, yy), onLine ? kGrid : kField) << "row " << yy;
    }
    EXPECT_EQ(default_texture_arr[kDefaultTextureByteCount], 0); // the literal's terminator
}
