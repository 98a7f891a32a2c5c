#include "ProgramImages.h"

namespace sim {

namespace {

constexpr std::size_t FileAlignment = 0x200;
constexpr std::size_t DataDirectories = 16;

void Put16(std::string& file, std::size_t at, std::uint32_t value) {
    file[at] = static_cast<char>(value & 0xFF);
    file[at + 1] = static_cast<char>(value >> 8 & 0xFF);
}

void Put32(std::string& file, std::size_t at, std::uint32_t value) {
    Put16(file, at, value & 0xFFFF);
    Put16(file, at + 2, value >> 16);
}

std::size_t Padded(std::size_t size) {
    return size == 0 ? FileAlignment : (size + FileAlignment - 1) / FileAlignment * FileAlignment;
}

void PadTo4(std::string& bytes) { bytes.append((4 - bytes.size() % 4) % 4, '\0'); }

std::string Utf16(const std::string& text) {
    std::string wide;
    for (char c : text) wide += std::string{c, '\0'};
    return wide + std::string(2, '\0');
}

// One block of version data: its length, its value's length, its type (1: text), its key,
// its value and the blocks inside it.
std::string VersionBlock(const std::string& key, const std::string& value,
                         std::uint32_t valueLength, bool text, const std::string& children) {
    std::string block(6, '\0');
    block += Utf16(key);
    PadTo4(block);
    block += value;
    if (!children.empty()) PadTo4(block);
    block += children;
    Put16(block, 0, static_cast<std::uint32_t>(block.size()));
    Put16(block, 2, valueLength);
    Put16(block, 4, text ? 1 : 0);
    return block;
}

// The resource tree of one resource, the version (type 16, name 1, language 0x409), its leaf
// pointing at the data right after it, at `address`.
std::string ResourceSection(const std::string& data, std::size_t address) {
    std::string tree(88, '\0');
    const std::uint32_t subdirectory = 0x80000000;
    const std::uint32_t entries[][3] = {{0, 16, subdirectory | 24}, {24, 1, subdirectory | 48},
                                        {48, 0x409, 72}};
    for (const auto& entry : entries) {
        Put16(tree, entry[0] + 14, 1);  // one entry by id
        Put32(tree, entry[0] + 16, entry[1]);
        Put32(tree, entry[0] + 20, entry[2]);
    }
    Put32(tree, 72, static_cast<std::uint32_t>(address + tree.size()));
    Put32(tree, 76, static_cast<std::uint32_t>(data.size()));
    return tree + data;
}

// The version resource's bytes, as a resource compiler writes them.
std::string VersionResource(const VersionSpec& version) {
    std::string fixed(52, '\0');
    Put32(fixed, 0, 0xFEEF04BD);
    Put32(fixed, 4, 0x10000);
    Put32(fixed, 8, static_cast<std::uint32_t>(version.fileVersion >> 32));
    Put32(fixed, 12, static_cast<std::uint32_t>(version.fileVersion));
    std::string strings;
    if (!version.originalFilename.empty()) {
        const std::string& name = version.originalFilename;
        strings = VersionBlock(
            "StringFileInfo", "", 0, true,
            VersionBlock("040904B0", "", 0, true,
                         VersionBlock("OriginalFilename", Utf16(name),
                                      static_cast<std::uint32_t>(name.size() + 1), true, "")));
    }
    return VersionBlock("VS_VERSION_INFO", fixed, 52, false, strings);
}

}  // namespace

std::string BuildImage(const ImageSpec& spec) {
    const std::size_t codeSize = Padded(spec.payload.size());
    const std::size_t sectionCount = spec.version ? 3 : 2;
    const std::size_t resourcesAt = FileAlignment + codeSize + FileAlignment;
    const std::string resources =
        spec.version ? ResourceSection(VersionResource(*spec.version), resourcesAt) : "";
    std::string file(resourcesAt + (spec.version ? Padded(resources.size()) : 0), '\0');
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 0x3C, 0x40);
    file.replace(0x40, 4, std::string("PE\0\0", 4));
    Put16(file, ImageLayout::Machine, spec.machine);
    Put16(file, 0x46, static_cast<std::uint32_t>(sectionCount));
    const std::size_t optionalSize = (spec.pe32Plus ? 112 : 96) + DataDirectories * 8;
    Put16(file, 0x54, static_cast<std::uint32_t>(optionalSize));
    Put16(file, 0x56, 0x0002 | (spec.dll ? 0x2000 : 0));
    const std::size_t optional = 0x58;
    Put16(file, optional, spec.pe32Plus ? 0x20B : 0x10B);
    Put32(file, optional + 60, FileAlignment);  // SizeOfHeaders
    Put16(file, optional + 68, spec.subsystem);
    const std::size_t directories = optional + (spec.pe32Plus ? 108 : 92);
    Put32(file, directories, DataDirectories);
    const std::size_t sections = optional + optionalSize;
    const char* names[] = {".text", ".data", ".rsrc"};
    const std::size_t offsets[] = {FileAlignment, FileAlignment + codeSize, resourcesAt};
    const std::size_t sizes[] = {codeSize, FileAlignment, file.size() - resourcesAt};
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t header = sections + i * 40;
        file.replace(header, 5, names[i]);
        Put32(file, header + 12, static_cast<std::uint32_t>(offsets[i]));
        Put32(file, header + 16, static_cast<std::uint32_t>(sizes[i]));
        Put32(file, header + 20, static_cast<std::uint32_t>(offsets[i]));
    }
    file.replace(FileAlignment, spec.payload.size(), spec.payload);
    if (spec.version) {
        Put32(file, directories + 4 + 2 * 8, static_cast<std::uint32_t>(resourcesAt));
        Put32(file, directories + 8 + 2 * 8, static_cast<std::uint32_t>(resources.size()));
        file.replace(resourcesAt, resources.size(), resources);
    }
    if (!spec.certificates.empty()) {
        Put32(file, directories + 4 + 4 * 8, static_cast<std::uint32_t>(file.size()));
        Put32(file, directories + 8 + 4 * 8, static_cast<std::uint32_t>(spec.certificates.size()));
        file += spec.certificates;
    }
    if (spec.checksum)
        Put32(file, ImageLayout::Checksum, ReferenceChecksum(file, ImageLayout::Checksum));
    return file + spec.appended;
}

std::uint32_t ReferenceChecksum(const std::string& file, std::size_t checksumAt) {
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at + 1 < file.size(); at += 2) {
        if (at == checksumAt || at == checksumAt + 2) continue;
        sum += static_cast<unsigned char>(file[at]) | static_cast<unsigned char>(file[at + 1]) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    if (file.size() % 2 != 0) sum += static_cast<unsigned char>(file.back());
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<std::uint32_t>(file.size());
}

}  // namespace sim
