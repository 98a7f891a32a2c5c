#include "Twips.h"

#include <cmath>

namespace Twips {

float FromPixels(int pixels, int dotsPerInch) {
    return static_cast<float>(pixels) * kPerInch / static_cast<float>(dotsPerInch);
}

int ToPixels(float twips, int dotsPerInch) {
    return static_cast<int>(std::lround(twips * static_cast<float>(dotsPerInch) / kPerInch));
}

} // namespace Twips
