// Text of the trace and of messages.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace harness {

// The pieces joined, in one allocation. Texts are built with it rather than
// with a chain that starts with a literal and a temporary string
// ("(" + std::to_string(x)), which GCC 12 at -O3 reports as an overlapping
// copy that is not.
inline std::string Concat(std::initializer_list<std::string_view> pieces)
{
    std::size_t size = 0;
    for (const std::string_view piece : pieces)
        size += piece.size();
    std::string text;
    text.reserve(size);
    for (const std::string_view piece : pieces)
        text.append(piece);
    return text;
}

// "(left, top, right, bottom)" of a rectangle.
template <typename Rect>
std::string RectText(const Rect& r)
{
    return Concat({"(", std::to_string(r.left), ", ", std::to_string(r.top), ", ", std::to_string(r.right), ", ",
                   std::to_string(r.bottom), ")"});
}

} // namespace harness
