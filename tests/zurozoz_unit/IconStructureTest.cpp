// The icons as the resource compiler and the window manager read them.
#include "RiffReader.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct Image {
    int width;
    int bitsPerPixel;
    int opaquePixels;
    std::set<std::uint8_t> colours;
};

std::size_t rowBytes(int width, int bitsPerPixel) { return ((width * bitsPerPixel + 31) / 32) * 4; }

// Reads every image of an icon file, checking that the directory and the images agree.
std::vector<Image> readIcon(const std::string& path) {
    const auto b = fileformat::readFile(path);
    EXPECT_EQ(fileformat::u16(b, 0), 0);
    EXPECT_EQ(fileformat::u16(b, 2), 1) << "type icon";
    const int count = fileformat::u16(b, 4);
    std::vector<Image> images;
    for (int n = 0; n < count; ++n) {
        const std::size_t entry = 6 + 16 * n;
        const int width = b.at(entry) == 0 ? 256 : b.at(entry);
        const int height = b.at(entry + 1) == 0 ? 256 : b.at(entry + 1);
        const int bpp = fileformat::u16(b, entry + 6);
        const std::uint32_t length = fileformat::u32(b, entry + 8);
        const std::uint32_t offset = fileformat::u32(b, entry + 12);
        EXPECT_EQ(width, height);
        EXPECT_EQ(b.at(entry + 2), bpp == 4 ? 16 : 0) << "colour count";
        EXPECT_LE(offset + length, b.size());

        const std::size_t header = offset;
        EXPECT_EQ(fileformat::u32(b, header), 40u);
        EXPECT_EQ(fileformat::i32(b, header + 4), width);
        EXPECT_EQ(fileformat::i32(b, header + 8), 2 * height) << "colour and mask";
        EXPECT_EQ(fileformat::u16(b, header + 14), bpp);
        EXPECT_EQ(fileformat::u32(b, header + 16), 0u) << "uncompressed";
        const std::size_t paletteEntries = std::size_t{1} << bpp;
        const std::size_t colourRow = rowBytes(width, bpp);
        const std::size_t maskRow = rowBytes(width, 1);
        EXPECT_EQ(length, 40 + 4 * paletteEntries + (colourRow + maskRow) * height);

        Image image{width, bpp, 0, {}};
        const std::size_t colourBits = header + 40 + 4 * paletteEntries;
        const std::size_t maskBits = colourBits + colourRow * height;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool transparent = (b.at(maskBits + y * maskRow + x / 8) & (0x80 >> (x % 8))) != 0;
                if (transparent) continue;
                ++image.opaquePixels;
                const std::uint8_t packed = b.at(colourBits + y * colourRow + x * bpp / 8);
                image.colours.insert(bpp == 8 ? packed : (x % 2 == 0 ? packed >> 4 : packed & 0x0F));
            }
        }
        images.push_back(image);
    }
    return images;
}

void expectDrawing(const Image& image) {
    const int pixels = image.width * image.width;
    EXPECT_GT(image.opaquePixels, pixels / 3) << image.width << "x" << image.width << " is mostly empty";
    EXPECT_LT(image.opaquePixels, pixels) << image.width << "x" << image.width << " has no outline";
    EXPECT_GE(image.colours.size(), 3u) << image.width << "x" << image.width << " is flat";
}

TEST(IconStructure, LockScreenIconHas32And48PixelImagesOf256Colours) {
    const auto images = readIcon(ZUROZOZ_ICON);
    ASSERT_EQ(images.size(), 2u);
    std::set<int> sizes;
    for (const Image& image : images) {
        sizes.insert(image.width);
        EXPECT_EQ(image.bitsPerPixel, 8);
        expectDrawing(image);
    }
    EXPECT_EQ(sizes, (std::set<int>{32, 48}));
}

TEST(IconStructure, SupervisorIconHas32And16PixelImagesOf16Colours) {
    const auto images = readIcon(ZORPA_ICON);
    ASSERT_EQ(images.size(), 2u);
    std::set<int> sizes;
    for (const Image& image : images) {
        sizes.insert(image.width);
        EXPECT_EQ(image.bitsPerPixel, 4);
        expectDrawing(image);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
}

} // namespace
