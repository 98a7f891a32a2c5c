#include "IcoWriter.h"

#include <stdexcept>

namespace assets {
namespace {

constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint16_t kIconType = 1;
constexpr std::size_t kDirectoryHeaderSize = 6;
constexpr std::size_t kDirectoryEntrySize = 16;

// DIB rows are padded to whole 32-bit words.
std::size_t rowBytes(int width, int bitsPerPixel) {
    return ((static_cast<std::size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

// One icon image as stored: header (height doubled for colour plus mask), palette,
// colour rows and mask rows, both bottom-up.
Bytes encodeImage(const IconImage& image, const Palette& palette) {
    const Canvas& c = image.picture;
    const int bpp = image.bitsPerPixel;
    if (bpp != 4 && bpp != 8) throw std::invalid_argument("icons are 4- or 8-bit here");
    const std::size_t colours = std::size_t{1} << bpp;
    if (palette.size() > colours) throw std::invalid_argument("palette too large for the depth");

    const std::size_t colourRow = rowBytes(c.width(), bpp);
    const std::size_t maskRow = rowBytes(c.width(), 1);

    ByteWriter out;
    out.u32(kInfoHeaderSize);
    out.i32(c.width());
    out.i32(c.height() * 2);
    out.u16(1);
    out.u16(static_cast<std::uint16_t>(bpp));
    out.u32(0); // BI_RGB
    out.u32(static_cast<std::uint32_t>((colourRow + maskRow) * c.height()));
    out.i32(0);
    out.i32(0);
    out.u32(0);
    out.u32(0);
    for (std::size_t i = 0; i < colours; ++i) {
        const Rgb rgb = i < palette.size() ? palette[i] : Rgb{0, 0, 0};
        out.u8(rgb.blue);
        out.u8(rgb.green);
        out.u8(rgb.red);
        out.u8(0);
    }
    for (int y = c.height() - 1; y >= 0; --y) {
        Bytes row(colourRow, 0);
        for (int x = 0; x < c.width(); ++x) {
            const std::uint8_t value = c.opaque(x, y) ? c.at(x, y) : 0;
            if (bpp == 8) {
                row[x] = value;
            } else {
                row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? value << 4 : value);
            }
        }
        out.append(row);
    }
    for (int y = c.height() - 1; y >= 0; --y) {
        Bytes row(maskRow, 0);
        for (int x = 0; x < c.width(); ++x) {
            if (!c.opaque(x, y)) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
        out.append(row);
    }
    return out.bytes();
}

} // namespace

Bytes makeIcon(const std::vector<IconImage>& images, const Palette& palette) {
    std::vector<Bytes> encoded;
    for (const IconImage& image : images) encoded.push_back(encodeImage(image, palette));

    ByteWriter out;
    out.u16(0);
    out.u16(kIconType);
    out.u16(static_cast<std::uint16_t>(images.size()));
    std::size_t offset = kDirectoryHeaderSize + kDirectoryEntrySize * images.size();
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Canvas& c = images[i].picture;
        out.u8(static_cast<std::uint8_t>(c.width()));
        out.u8(static_cast<std::uint8_t>(c.height()));
        // The colour count is written only for images of fewer than 256 colours.
        out.u8(images[i].bitsPerPixel == 4 ? 16 : 0);
        out.u8(0);
        out.u16(1);
        out.u16(static_cast<std::uint16_t>(images[i].bitsPerPixel));
        out.u32(static_cast<std::uint32_t>(encoded[i].size()));
        out.u32(static_cast<std::uint32_t>(offset));
        offset += encoded[i].size();
    }
    for (const Bytes& image : encoded) out.append(image);
    return out.bytes();
}

} // namespace assets
