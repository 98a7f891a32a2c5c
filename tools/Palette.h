// Colour tables of the generated images.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace assets {

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

using Palette = std::vector<Rgb>;

// The 16 colours of the classic VGA palette, in their usual order.
namespace vga {
enum : std::uint8_t {
    Black, Maroon, Green, Olive, Navy, Purple, Teal, Silver,
    Grey, Red, Lime, Yellow, Blue, Fuchsia, Aqua, White
};
} // namespace vga

Palette vgaPalette();

// The VGA colours followed by black up to 256 entries, for 8-bit images.
Palette vgaPalette256();

} // namespace assets
