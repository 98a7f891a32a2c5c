#include "VersionResource.h"

#include <utility>

#include "DecimalText.h"
#include "FileNames.h"
#include "PeFormat.h"

namespace zorpa {

namespace {

using namespace pe;

// The resource tree: directories of entries, three levels deep (type, name, language), whose
// offsets count from the tree's start; its leaves give their data's address in memory.
constexpr std::uint32_t VersionType = 16;
constexpr std::uint32_t SubdirectoryFlag = 0x80000000;
constexpr std::size_t TreeHeaderSize = 16, NamedCountAt = 12, IdCountAt = 14, EntrySize = 8;
constexpr std::size_t LeafSize = 8;
// The version data: blocks of a length, a value's length and type, a key, the value and the
// blocks inside it, each on a 4-byte boundary.
constexpr std::size_t BlockHeaderSize = 6;
constexpr std::uint32_t FixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t FixedInfoSize = 52, FileVersionAt = 8;

std::uint64_t Aligned(std::uint64_t offset) { return (offset + 3) / 4 * 4; }

// Where `count` bytes at the memory address `rva` lie in the file: inside one section's bytes.
std::optional<std::uint64_t> FileOffsetOf(const Bytes& file, std::uint64_t sections,
                                          std::uint64_t sectionCount, std::uint64_t rva,
                                          std::uint64_t count) {
    for (std::uint64_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t section = sections + i * SectionHeaderSize;
        if (!file.Holds(section, SectionHeaderSize)) return std::nullopt;
        const std::uint64_t start = file.U32(section + VirtualAddressAt);
        const std::uint64_t rawSize = file.U32(section + RawSizeAt);
        if (rva < start || rva - start >= rawSize) continue;
        if (count > rawSize - (rva - start)) return std::nullopt;
        const std::uint64_t offset = file.U32(section + RawOffsetAt) + (rva - start);
        return file.Holds(offset, count) ? std::optional<std::uint64_t>(offset) : std::nullopt;
    }
    return std::nullopt;
}

// The offset field of the entry with the id `id` (any entry: none given) in the directory at
// `directory`, and whether that entry is a directory itself.
std::optional<std::uint32_t> EntryOf(const Bytes& file, std::uint64_t directory,
                                     std::optional<std::uint32_t> id, bool subdirectory) {
    if (!file.Holds(directory, TreeHeaderSize)) return std::nullopt;
    const std::uint64_t count =
        std::uint64_t{file.U16(directory + NamedCountAt)} + file.U16(directory + IdCountAt);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = directory + TreeHeaderSize + i * EntrySize;
        if (!file.Holds(entry, EntrySize)) return std::nullopt;
        if (id && file.U32(entry) != *id) continue;
        const std::uint32_t offset = file.U32(entry + 4);
        if (((offset & SubdirectoryFlag) != 0) != subdirectory) return std::nullopt;
        return offset & ~SubdirectoryFlag;
    }
    return std::nullopt;
}

struct Block {
    std::uint64_t end = 0;
    std::uint16_t valueLength = 0;
    std::wstring key;
    std::uint64_t value = 0;  // where its value begins; the blocks inside follow the value
};

// UTF-16 text from `at` up to its terminating zero, or nothing when none comes before `end`.
std::optional<std::wstring> TextAt(const Bytes& bytes, std::uint64_t at, std::uint64_t end) {
    std::wstring text;
    for (; at + 2 <= end; at += 2) {
        const std::uint16_t unit = bytes.U16(at);
        if (unit == 0) return text;
        text += static_cast<wchar_t>(unit);
    }
    return std::nullopt;
}

// The block at `at`, which must end by `end`.
std::optional<Block> BlockAt(const Bytes& bytes, std::uint64_t at, std::uint64_t end) {
    if (at > end || end - at < BlockHeaderSize) return std::nullopt;
    const std::uint16_t length = bytes.U16(at);
    if (length < BlockHeaderSize || length > end - at) return std::nullopt;
    Block block;
    block.end = at + length;
    block.valueLength = bytes.U16(at + 2);
    const std::optional<std::wstring> key = TextAt(bytes, at + BlockHeaderSize, block.end);
    if (!key) return std::nullopt;
    block.key = *key;
    block.value = Aligned(at + BlockHeaderSize + (key->size() + 1) * 2);
    return block;
}

// Visits the blocks that follow one another from `at` up to `end`.
template <typename Visit>
void EachBlock(const Bytes& bytes, std::uint64_t at, std::uint64_t end, const Visit& visit) {
    for (std::optional<Block> block; (block = BlockAt(bytes, at, end)); at = Aligned(block->end))
        visit(*block);
}

// The version data `bytes`: VS_VERSION_INFO, its fixed part, then its string tables.
std::optional<ProgramVersion> VersionIn(const Bytes& bytes, std::uint64_t size) {
    const std::optional<Block> root = BlockAt(bytes, 0, size);
    if (!root || root->key != L"VS_VERSION_INFO" || root->valueLength < FixedInfoSize ||
        root->value > root->end || root->end - root->value < FixedInfoSize ||
        bytes.U32(root->value) != FixedInfoSignature)
        return std::nullopt;
    ProgramVersion version;
    version.fileVersion = std::uint64_t{bytes.U32(root->value + FileVersionAt)} << 32 |
                          bytes.U32(root->value + FileVersionAt + 4);
    EachBlock(bytes, Aligned(root->value + root->valueLength), root->end, [&](const Block& info) {
        if (info.key != L"StringFileInfo") return;
        EachBlock(bytes, info.value, info.end, [&](const Block& table) {
            EachBlock(bytes, table.value, table.end, [&](const Block& string) {
                if (string.key != L"OriginalFilename" || !version.originalFilename.empty()) return;
                version.originalFilename =
                    TextAt(bytes, string.value, string.end).value_or(std::wstring());
            });
        });
    });
    return version;
}

}  // namespace

std::optional<ProgramVersion> VersionOf(const std::uint8_t* image, std::size_t size) {
    const Bytes file(image, size);
    if (!file.Holds(0, StubSize) || file.U16(0) != 0x5A4D) return std::nullopt;
    const std::uint64_t pe = file.U32(NewHeaderOffsetAt);
    if (!file.Holds(pe, SignatureSize + FileHeaderSize) || file.U32(pe) != 0x00004550)
        return std::nullopt;
    const std::uint64_t header = pe + SignatureSize;
    const std::uint64_t optional = header + FileHeaderSize;
    const std::uint64_t optionalSize = file.U16(header + OptionalSizeAt);
    if (optionalSize < 2 || !file.Holds(optional, optionalSize)) return std::nullopt;
    const std::uint16_t magic = file.U16(optional);
    if (magic != Pe32Magic && magic != Pe32PlusMagic) return std::nullopt;
    const std::uint64_t directories =
        optional + (magic == Pe32PlusMagic ? Pe32PlusDirectoriesAt : Pe32DirectoriesAt);
    const std::uint64_t resources = directories + 4 + ResourceDirectory * DirectorySize;
    if (resources + DirectorySize > optional + optionalSize ||
        file.U32(directories) <= ResourceDirectory)
        return std::nullopt;

    const std::uint64_t sections = optional + optionalSize;
    const std::uint64_t sectionCount = file.U16(header + SectionCountAt);
    const std::optional<std::uint64_t> tree = FileOffsetOf(
        file, sections, sectionCount, file.U32(resources), TreeHeaderSize);
    if (!tree) return std::nullopt;
    // The first name and language of the version type: a program carries one.
    std::uint64_t entry = *tree;
    for (const auto& [id, subdirectory] : {std::pair<std::optional<std::uint32_t>, bool>{
                                               VersionType, true},
                                           {std::nullopt, true},
                                           {std::nullopt, false}}) {
        const std::optional<std::uint32_t> offset = EntryOf(file, entry, id, subdirectory);
        if (!offset) return std::nullopt;
        entry = *tree + *offset;
    }
    if (!file.Holds(entry, LeafSize)) return std::nullopt;
    const std::uint64_t dataSize = file.U32(entry + 4);
    const std::optional<std::uint64_t> data =
        FileOffsetOf(file, sections, sectionCount, file.U32(entry), dataSize);
    if (!data) return std::nullopt;
    return VersionIn(Bytes(image + *data, static_cast<std::size_t>(dataSize)), dataSize);
}

std::wstring VersionText(std::uint64_t fileVersion) {
    std::wstring text;
    for (int shift = 48; shift >= 0; shift -= 16) {
        text += DecimalText(fileVersion >> shift & 0xFFFF);
        if (shift != 0) text += L'.';
    }
    return text;
}

std::optional<std::wstring> WhyAnotherProgram(const ProgramVersion& installed,
                                              const ProgramVersion& copy,
                                              const std::wstring& installedName) {
    if (installed.originalFilename.empty() || copy.originalFilename.empty() ||
        SameNameIgnoringCase(installed.originalFilename, copy.originalFilename))
        return std::nullopt;
    return L"is another program: its original file name is \"" + copy.originalFilename +
           L"\", but " + installedName + L"'s is \"" + installed.originalFilename + L"\"";
}

std::wstring VersionStep(const ProgramVersion& installed, const ProgramVersion& copy) {
    return L"from " + VersionText(installed.fileVersion) + L" to " +
           VersionText(copy.fileVersion) +
           (copy.fileVersion < installed.fileVersion ? L" (an older version)" : L"");
}

}  // namespace zorpa
