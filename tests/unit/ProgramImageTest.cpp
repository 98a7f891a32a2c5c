#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ErrorNumbers.h"
#include "ProgramImage.h"
#include "ProgramImages.h"
#include "RuntimeError.h"
#include "VersionResource.h"

namespace {

using sim::BuildImage;
using sim::ImageSpec;

// The bytes lie in a buffer of exactly their size, so that a read past them is caught where the
// tests run under AddressSanitizer.
std::optional<std::wstring> Verdict(const std::string& file, bool windows64) {
    const std::vector<std::uint8_t> bytes(file.begin(), file.end());
    return zorpa::WhyNotRunnable(bytes.data(), bytes.size(), windows64);
}

ImageSpec Program(const std::function<void(ImageSpec&)>& change = {}) {
    ImageSpec spec;
    spec.payload = std::string(700, 'x');  // two blocks of code: a cut can fall between them
    if (change) change(spec);
    return spec;
}

const std::string Whole = BuildImage(Program());

TEST(ProgramImage, OnlyAWholeProgramThisWindowsRunsIsAccepted) {
    const struct {
        const char* name;
        std::string file;
        bool windows64;
        const wchar_t* why;  // the start of the reason; nullptr: accepted
    } cases[] = {
        {"whole x86 program", Whole, false, nullptr},
        {"whole x86 program on 64-bit Windows", Whole, true, nullptr},
        {"x64 program on 64-bit Windows",
         BuildImage(Program([](auto& s) { s.machine = 0x8664; s.pe32Plus = true; })), true, nullptr},
        {"with its right checksum", BuildImage(Program([](auto& s) { s.checksum = true; })), false,
         nullptr},
        {"cut short in its headers", Whole.substr(0, 0x100), false,
         L"cut short: the file has 256 bytes and its headers need 392"},
        {"cut right after its PE signature", Whole.substr(0, 0x44), false,
         L"cut short: the file has 68 bytes and its headers need 88"},
        {"cut one byte short of its file header", Whole.substr(0, 0x57), false,
         L"cut short: the file has 87 bytes and its headers need 88"},
        {"cut short in its code", Whole.substr(0, 0x300), false,
         L"cut short: the file has 768 bytes and its sections need 2048"},
        {"cut short by one byte", Whole.substr(0, Whole.size() - 1), false,
         L"cut short: the file has 2047 bytes and its sections need 2048"},
        {"cut short in its symbols", [] {
             std::string file = Whole;
             file[0x4D] = 0x08;  // a symbol table at 2048, where the file ends
             file[0x50] = 1;
             return file;
         }(), false, L"cut short: the file has 2048 bytes and its symbols need 2070"},
        {"x64 program on 32-bit Windows",
         BuildImage(Program([](auto& s) { s.machine = 0x8664; s.pe32Plus = true; })), false,
         L"built for another processor (x64): this Windows runs only x86 programs"},
        {"ARM64 program", BuildImage(Program([](auto& s) { s.machine = 0xAA64; })), true,
         L"built for another processor (ARM64): this Windows runs x86 and x64 programs"},
        {"PE32+ header on an x86 program", BuildImage(Program([](auto& s) { s.pe32Plus = true; })),
         false, L"damaged: its optional header does not match its processor (x86)"},
        {"DLL", BuildImage(Program([](auto& s) { s.dll = true; })), false, L"a DLL, not a program"},
        {"driver", BuildImage(Program([](auto& s) { s.subsystem = 1; })), false,
         L"not a Windows GUI or console program (subsystem 1)"},
        {"cut short in its certificates",
         BuildImage(Program([](auto& s) { s.certificates = std::string(600, 'c'); }))
             .substr(0, 2400),
         false, L"cut short: the file has 2400 bytes and its certificates need 2648"},
        {"text file", std::string(200, 'a'), false,
         L"not a Windows program: it does not begin with an MZ header"},
        {"MZ without a PE header", "MZ" + std::string(0x3E, '\0') + std::string(8, 'p'), false,
         L"not a Windows program: no PE signature at byte 0"},
        {"empty file", "", false, L"the file is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<std::wstring> why = Verdict(c.file, c.windows64);
        if (c.why == nullptr) {
            EXPECT_EQ(why, std::nullopt) << std::string(why->begin(), why->end());
        } else {
            ASSERT_TRUE(why.has_value());
            EXPECT_EQ(*why, c.why);
        }
    }
}

// A damaged byte anywhere in what the linker (and a signing tool) wrote is caught where the file
// carries a checksum, and nowhere else. Bytes appended afterwards leave the checksum stale, and
// Windows still runs the program: they are no damage.
TEST(ProgramImage, TheChecksumCountsWhatTheLinkerWrote) {
    const std::string stamp = "licence 0042";
    const struct {
        const char* name;
        bool checksum;
        std::string certificates, appended;
        bool checksumOfAll;           // written again over the file with what was appended
        std::size_t changedAt;        // a byte changed there; 0: none
        bool accepted;
    } cases[] = {
        {"checksum, a byte changed in its code", true, "", "", false, 0x20A, false},
        {"no checksum, a byte changed in its code", false, "", "", false, 0x20A, true},
        {"checksum, data appended", true, "", stamp, false, 0, true},
        {"no checksum, data appended", false, "", stamp, false, 0, true},
        {"checksum, data appended, a byte changed in its code", true, "", stamp, false, 0x20A,
         false},
        {"checksum written again after data was appended", true, "", stamp, true, 0, true},
        {"signed, data appended", true, std::string(64, 'c'), stamp + "x", false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = BuildImage(Program([&](auto& s) {
            s.checksum = c.checksum;
            s.certificates = c.certificates;
            s.appended = c.appended;
        }));
        if (c.checksumOfAll) {
            const std::uint32_t all = sim::ReferenceChecksum(file, sim::ImageLayout::Checksum);
            for (std::size_t i = 0; i < 4; ++i)
                file[sim::ImageLayout::Checksum + i] = static_cast<char>(all >> 8 * i & 0xFF);
        }
        if (c.changedAt != 0) file[c.changedAt] ^= 0x40;
        const std::optional<std::wstring> why = Verdict(file, false);
        if (c.accepted) {
            EXPECT_EQ(why, std::nullopt) << std::string(why->begin(), why->end());
        } else {
            ASSERT_TRUE(why.has_value());
            EXPECT_EQ(why->rfind(L"damaged: its checksum is 0x", 0), 0u);
        }
    }
    const std::string file = BuildImage(Program([](auto& s) { s.checksum = true; }));
    EXPECT_EQ(zorpa::ImageChecksum(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(),
                                   sim::ImageLayout::Checksum),
              sim::ReferenceChecksum(file, sim::ImageLayout::Checksum));
}

std::optional<zorpa::ProgramVersion> VersionOf(const std::string& file) {
    const std::vector<std::uint8_t> bytes(file.begin(), file.end());
    return zorpa::VersionOf(bytes.data(), bytes.size());
}

ImageSpec Versioned(std::uint64_t fileVersion, const std::string& originalFilename) {
    return Program([&](auto& s) { s.version = sim::VersionSpec{fileVersion, originalFilename}; });
}

TEST(ProgramImage, TheVersionResourceNamesTheFileVersionAndTheOriginalFileName) {
    const struct {
        const char* name;
        std::string file;
        std::optional<std::wstring> version, originalFilename;  // none: no version resource read
    } cases[] = {
        {"x86 program", BuildImage(Versioned(0x0001000400000002, "TULVAN.EXE")), L"1.4.0.2",
         L"TULVAN.EXE"},
        {"x64 program", BuildImage(Program([](auto& s) {
             s.machine = 0x8664;
             s.pe32Plus = true;
             s.version = sim::VersionSpec{0xFFFF000100020003, "Tulvan.exe"};
         })),
         L"65535.1.2.3", L"Tulvan.exe"},
        {"no original file name", BuildImage(Versioned(0x0001000500000000, "")), L"1.5.0.0", L""},
        {"no version resource", Whole, std::nullopt, std::nullopt},
        {"not a program", "MZ and nothing", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto read = VersionOf(c.file);
        ASSERT_EQ(read.has_value(), c.version.has_value());
        if (!read) continue;
        EXPECT_EQ(zorpa::VersionText(read->fileVersion), *c.version);
        EXPECT_EQ(read->originalFilename, *c.originalFilename);
    }
}

// Every offset the version reader follows comes from the file: a file cut anywhere, or with
// any byte of its resources changed, is read within its bytes (AddressSanitizer watches) and
// gives either nothing or the whole resource.
TEST(ProgramImage, AVersionResourceCutOrDamagedAnywhereIsReadWithinTheFile) {
    const std::string file = BuildImage(Versioned(0x0001000400000002, "TULVAN.EXE"));
    const std::size_t resources = file.size() - 0x200;
    for (std::size_t size = 0; size < file.size(); ++size) {
        const auto read = VersionOf(file.substr(0, size));
        if (read) {
            EXPECT_EQ(read->originalFilename, L"TULVAN.EXE") << "cut at " << size;
        }
    }
    for (std::size_t at = resources; at < file.size(); ++at) {
        for (const char value : {'\x00', '\xFF', '\x7F'}) {
            std::string damaged = file;
            damaged[at] = value;
            const auto read = VersionOf(damaged);
            if (read) {
                EXPECT_LE(read->originalFilename.size(), 10u) << "byte " << at;
            }
        }
    }
}

TEST(ErrorNumbers, EachFailedCallGetsTheNumberSupportKnows) {
    using zorpa::FailedCall;
    namespace Error = zorpa::ErrorNumber;
    namespace Windows = zorpa::WindowsError;
    const struct {
        FailedCall call;
        std::uint32_t windowsError;
        int number;
    } cases[] = {
        {FailedCall::StartProgram, Windows::FileNotFound, Error::FileNotFound},
        {FailedCall::StartProgram, Windows::AccessDenied, Error::PermissionDenied},
        {FailedCall::StartProgram, 193, Error::PathFileAccess},  // not a valid program
        {FailedCall::ListFolder, Windows::BadNetPath, Error::DeviceUnavailable},
        {FailedCall::ListFolder, Windows::NotReady, Error::DeviceUnavailable},
        {FailedCall::ListFolder, Windows::InvalidName, Error::BadFileName},
        {FailedCall::ListFolder, Windows::AccessDenied, Error::PathFileAccess},
        {FailedCall::FileChange, Windows::SharingViolation, Error::PermissionDenied},
        {FailedCall::FileChange, Windows::PathNotFound, Error::FileNotFound},
        {FailedCall::FileChange, Windows::HandleDiskFull, Error::DiskFull},
        {FailedCall::FileChange, Windows::NetNameDeleted, Error::PathFileAccess},
        {FailedCall::FileChange, Windows::BadNetName, Error::DeviceUnavailable},
        {FailedCall::FileChange, Windows::NotEnoughMemory, Error::OutOfMemory},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zorpa::ErrorNumberFor(c.call, c.windowsError), c.number)
            << "call " << static_cast<int>(c.call) << ", Windows error " << c.windowsError;
}

}  // namespace
