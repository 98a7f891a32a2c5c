// Icon files (.ico) holding palette images with a transparency mask.
#pragma once

#include "ByteWriter.h"
#include "Canvas.h"
#include "Palette.h"

#include <vector>

namespace assets {

struct IconImage {
    Canvas picture;
    int bitsPerPixel; // 4 or 8
};

// Every image shares the palette; it must hold at most 2^bitsPerPixel colours.
Bytes makeIcon(const std::vector<IconImage>& images, const Palette& palette);

} // namespace assets
