#include "Rle8.h"

namespace assets {
namespace {

constexpr std::uint8_t kEscape = 0;
constexpr std::uint8_t kEndOfLine = 0;
constexpr std::uint8_t kEndOfBitmap = 1;
constexpr int kLongestRun = 255;

} // namespace

// Only encoded runs are used: the pictures are flat colour areas, so literal
// (absolute-mode) stretches would save next to nothing.
Bytes encodeRle8(const Canvas& picture) {
    ByteWriter out;
    for (int y = picture.height() - 1; y >= 0; --y) {
        int x = 0;
        while (x < picture.width()) {
            const std::uint8_t colour = picture.at(x, y);
            int run = 1;
            while (x + run < picture.width() && run < kLongestRun && picture.at(x + run, y) == colour) {
                ++run;
            }
            out.u8(static_cast<std::uint8_t>(run));
            out.u8(colour);
            x += run;
        }
        out.u8(kEscape);
        out.u8(y == 0 ? kEndOfBitmap : kEndOfLine);
    }
    return out.bytes();
}

} // namespace assets
