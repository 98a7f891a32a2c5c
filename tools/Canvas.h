// An indexed-colour picture drawn from simple shapes given in unit coordinates
// (0..1 across the picture), so one drawing serves every size an image is made at.
#pragma once

#include <cstdint>
#include <vector>

namespace assets {

class Canvas {
public:
    Canvas(int width, int height, std::uint8_t background);

    int width() const { return width_; }
    int height() const { return height_; }

    // Row 0 is the top row.
    std::uint8_t at(int x, int y) const { return pixels_[index(x, y)]; }
    bool opaque(int x, int y) const { return opaque_[index(x, y)] != 0; }

    // Every pixel starts opaque; icons cut their outline out of a transparent canvas.
    void clearTransparent();

    void fillRect(double left, double top, double right, double bottom, std::uint8_t colour);
    void fillEllipse(double cx, double cy, double rx, double ry, std::uint8_t colour);
    void fillRing(double cx, double cy, double outer, double inner, std::uint8_t colour);
    // A stroke of the given thickness with round ends.
    void drawLine(double x0, double y0, double x1, double y1, double thickness, std::uint8_t colour);

private:
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * width_ + x; }
    template <typename Inside>
    void fill(Inside inside, std::uint8_t colour);

    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
    std::vector<std::uint8_t> opaque_;
};

} // namespace assets
