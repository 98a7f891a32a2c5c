#include "Canvas.h"

#include <algorithm>
#include <cmath>

namespace assets {

Canvas::Canvas(int width, int height, std::uint8_t background)
    : width_(width), height_(height),
      pixels_(static_cast<std::size_t>(width) * height, background),
      opaque_(static_cast<std::size_t>(width) * height, 1) {}

void Canvas::clearTransparent() {
    std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{0});
    std::fill(opaque_.begin(), opaque_.end(), std::uint8_t{0});
}

// A pixel belongs to a shape when its centre lies inside it.
template <typename Inside>
void Canvas::fill(Inside inside, std::uint8_t colour) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const double u = (x + 0.5) / width_;
            const double v = (y + 0.5) / height_;
            if (inside(u, v)) {
                pixels_[index(x, y)] = colour;
                opaque_[index(x, y)] = 1;
            }
        }
    }
}

void Canvas::fillRect(double left, double top, double right, double bottom, std::uint8_t colour) {
    fill([=](double u, double v) { return u >= left && u < right && v >= top && v < bottom; },
         colour);
}

void Canvas::fillEllipse(double cx, double cy, double rx, double ry, std::uint8_t colour) {
    fill([=](double u, double v) {
        const double dx = (u - cx) / rx;
        const double dy = (v - cy) / ry;
        return dx * dx + dy * dy <= 1.0;
    }, colour);
}

void Canvas::fillRing(double cx, double cy, double outer, double inner, std::uint8_t colour) {
    fill([=](double u, double v) {
        const double d = std::hypot(u - cx, v - cy);
        return d <= outer && d >= inner;
    }, colour);
}

void Canvas::drawLine(double x0, double y0, double x1, double y1, double thickness,
                      std::uint8_t colour) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double lengthSquared = dx * dx + dy * dy;
    fill([=](double u, double v) {
        double t = lengthSquared > 0 ? ((u - x0) * dx + (v - y0) * dy) / lengthSquared : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        return std::hypot(u - (x0 + t * dx), v - (y0 + t * dy)) <= thickness / 2;
    }, colour);
}

} // namespace assets
