// Conversion between twips (1/1440 inch) and device pixels at the display's real DPI.
#pragma once

namespace Twips {

constexpr float kPerInch = 1440.0f;

float FromPixels(int pixels, int dotsPerInch);

// Rounded to the nearest pixel; negative positions stay negative.
int ToPixels(float twips, int dotsPerInch);

} // namespace Twips
