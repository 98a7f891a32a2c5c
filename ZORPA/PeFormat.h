#pragma once

#include <cstddef>
#include <cstdint>

namespace zorpa::pe {

// Offsets and values of the Windows program format (the MZ stub, then the PE headers), as the
// header check and the version reader both read them.
constexpr std::size_t StubSize = 0x40, NewHeaderOffsetAt = 0x3C;
constexpr std::size_t SignatureSize = 4, FileHeaderSize = 20;
constexpr std::size_t MachineAt = 0, SectionCountAt = 2, SymbolsAt = 8, SymbolCountAt = 12;
constexpr std::size_t OptionalSizeAt = 16, FlagsAt = 18;
constexpr std::uint16_t Pe32Magic = 0x10B, Pe32PlusMagic = 0x20B;
// The data directories' count and table, by header kind.
constexpr std::size_t Pe32DirectoriesAt = 92, Pe32PlusDirectoriesAt = 108;
constexpr std::size_t DirectorySize = 8, ResourceDirectory = 2, CertificateDirectory = 4;
constexpr std::size_t SectionHeaderSize = 40, VirtualAddressAt = 12, RawSizeAt = 16,
                      RawOffsetAt = 20;

// A file's bytes, read little-endian. Offsets come from the file itself: kept 64 bits wide so
// that no sum of them wraps.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Holds(std::uint64_t offset, std::uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    // Callers check Holds first.
    std::uint16_t U16(std::uint64_t at) const {
        const auto i = static_cast<std::size_t>(at);
        return static_cast<std::uint16_t>(data_[i] | data_[i + 1] << 8);
    }
    std::uint32_t U32(std::uint64_t at) const {
        return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace zorpa::pe
