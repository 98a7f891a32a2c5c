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

}  // namespace

std::string BuildImage(const ImageSpec& spec) {
    const std::size_t codeSize = Padded(spec.payload.size());
    std::string file(FileAlignment + codeSize + FileAlignment, '\0');
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 0x3C, 0x40);
    file.replace(0x40, 4, std::string("PE\0\0", 4));
    Put16(file, ImageLayout::Machine, spec.machine);
    Put16(file, 0x46, 2);  // sections
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
    const char* names[] = {".text", ".data"};
    const std::size_t offsets[] = {FileAlignment, FileAlignment + codeSize};
    const std::size_t sizes[] = {codeSize, FileAlignment};
    for (std::size_t i = 0; i < 2; ++i) {
        const std::size_t header = sections + i * 40;
        file.replace(header, 5, names[i]);
        Put32(file, header + 16, static_cast<std::uint32_t>(sizes[i]));
        Put32(file, header + 20, static_cast<std::uint32_t>(offsets[i]));
    }
    file.replace(FileAlignment, spec.payload.size(), spec.payload);
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
