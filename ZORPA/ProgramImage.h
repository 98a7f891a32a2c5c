#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zorpa {

// Why the bytes of a new version are not a whole Windows program that this Windows can run,
// in plain words for the record; empty when they are. A file cut short, built for another
// processor, a DLL, or damaged on the way must never take a worker's place. `windows64`: this
// Windows runs x64 programs as well as x86 ones.
std::optional<std::wstring> WhyNotRunnable(const std::uint8_t* image, std::size_t size,
                                            bool windows64);

// The checksum Windows' image help computes over a program file, with its own CheckSum field
// (at `checksumOffset`) counted as zero.
std::uint32_t ImageChecksum(const std::uint8_t* image, std::size_t size,
                            std::size_t checksumOffset);

}  // namespace zorpa
