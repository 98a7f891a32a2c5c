// The clip must satisfy the Windows animation control, which is stricter than Wine's:
// one RLE8 video stream, no audio, not interleaved, no palette changes, and every frame a
// complete RLE8 image that fits the buffer sized from the headers.
#include "RiffReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using fileformat::Chunk;

constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifIsInterleaved = 0x100;

const Chunk* find(const std::vector<Chunk>& chunks, const std::string& id, const std::string& listType = "") {
    for (const Chunk& c : chunks) {
        if (c.id == id && c.listType == listType) return &c;
    }
    return nullptr;
}

std::size_t count(const std::vector<Chunk>& chunks, const std::string& id, const std::string& listType = "") {
    return static_cast<std::size_t>(std::count_if(chunks.begin(), chunks.end(), [&](const Chunk& c) {
        return c.id == id && c.listType == listType;
    }));
}

struct Decoded {
    std::vector<std::uint8_t> pixels; // bottom-up rows
    bool endedWithEndOfBitmap = false;
    std::size_t bytesUsed = 0;
};

// A strict RLE8 decoder: every pixel must be written exactly once.
Decoded decodeRle8(const fileformat::Bytes& b, std::size_t at, std::size_t size, int width, int height) {
    Decoded out;
    out.pixels.assign(static_cast<std::size_t>(width) * height, 0);
    std::vector<int> written(out.pixels.size(), 0);
    int x = 0;
    int y = 0;
    std::size_t i = 0;
    auto put = [&](std::uint8_t colour) {
        if (x >= width || y >= height) throw std::runtime_error("pixel outside the picture");
        const std::size_t index = static_cast<std::size_t>(y) * width + x;
        out.pixels[index] = colour;
        ++written[index];
        ++x;
    };
    while (i + 1 < size) {
        const std::uint8_t first = b[at + i];
        const std::uint8_t second = b[at + i + 1];
        i += 2;
        if (first > 0) {
            for (int n = 0; n < first; ++n) put(second);
        } else if (second == 0) {
            if (x != width) throw std::runtime_error("row ended early");
            x = 0;
            ++y;
        } else if (second == 1) {
            out.endedWithEndOfBitmap = true;
            break;
        } else if (second == 2) {
            throw std::runtime_error("delta codes leave pixels undefined");
        } else {
            for (int n = 0; n < second; ++n) put(b[at + i + n]);
            i += second + (second % 2);
        }
    }
    out.bytesUsed = i;
    if (std::any_of(written.begin(), written.end(), [](int n) { return n != 1; })) {
        throw std::runtime_error("not every pixel written exactly once");
    }
    return out;
}

class ClipStructure : public ::testing::Test {
protected:
    void SetUp() override {
        bytes = fileformat::readFile(ZUROZOZ_CLIP);
        top = fileformat::readChunks(bytes, 0, bytes.size());
        ASSERT_EQ(top.size(), 1u);
        riff = &top.front();
        hdrl = find(riff->children, "LIST", "hdrl");
        movi = find(riff->children, "LIST", "movi");
        ASSERT_NE(hdrl, nullptr);
        ASSERT_NE(movi, nullptr);
        avih = find(hdrl->children, "avih");
        ASSERT_NE(avih, nullptr);
        strl = find(hdrl->children, "LIST", "strl");
        ASSERT_NE(strl, nullptr);
        strh = find(strl->children, "strh");
        strf = find(strl->children, "strf");
        ASSERT_NE(strh, nullptr);
        ASSERT_NE(strf, nullptr);
    }

    std::uint32_t avihField(int index) const { return fileformat::u32(bytes, avih->dataOffset + 4 * index); }
    int width() const { return fileformat::i32(bytes, strf->dataOffset + 4); }
    int height() const { return fileformat::i32(bytes, strf->dataOffset + 8); }

    fileformat::Bytes bytes;
    std::vector<Chunk> top;
    const Chunk* riff = nullptr;
    const Chunk* hdrl = nullptr;
    const Chunk* movi = nullptr;
    const Chunk* avih = nullptr;
    const Chunk* strl = nullptr;
    const Chunk* strh = nullptr;
    const Chunk* strf = nullptr;
};

TEST_F(ClipStructure, IsOneVideoStreamWithoutAudio) {
    EXPECT_EQ(riff->id, "RIFF");
    EXPECT_EQ(riff->listType, "AVI ");
    EXPECT_EQ(count(hdrl->children, "LIST", "strl"), 1u);
    EXPECT_EQ(avihField(6), 1u) << "dwStreams";
    EXPECT_EQ(fileformat::fourcc(bytes, strh->dataOffset), "vids");
    EXPECT_EQ(bytes.end(), std::search(bytes.begin(), bytes.end(), std::begin("auds"), std::end("auds") - 1));
}

TEST_F(ClipStructure, IsRle8WithAFixedPaletteAndNotInterleaved) {
    EXPECT_EQ(fileformat::fourcc(bytes, strh->dataOffset + 4), "mrle");
    EXPECT_EQ(fileformat::u16(bytes, strf->dataOffset + 14), 8) << "biBitCount";
    EXPECT_EQ(fileformat::u32(bytes, strf->dataOffset + 16), kBiRle8) << "biCompression";
    const std::uint32_t colours = fileformat::u32(bytes, strf->dataOffset + 32);
    EXPECT_GE(colours, 1u);
    EXPECT_LE(colours, 256u);
    EXPECT_EQ(strf->size, 40u + 4u * colours) << "header plus palette";
    EXPECT_EQ(avihField(3) & kAvifIsInterleaved, 0u);
    EXPECT_NE(avihField(3) & kAvifHasIndex, 0u);
    EXPECT_EQ(count(movi->children, "LIST", "rec "), 0u);
    for (const Chunk& c : movi->children) EXPECT_EQ(c.id, "00dc") << "only compressed video frames";
    EXPECT_EQ(avihField(8), static_cast<std::uint32_t>(width())) << "dwWidth";
    EXPECT_EQ(avihField(9), static_cast<std::uint32_t>(height())) << "dwHeight";
    EXPECT_EQ(width() % 4, 0) << "rows need no padding";
    EXPECT_GT(height(), 0) << "bottom-up";
}

TEST_F(ClipStructure, FrameCountsAgreeAndLoopLongEnough) {
    const std::uint32_t frames = static_cast<std::uint32_t>(movi->children.size());
    EXPECT_GE(frames, 24u);
    EXPECT_LE(frames, 120u);
    EXPECT_EQ(avihField(4), frames) << "dwTotalFrames";
    EXPECT_EQ(fileformat::u32(bytes, strh->dataOffset + 32), frames) << "strh.dwLength";
    const std::uint32_t rate = fileformat::u32(bytes, strh->dataOffset + 24);
    const std::uint32_t scale = fileformat::u32(bytes, strh->dataOffset + 20);
    ASSERT_GT(scale, 0u);
    EXPECT_EQ(avihField(0), 1000000u * scale / rate) << "dwMicroSecPerFrame";
}

TEST_F(ClipStructure, BuffersHoldTheLargestFrame) {
    std::uint32_t largest = 0;
    for (const Chunk& c : movi->children) largest = std::max(largest, c.size);
    EXPECT_GE(fileformat::u32(bytes, strf->dataOffset + 20), largest) << "biSizeImage";
    EXPECT_GE(fileformat::u32(bytes, strh->dataOffset + 36), largest) << "strh.dwSuggestedBufferSize";
    EXPECT_GE(avihField(7), largest) << "avih.dwSuggestedBufferSize";
}

TEST_F(ClipStructure, EveryFrameIsACompleteImageEndingWithEndOfBitmap) {
    const std::uint32_t colours = fileformat::u32(bytes, strf->dataOffset + 32);
    for (std::size_t n = 0; n < movi->children.size(); ++n) {
        const Chunk& c = movi->children[n];
        ASSERT_GE(c.size, 2u);
        EXPECT_EQ(bytes[c.dataOffset + c.size - 2], 0) << "frame " << n;
        EXPECT_EQ(bytes[c.dataOffset + c.size - 1], 1) << "frame " << n;
        const Decoded frame = decodeRle8(bytes, c.dataOffset, c.size, width(), height());
        EXPECT_TRUE(frame.endedWithEndOfBitmap) << "frame " << n;
        EXPECT_EQ(frame.bytesUsed, c.size) << "frame " << n << " has bytes after its end";
        for (std::uint8_t pixel : frame.pixels) ASSERT_LT(pixel, colours) << "frame " << n;
    }
}

TEST_F(ClipStructure, EveryFrameDiffersFromTheNextAroundTheLoop) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (const Chunk& c : movi->children) {
        frames.push_back(decodeRle8(bytes, c.dataOffset, c.size, width(), height()).pixels);
    }
    ASSERT_FALSE(frames.empty());
    for (std::size_t n = 0; n < frames.size(); ++n) {
        EXPECT_NE(frames[n], frames[(n + 1) % frames.size()]) << "frame " << n << " does not move";
    }
    std::set<std::uint8_t> used(frames.front().begin(), frames.front().end());
    EXPECT_GE(used.size(), 3u) << "a picture, not a blank";
}

TEST_F(ClipStructure, IndexPointsAtEveryFrame) {
    const Chunk* idx1 = find(riff->children, "idx1");
    ASSERT_NE(idx1, nullptr);
    ASSERT_EQ(idx1->size, 16u * movi->children.size());
    const std::size_t moviType = movi->dataOffset - 4;
    for (std::size_t n = 0; n < movi->children.size(); ++n) {
        const std::size_t entry = idx1->dataOffset + 16 * n;
        const Chunk& frame = movi->children[n];
        EXPECT_EQ(fileformat::fourcc(bytes, entry), "00dc");
        EXPECT_EQ(moviType + fileformat::u32(bytes, entry + 8), frame.dataOffset - 8) << "entry " << n;
        EXPECT_EQ(fileformat::u32(bytes, entry + 12), frame.size) << "entry " << n;
    }
}

} // namespace
