// AVI clips the Windows animation control accepts: one RLE8 video stream, no audio,
// not interleaved, one palette for the whole clip, with an index.
#pragma once

#include "ByteWriter.h"
#include "Canvas.h"
#include "Palette.h"

#include <vector>

namespace assets {

struct ClipFormat {
    int framesPerSecond;
    Palette palette; // 256 entries
};

// All frames share one size.
Bytes makeRle8Avi(const std::vector<Canvas>& frames, const ClipFormat& format);

} // namespace assets
