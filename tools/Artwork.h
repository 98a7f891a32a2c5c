// The drawings of the generated files: the lock screen's clip and the two programs' icons.
#pragma once

#include "ByteWriter.h"

namespace assets {

// The lock screen's looping clip: a ball circling inside a frame while a ring of dots
// turns, so that any moment of the loop differs visibly from the next.
Bytes lockClip();

// A padlock; 32x32 and 48x48, 256 colours.
Bytes lockIcon();

// Four program windows under a green check mark; 32x32 and 16x16, 16 colours.
Bytes supervisorIcon();

} // namespace assets
