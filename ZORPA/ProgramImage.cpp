#include "ProgramImage.h"

#include <algorithm>

#include "DecimalText.h"
#include "PeFormat.h"

namespace zorpa {

namespace {

using namespace pe;

constexpr std::size_t SymbolSize = 18, StringTableSizeField = 4;
constexpr std::size_t HeadersSizeAt = 60, ChecksumAt = 64, SubsystemAt = 68;
constexpr std::uint16_t MachineX86 = 0x14C, MachineX64 = 0x8664;
constexpr std::uint16_t Pe32OptionalSize = 96, Pe32PlusOptionalSize = 112;
constexpr std::uint16_t ExecutableImageFlag = 0x0002, DllFlag = 0x2000;
constexpr std::uint16_t SubsystemGui = 2, SubsystemConsole = 3;

std::wstring ProcessorName(std::uint16_t machine) {
    switch (machine) {
    case MachineX86: return L"x86";
    case MachineX64: return L"x64";
    case 0xAA64: return L"ARM64";
    case 0x200: return L"Itanium";
    default: return L"machine " + HexText(machine);
    }
}

std::wstring CutShort(std::uint64_t has, std::uint64_t needs, const wchar_t* what) {
    return L"cut short: the file has " + DecimalText(has) + L" bytes and its " + what +
           L" need " + DecimalText(needs);
}

}  // namespace

std::optional<std::wstring> WhyNotRunnable(const std::uint8_t* image, std::size_t size,
                                            bool windows64) {
    const Bytes file(image, size);
    if (size == 0) return L"the file is empty";
    if (!file.Holds(0, StubSize) || file.U16(0) != 0x5A4D)
        return L"not a Windows program: it does not begin with an MZ header";
    const std::uint64_t pe = file.U32(NewHeaderOffsetAt);
    const std::uint64_t optional = pe + SignatureSize + FileHeaderSize;
    if (!file.Holds(pe, SignatureSize + FileHeaderSize))
        return CutShort(size, optional, L"headers");
    if (file.U32(pe) != 0x00004550)
        return L"not a Windows program: no PE signature at byte " + DecimalText(pe);

    const std::uint64_t header = pe + SignatureSize;
    const std::uint16_t machine = file.U16(header + MachineAt);
    if (machine != MachineX86 && !(machine == MachineX64 && windows64))
        return L"built for another processor (" + ProcessorName(machine) +
               L"): this Windows runs " + (windows64 ? L"x86 and x64" : L"only x86") + L" programs";
    const std::uint16_t flags = file.U16(header + FlagsAt);
    if ((flags & DllFlag) != 0) return std::wstring(L"a DLL, not a program");
    if ((flags & ExecutableImageFlag) == 0)
        return std::wstring(L"not marked as a program that can run (its build failed)");

    const std::uint16_t optionalSize = file.U16(header + OptionalSizeAt);
    const bool x64 = machine == MachineX64;
    if (optionalSize < (x64 ? Pe32PlusOptionalSize : Pe32OptionalSize))
        return L"damaged: its optional header has only " + DecimalText(optionalSize) +
               L" bytes";
    const std::uint64_t sections = optional + optionalSize;
    const std::uint64_t sectionCount = file.U16(header + SectionCountAt);
    const std::uint64_t headersEnd = sections + sectionCount * SectionHeaderSize;
    if (!file.Holds(0, headersEnd)) return CutShort(size, headersEnd, L"headers");
    if (file.U16(optional) != (x64 ? Pe32PlusMagic : Pe32Magic))
        return L"damaged: its optional header does not match its processor (" +
               ProcessorName(machine) + L")";
    const std::uint16_t subsystem = file.U16(optional + SubsystemAt);
    if (subsystem != SubsystemGui && subsystem != SubsystemConsole)
        return L"not a Windows GUI or console program (subsystem " +
               DecimalText(subsystem) + L")";

    std::uint64_t needed = std::max<std::uint64_t>(headersEnd, file.U32(optional + HeadersSizeAt));
    for (std::uint64_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t section = sections + i * SectionHeaderSize;
        const std::uint64_t rawSize = file.U32(section + RawSizeAt);
        if (rawSize != 0) needed = std::max(needed, file.U32(section + RawOffsetAt) + rawSize);
    }
    if (needed > size) return CutShort(size, needed, L"sections");
    // Symbols a linker left in the file lie after the sections: a copy cut there runs, but is
    // still not the file the server holds.
    if (const std::uint64_t symbols = file.U32(header + SymbolsAt)) {
        const std::uint64_t strings =
            symbols + std::uint64_t{file.U32(header + SymbolCountAt)} * SymbolSize;
        if (!file.Holds(strings, StringTableSizeField))
            return CutShort(size, strings + StringTableSizeField, L"symbols");
        const std::uint64_t symbolsEnd =
            strings + std::max<std::uint64_t>(file.U32(strings), StringTableSizeField);
        if (symbolsEnd > size) return CutShort(size, symbolsEnd, L"symbols");
        needed = std::max(needed, symbolsEnd);
    }
    // A signature lies after all of that.
    const std::uint64_t directories =
        optional + (x64 ? Pe32PlusDirectoriesAt : Pe32DirectoriesAt);
    const std::uint64_t certificate = directories + 4 + CertificateDirectory * DirectorySize;
    if (file.U32(directories) > CertificateDirectory &&
        certificate + DirectorySize <= optional + optionalSize) {
        if (const std::uint64_t certificatesAt = file.U32(certificate)) {
            const std::uint64_t certificatesEnd = certificatesAt + file.U32(certificate + 4);
            if (certificatesEnd > size) return CutShort(size, certificatesEnd, L"certificates");
            needed = std::max(needed, certificatesEnd);
        }
    }

    // The linker computes the checksum over the file it writes, and Windows never checks it
    // for a program it starts: bytes appended later (a version stamp, a self-extractor's
    // archive) leave it stale, and the program still runs. So it counts when it matches the
    // whole file or the file up to the end of what the linker wrote.
    const std::uint32_t stored = file.U32(optional + ChecksumAt);
    if (stored != 0) {
        const auto checksumAt = static_cast<std::size_t>(optional + ChecksumAt);
        const auto imageEnd = static_cast<std::size_t>(needed);
        const std::uint32_t ofImage = ImageChecksum(image, imageEnd, checksumAt);
        if (ofImage != stored &&
            (imageEnd == size || ImageChecksum(image, size, checksumAt) != stored))
            return L"damaged: its checksum is " + HexText(stored) + L" but its bytes give " +
                   HexText(ofImage);
    }
    return std::nullopt;
}

std::uint32_t ImageChecksum(const std::uint8_t* image, std::size_t size,
                            std::size_t checksumOffset) {
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < size; at += 2) {
        if (at >= checksumOffset && at < checksumOffset + 4) continue;
        sum += image[at] | (at + 1 < size ? image[at + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + size);
}

}  // namespace zorpa
