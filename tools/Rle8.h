// Run-length encoding of 8-bit bottom-up DIB pictures (BI_RLE8).
#pragma once

#include "ByteWriter.h"
#include "Canvas.h"

namespace assets {

// A complete image: every row from the bottom up, rows separated by end-of-line codes,
// closed by the end-of-bitmap code 00 01, so each frame decodes on its own.
Bytes encodeRle8(const Canvas& picture);

} // namespace assets
