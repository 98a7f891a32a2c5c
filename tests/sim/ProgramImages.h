#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sim {

// A program's version resource: its FileVersion (four 16-bit parts, the first the highest)
// and its OriginalFilename (none when empty).
struct VersionSpec {
    std::uint64_t fileVersion = 0;
    std::string originalFilename;
};

// What a test program file is built as; the defaults give a whole x86 Windows GUI program.
struct ImageSpec {
    std::uint16_t machine = 0x14C;
    bool pe32Plus = false;
    bool dll = false;
    std::uint16_t subsystem = 2;
    bool checksum = false;  // store the file's checksum (0: none, as MinGW's linker leaves it)
    std::string payload;    // the program's code, which tells its versions apart
    std::string certificates;  // a signature's table after the sections, in the checksum
    std::string appended;      // bytes added after the linker's output, outside the checksum
    std::optional<VersionSpec> version;  // a resource section that holds it
};

// A program file as a linker lays it out: the MZ stub, the PE headers, a code section that
// holds the payload and a data section (and a resource section with the version resource),
// each padded to 512 bytes and loaded at its own file offset; then its certificate table, as a
// signing tool adds it, and then what was appended.
std::string BuildImage(const ImageSpec& spec);

// The checksum of a program file, written out plainly here as a second opinion.
std::uint32_t ReferenceChecksum(const std::string& file, std::size_t checksumAt);

// Where the fields that the tests change lie in a built image.
namespace ImageLayout {
inline constexpr std::size_t Machine = 0x44;
inline constexpr std::size_t Checksum = 0x58 + 64;
inline constexpr std::size_t HeadersEnd = 0x200;
}  // namespace ImageLayout

}  // namespace sim
