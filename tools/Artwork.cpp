#include "Artwork.h"

#include "AviWriter.h"
#include "IcoWriter.h"
#include "Palette.h"

#include <cmath>

namespace assets {
namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr int kClipWidth = 192;
constexpr int kClipHeight = 144;
constexpr int kClipFrames = 36;
constexpr int kClipFramesPerSecond = 12;
constexpr int kRingDots = 12;

// Circles on a canvas that is wider than high are squeezed horizontally in unit space.
constexpr double kClipAspect = static_cast<double>(kClipHeight) / kClipWidth;

Canvas clipFrame(int frame) {
    using namespace vga;
    Canvas c(kClipWidth, kClipHeight, Black);
    // A steady frame round the whole picture: it shows where the clip stands.
    c.fillRect(0.0, 0.0, 1.0, 1.0, Teal);
    c.fillRect(0.03, 0.04, 0.97, 0.96, Black);

    const double turn = 2 * kPi * frame / kClipFrames;
    for (int dot = 0; dot < kRingDots; ++dot) {
        const double angle = 2 * kPi * dot / kRingDots;
        const double cx = 0.5 + 0.2 * kClipAspect * std::cos(angle);
        const double cy = 0.5 + 0.2 * std::sin(angle);
        const int lit = (frame * kRingDots / kClipFrames) % kRingDots;
        const std::uint8_t colour = dot == lit ? White : (dot + 1) % kRingDots == lit ? Silver : Grey;
        c.fillEllipse(cx, cy, 0.035 * kClipAspect, 0.035, colour);
    }
    const double ballX = 0.5 + 0.36 * kClipAspect * std::cos(turn) * 1.5;
    const double ballY = 0.5 + 0.36 * std::sin(turn);
    c.fillEllipse(ballX, ballY, 0.07 * kClipAspect, 0.07, Yellow);
    return c;
}

Canvas padlock(int size) {
    using namespace vga;
    Canvas c(size, size, Black);
    c.clearTransparent();
    c.fillRing(0.5, 0.42, 0.30, 0.19, Grey);
    c.fillRing(0.5, 0.42, 0.27, 0.22, Silver);
    c.fillRect(0.14, 0.42, 0.86, 0.95, Olive);
    c.fillRect(0.18, 0.46, 0.82, 0.91, Yellow);
    c.fillEllipse(0.5, 0.62, 0.08, 0.08, Black);
    c.fillRect(0.46, 0.62, 0.54, 0.82, Black);
    return c;
}

Canvas watchedPrograms(int size) {
    using namespace vga;
    Canvas c(size, size, Black);
    c.clearTransparent();
    const double cells[][2] = {{0.0, 0.0}, {0.56, 0.0}, {0.0, 0.56}, {0.56, 0.56}};
    for (const auto& cell : cells) {
        const double x = cell[0];
        const double y = cell[1];
        c.fillRect(x, y, x + 0.44, y + 0.44, Navy);
        c.fillRect(x + 0.06, y + 0.16, x + 0.38, y + 0.38, White);
    }
    c.drawLine(0.30, 0.60, 0.48, 0.80, 0.16, Green);
    c.drawLine(0.48, 0.80, 0.86, 0.30, 0.16, Green);
    c.drawLine(0.30, 0.60, 0.48, 0.80, 0.08, Lime);
    c.drawLine(0.48, 0.80, 0.86, 0.30, 0.08, Lime);
    return c;
}

} // namespace

Bytes lockClip() {
    std::vector<Canvas> frames;
    for (int frame = 0; frame < kClipFrames; ++frame) frames.push_back(clipFrame(frame));
    return makeRle8Avi(frames, ClipFormat{kClipFramesPerSecond, vgaPalette256()});
}

Bytes lockIcon() {
    return makeIcon({IconImage{padlock(32), 8}, IconImage{padlock(48), 8}}, vgaPalette256());
}

Bytes supervisorIcon() {
    return makeIcon({IconImage{watchedPrograms(32), 4}, IconImage{watchedPrograms(16), 4}},
                    vgaPalette());
}

} // namespace assets
