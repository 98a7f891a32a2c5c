#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zorpa {

// What a program's version resource says of it, as Explorer's "Details" tab shows it.
struct ProgramVersion {
    std::uint64_t fileVersion = 0;  // FileVersion: four 16-bit parts, the first the highest
    std::wstring originalFilename;  // empty where the resource names none
};

// The version resource of the program file `image`; nothing when it carries none, or one
// whose parts do not lie inside the file (the file comes from outside: nothing is trusted).
std::optional<ProgramVersion> VersionOf(const std::uint8_t* image, std::size_t size);

// "1.5.0.0"
std::wstring VersionText(std::uint64_t fileVersion);

// Why `copy` may not take the place of `installed`, which a version resource calls another
// program ("is another program: …"); nothing when it may. Only names both files carry count.
std::optional<std::wstring> WhyAnotherProgram(const ProgramVersion& installed,
                                              const ProgramVersion& copy,
                                              const std::wstring& installedName);

// "from 1.4.0.2 to 1.5.0.0", and "(an older version)" after it when it goes back.
std::wstring VersionStep(const ProgramVersion& installed, const ProgramVersion& copy);

}  // namespace zorpa
