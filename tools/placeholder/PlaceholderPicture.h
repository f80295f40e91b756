// Draws the built-in placeholder texture: a dark grey field crossed by a
// square grid, with light grey lettering set vertically along the long side
// that asks the user to select a texture layer.
#pragma once

#include <string_view>
#include <vector>

namespace placeholder {

struct Rgb {
    unsigned char red, green, blue;
};

inline constexpr Rgb kFieldColour{24, 24, 24};
inline constexpr Rgb kGridColour{108, 80, 87};
inline constexpr Rgb kLetterColour{236, 236, 236};

// Grid lines are centred on every multiple of kGridSpacing pixels, in both
// directions, and are kGridLineWidth pixels wide.
inline constexpr int kGridSpacing = 50;
inline constexpr int kGridLineWidth = 7;

inline constexpr std::string_view kMessage = "SELECT A TEXTURE LAYER";

// The picture as RGB bytes, rows from top to bottom, width x height pixels.
// The message reads from top to bottom (the lettering is turned a quarter
// turn clockwise) and is centred in the picture.
std::vector<unsigned char> drawPlaceholderPicture(int width, int height);

} // namespace placeholder
