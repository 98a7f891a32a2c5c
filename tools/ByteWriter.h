// Little-endian byte output for the RIFF and icon formats.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assets {

using Bytes = std::vector<std::uint8_t>;

class ByteWriter {
public:
    void u8(std::uint8_t value) { bytes_.push_back(value); }
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void fourcc(const char (&code)[5]);
    void append(const Bytes& data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }

    std::size_t size() const { return bytes_.size(); }
    // Fills in a 32-bit value written earlier, e.g. a chunk size known only afterwards.
    void patchU32(std::size_t offset, std::uint32_t value);

    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

bool writeFile(const std::string& path, const Bytes& bytes);

} // namespace assets
