#include "AviWriter.h"

#include "Rle8.h"

#include <algorithm>
#include <stdexcept>

namespace assets {
namespace {

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAviifKeyframe = 0x10;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kMainHeaderSize = 56;
constexpr std::uint32_t kStreamHeaderSize = 56;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMicrosecondsPerSecond = 1000000;
constexpr std::uint32_t kDefaultQuality = 0xFFFFFFFF;

// Opens a chunk or list; close() fills in its size and pads it to an even length.
class Chunk {
public:
    Chunk(ByteWriter& out, const char (&id)[5]) : out_(out) {
        out_.fourcc(id);
        sizeOffset_ = out_.size();
        out_.u32(0);
    }
    Chunk(ByteWriter& out, const char (&id)[5], const char (&type)[5]) : Chunk(out, id) {
        out_.fourcc(type);
    }
    void close() {
        const std::size_t size = out_.size() - sizeOffset_ - 4;
        out_.patchU32(sizeOffset_, static_cast<std::uint32_t>(size));
        if (size % 2 != 0) out_.u8(0);
    }

private:
    ByteWriter& out_;
    std::size_t sizeOffset_;
};

struct IndexEntry {
    std::uint32_t offset; // from the 'movi' list type, as the index counts
    std::uint32_t length;
};

void writeMainHeader(ByteWriter& out, std::uint32_t frameCount, std::uint32_t largestFrame,
                     int width, int height, int fps) {
    Chunk avih(out, "avih");
    out.u32(kMicrosecondsPerSecond / static_cast<std::uint32_t>(fps));
    out.u32(largestFrame * static_cast<std::uint32_t>(fps));
    out.u32(0);
    out.u32(kAvifHasIndex);
    out.u32(frameCount);
    out.u32(0);
    out.u32(1); // streams
    out.u32(largestFrame);
    out.i32(width);
    out.i32(height);
    for (int i = 0; i < 4; ++i) out.u32(0);
    avih.close();
}

void writeStreamList(ByteWriter& out, std::uint32_t frameCount, std::uint32_t largestFrame,
                     int width, int height, const ClipFormat& format) {
    Chunk strl(out, "LIST", "strl");

    Chunk strh(out, "strh");
    out.fourcc("vids");
    out.fourcc("mrle");
    out.u32(0);
    out.u16(0);
    out.u16(0);
    out.u32(0);
    out.u32(1); // scale
    out.u32(static_cast<std::uint32_t>(format.framesPerSecond));
    out.u32(0);
    out.u32(frameCount);
    out.u32(largestFrame);
    out.u32(kDefaultQuality);
    out.u32(0);
    out.u16(0);
    out.u16(0);
    out.u16(static_cast<std::uint16_t>(width));
    out.u16(static_cast<std::uint16_t>(height));
    strh.close();

    Chunk strf(out, "strf");
    out.u32(kInfoHeaderSize);
    out.i32(width);
    out.i32(height);
    out.u16(1);
    out.u16(8);
    out.u32(kBiRle8);
    // Decoders size their input buffer from this: it must hold the largest frame.
    out.u32(largestFrame);
    out.i32(0);
    out.i32(0);
    out.u32(static_cast<std::uint32_t>(format.palette.size()));
    out.u32(0);
    for (const Rgb& rgb : format.palette) {
        out.u8(rgb.blue);
        out.u8(rgb.green);
        out.u8(rgb.red);
        out.u8(0);
    }
    strf.close();

    strl.close();
}

} // namespace

Bytes makeRle8Avi(const std::vector<Canvas>& frames, const ClipFormat& format) {
    if (frames.empty()) throw std::invalid_argument("a clip needs frames");
    if (format.palette.size() != 256) throw std::invalid_argument("RLE8 clips carry 256 colours");
    const int width = frames.front().width();
    const int height = frames.front().height();

    std::vector<Bytes> encoded;
    std::uint32_t largest = 0;
    for (const Canvas& frame : frames) {
        if (frame.width() != width || frame.height() != height) {
            throw std::invalid_argument("all frames must have one size");
        }
        encoded.push_back(encodeRle8(frame));
        largest = std::max(largest, static_cast<std::uint32_t>(encoded.back().size()));
    }
    // Even, since chunks are padded to even lengths when read back.
    largest += largest % 2;
    const auto frameCount = static_cast<std::uint32_t>(frames.size());

    ByteWriter out;
    Chunk riff(out, "RIFF", "AVI ");

    Chunk hdrl(out, "LIST", "hdrl");
    writeMainHeader(out, frameCount, largest, width, height, format.framesPerSecond);
    writeStreamList(out, frameCount, largest, width, height, format);
    hdrl.close();

    Chunk movi(out, "LIST", "movi");
    const std::size_t moviType = out.size() - 4;
    std::vector<IndexEntry> index;
    for (const Bytes& frame : encoded) {
        index.push_back({static_cast<std::uint32_t>(out.size() - moviType),
                         static_cast<std::uint32_t>(frame.size())});
        Chunk data(out, "00dc");
        out.append(frame);
        data.close();
    }
    movi.close();

    Chunk idx1(out, "idx1");
    for (const IndexEntry& entry : index) {
        out.fourcc("00dc");
        out.u32(kAviifKeyframe);
        out.u32(entry.offset);
        out.u32(entry.length);
    }
    idx1.close();

    riff.close();
    return out.bytes();
}

} // namespace assets
