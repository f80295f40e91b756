#include "PlaceholderPicture.h"

#include <algorithm>
#include <cstddef>

#include "BitmapFont.h"

namespace placeholder {
namespace {

// Pixels per glyph grid cell, and the margin of field colour kept around
// every inked cell so that grid lines do not run into the letters.
constexpr int kLetterScale = 8;
constexpr int kLetterClearance = 4;

bool onGridLine(int coordinate)
{
    const int offset = coordinate % kGridSpacing; // coordinates are never negative
    const int half = kGridLineWidth / 2;
    return offset <= half || offset >= kGridSpacing - half;
}

} // namespace

std::vector<unsigned char> drawPlaceholderPicture(int width, int height)
{
    const auto pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<Rgb> picture(pixelCount, kFieldColour);
    auto at = [&](int x, int y) -> Rgb& {
        return picture[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    };

    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (onGridLine(x) || onGridLine(y))
                at(x, y) = kGridColour;

    // The message runs down the picture: the text's reading direction is +y
    // and the top of every glyph faces +x.
    const int textLength = static_cast<int>(kMessage.size()) * kGlyphAdvance - 1; // in glyph cells
    const int textTop = (height - textLength * kLetterScale) / 2;
    const int textLeft = (width - kGlyphRows * kLetterScale) / 2;
    auto cellInk = [&](int along, int across) { // along: cell index down the text; across: glyph row
        if (along < 0 || along >= textLength)
            return false;
        const char c = kMessage[static_cast<std::size_t>(along / kGlyphAdvance)];
        return glyphInk(c, along % kGlyphAdvance, across);
    };
    // A pixel of the text block belongs to cell (along, across) where the
    // glyph's top row (across 0) lies at the block's right edge.
    auto inkAt = [&](int x, int y) {
        const int dy = y - textTop;
        const int dx = x - textLeft;
        if (dx < 0 || dy < 0)
            return false;
        return cellInk(dy / kLetterScale, kGlyphRows - 1 - dx / kLetterScale);
    };

    // Clear the field around the letters first, then set the letters.
    const int x0 = std::max(0, textLeft - kLetterClearance);
    const int x1 = std::min(width, textLeft + kGlyphRows * kLetterScale + kLetterClearance);
    const int y0 = std::max(0, textTop - kLetterClearance);
    const int y1 = std::min(height, textTop + textLength * kLetterScale + kLetterClearance);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            bool near = false;
            for (int oy = -kLetterClearance; oy <= kLetterClearance && !near; ++oy)
                for (int ox = -kLetterClearance; ox <= kLetterClearance && !near; ++ox)
                    near = inkAt(x + ox, y + oy);
            if (near)
                at(x, y) = inkAt(x, y) ? kLetterColour : kFieldColour;
        }

    std::vector<unsigned char> bytes;
    bytes.reserve(pixelCount * 3);
    for (const Rgb& p : picture)
        bytes.insert(bytes.end(), {p.red, p.green, p.blue});
    return bytes;
}

} // namespace placeholder
