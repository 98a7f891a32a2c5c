// A reader for the RIFF and icon files the tests inspect, written apart from the tool
// that makes them so a mistake in one is not copied into the other.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace fileformat {

using Bytes = std::vector<std::uint8_t>;

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::uint32_t u32(const Bytes& b, std::size_t at) {
    if (at + 4 > b.size()) throw std::out_of_range("read past the end");
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

inline std::uint16_t u16(const Bytes& b, std::size_t at) {
    if (at + 2 > b.size()) throw std::out_of_range("read past the end");
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

inline std::int32_t i32(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(u32(b, at)); }

inline std::string fourcc(const Bytes& b, std::size_t at) {
    if (at + 4 > b.size()) throw std::out_of_range("read past the end");
    return std::string(b.begin() + at, b.begin() + at + 4);
}

struct Chunk {
    std::string id;
    std::string listType; // for RIFF and LIST chunks
    std::size_t dataOffset; // after the header (and after the list type for lists)
    std::uint32_t size; // as written, including the list type for lists
    std::vector<Chunk> children;
};

// Reads the chunks in [begin, end), descending into RIFF and LIST chunks.
inline std::vector<Chunk> readChunks(const Bytes& b, std::size_t begin, std::size_t end) {
    std::vector<Chunk> chunks;
    std::size_t at = begin;
    while (at + 8 <= end) {
        Chunk chunk{fourcc(b, at), "", at + 8, u32(b, at + 4), {}};
        const std::size_t next = at + 8 + chunk.size + (chunk.size % 2);
        if (at + 8 + chunk.size > end) throw std::runtime_error("chunk " + chunk.id + " overruns its parent");
        if (chunk.id == "RIFF" || chunk.id == "LIST") {
            chunk.listType = fourcc(b, at + 8);
            chunk.dataOffset = at + 12;
            chunk.children = readChunks(b, at + 12, at + 8 + chunk.size);
        }
        chunks.push_back(std::move(chunk));
        at = next;
    }
    if (at != end) throw std::runtime_error("stray bytes after the last chunk");
    return chunks;
}

} // namespace fileformat
