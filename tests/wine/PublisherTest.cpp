// Updates from the site's own publisher only: the binding's reading of signatures and ZORPA.exe's
// update under Wine, with stand-ins that the build signed with certificates it made itself
// (tests/signing/make-signed.sh).
#include <wincrypt.h>

#include <cstring>
#include <map>

#include "ProgramImage.h"
#include "RunningSite.h"
#include "Win32Platform.h"

namespace {

using namespace winetest;
using zorpa::SignatureState;

constexpr int MaxTicks = 12;
constexpr const wchar_t* RootCertificates = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";

std::string FileBytes(const std::wstring& path) {
    const std::vector<char> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string Hash(ALG_ID algorithm, const std::string& bytes) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string value(32, '\0');
    DWORD length = static_cast<DWORD>(value.size());
    const bool hashed =
        ::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        ::CryptCreateHash(provider, algorithm, 0, 0, &hash) &&
        ::CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()), 0) &&
        ::CryptGetHashParam(hash, HP_HASHVAL, reinterpret_cast<BYTE*>(value.data()), &length, 0);
    if (hash != 0) ::CryptDestroyHash(hash);
    if (provider != 0) ::CryptReleaseContext(provider, 0);
    value.resize(hashed ? length : 0);
    return value;
}

std::wstring UpperHex(const std::string& bytes) {
    std::wstring text;
    for (unsigned char byte : bytes) {
        text += L"0123456789ABCDEF"[byte >> 4];
        text += L"0123456789ABCDEF"[byte & 0x0F];
    }
    return text;
}

// The SHA-1 thumbprint of one of the build's certificates ("Publisher": SignPublisher.cer).
std::wstring Thumbprint(const std::wstring& certificate) {
    return UpperHex(Hash(CALG_SHA1, FileBytes(BuildFolder() + L"\\Sign" + certificate + L".cer")));
}

// Trusts the build's test root while it lives, as a site's terminals trust their certificate
// authority. Wine keeps the current user's roots under one registry key each, and
// CertDeleteCertificateFromStore leaves that key in place, so the key is deleted instead.
class TrustedTestRoot {
public:
    TrustedTestRoot() : root_(FileBytes(BuildFolder() + L"\\SignRoot.cer")) {
        const HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                                 CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        added_ = store != nullptr &&
                 ::CertAddEncodedCertificateToStore(
                     store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(root_.data()),
                     static_cast<DWORD>(root_.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        if (store != nullptr) ::CertCloseStore(store, 0);
    }
    ~TrustedTestRoot() {
        const std::wstring key = RootCertificates + UpperHex(Hash(CALG_SHA1, root_));
        ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    }
    TrustedTestRoot(const TrustedTestRoot&) = delete;
    TrustedTestRoot& operator=(const TrustedTestRoot&) = delete;
    bool Added() const { return added_; }

private:
    std::string root_;
    bool added_ = false;
};

// Where a PE file's signature lies, and the header fields its digest leaves out.
struct SignedLayout {
    std::size_t checksum;       // the CheckSum field
    std::size_t securityEntry;  // the data directory entry of the certificate table
    std::size_t table;          // the certificate table itself, at the file's end
};

std::uint32_t Read32(const std::string& file, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, file.data() + at, sizeof value);
    return value;
}

SignedLayout LayoutOf(const std::string& file) {
    const std::size_t optionalHeader = Read32(file, 0x3C) + 24;
    const bool pe32Plus = file[optionalHeader] == 0x0B && file[optionalHeader + 1] == 0x02;
    const std::size_t securityEntry = optionalHeader + (pe32Plus ? 144 : 128);
    return {optionalHeader + 64, securityEntry, Read32(file, securityEntry)};
}

// The Authenticode digest of a file whose certificate table is its last part: SHA-256 over
// everything else but the checksum and the table's directory entry.
std::string ImageDigest(const std::string& file) {
    const SignedLayout at = LayoutOf(file);
    return Hash(CALG_SHA_256, file.substr(0, at.checksum) +
                                  file.substr(at.checksum + 4, at.securityEntry - at.checksum - 4) +
                                  file.substr(at.securityEntry + 8, at.table - at.securityEntry - 8));
}

void WriteChecksum(std::string& file) {
    const std::size_t at = LayoutOf(file).checksum;
    const std::uint32_t sum = zorpa::ImageChecksum(
        reinterpret_cast<const std::uint8_t*>(file.data()), file.size(), at);
    std::memcpy(file.data() + at, &sum, sizeof sum);
}

enum class Change {
    None,
    // One byte of the DOS stub's text changed after signing, the checksum written anew: a
    // program that still runs, and passes the header check.
    Byte,
    // The same, and the digest inside the signature rewritten to match: Windows' verifier under
    // Wine still answers 0 for it.
    ByteAndDigest,
};

std::string Changed(std::string file, Change change) {
    if (change == Change::None) return file;
    const std::string before = ImageDigest(file);
    const std::size_t text = file.find("DOS mode");
    if (text == std::string::npos) return {};
    file[text] = 'd';
    if (change == Change::ByteAndDigest) {
        const std::size_t digest = file.find(before, LayoutOf(file).table);
        if (digest == std::string::npos) return {};
        file.replace(digest, before.size(), ImageDigest(file));
    }
    WriteChecksum(file);
    return file;
}

// A stand-in build, signed or not, and what was done to it after signing.
struct Build {
    const wchar_t* file;
    Change change;
    std::string Bytes() const { return Changed(FileBytes(BuildFolder() + L"\\" + file), change); }
};

// The record names each certificate by its thumbprint: "{Self}" in a text stands for the
// thumbprint of SignSelf.cer.
std::string WithThumbprints(std::string text) {
    for (const wchar_t* certificate : {L"Publisher", L"Renewed", L"Self", L"Other"}) {
        const std::wstring name(certificate);
        const std::string placeholder = "{" + std::string(name.begin(), name.end()) + "}";
        const std::wstring thumbprint = Thumbprint(certificate);
        for (std::size_t at; (at = text.find(placeholder)) != std::string::npos;)
            text.replace(at, placeholder.size(), std::string(thumbprint.begin(), thumbprint.end()));
    }
    return text;
}

TEST(Publisher, TheVerifierTellsIntactChangedAndUnsignedFilesAndTheirSigners) {
    const TrustedTestRoot root;
    ASSERT_TRUE(root.Added());
    const std::wstring folder = MakeTempFolder(L"signatures");
    struct Case {
        Build build;
        SignatureState state;
        const wchar_t* thumbprintOf;  // the certificate it names, when intact
        bool trusted;
    };
    const Case cases[] = {
        {{StandInV1, Change::None}, SignatureState::Unsigned, nullptr, false},
        {{L"StandInWorker-publisher.exe", Change::None}, SignatureState::Intact, L"Publisher", true},
        {{L"StandInWorker2-renewed.exe", Change::None}, SignatureState::Intact, L"Renewed", true},
        {{L"StandInWorker-self.exe", Change::None}, SignatureState::Intact, L"Self", false},
        {{L"StandInWorker-publisher.exe", Change::Byte}, SignatureState::DoesNotMatch, nullptr, false},
        {{L"StandInWorker-publisher.exe", Change::ByteAndDigest}, SignatureState::DoesNotMatch,
         nullptr, false},
    };
    zorpa::win32::Win32Platform platform;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.build.file << ", change " << static_cast<int>(c.build.change));
        const std::string bytes = c.build.Bytes();
        ASSERT_FALSE(bytes.empty()) << "the change could not be made";
        const std::wstring path = folder + L"\\" + c.build.file;
        WriteText(path, bytes);
        const zorpa::SignatureFacts facts = platform.ReadSignature(path);
        EXPECT_EQ(facts.state, c.state);
        if (c.thumbprintOf == nullptr) continue;
        EXPECT_EQ(facts.thumbprint, Thumbprint(c.thumbprintOf));
        EXPECT_EQ(facts.signer, L"Site Publisher");
        EXPECT_EQ(facts.subject, L"O=Terminal Test Site, CN=Site Publisher");
        EXPECT_EQ(facts.trustedChain, c.trusted);
    }
    RemoveTree(folder);
}

// One offer of a new TULVAN to a terminal whose TULVAN is `installed`.
struct Offer {
    const char* name;
    Build installed;
    Build offered;
    // The refusal's words after the server file's path; none: the offer is installed.
    const char* refusal;
    // TULVAN.EXE's line at start-up; none: it has none.
    const char* startLine;
};

void PrintTo(const Offer& offer, std::ostream* out) { *out << offer.name; }

constexpr const char* PublisherStart =
    "TULVAN.EXE is signed by \"Site Publisher\" (thumbprint {Publisher}): its new versions must "
    "come from the same publisher";
constexpr const char* ButPublisher =
    ", but TULVAN.EXE is signed by \"Site Publisher\" (thumbprint {Publisher})";

const Offer Offers[] = {
    {"SameCertificate", {L"StandInWorker-self.exe", Change::None},
     {L"StandInWorker2-self.exe", Change::None}, nullptr,
     "TULVAN.EXE is signed by \"Site Publisher\" (thumbprint {Self}): its new versions must come "
     "from the same publisher"},
    {"RenewedCertificateUnderATrustedRoot", {L"StandInWorker-publisher.exe", Change::None},
     {L"StandInWorker2-renewed.exe", Change::None}, nullptr, PublisherStart},
    {"SameNameFromAnUntrustedCertificate", {L"StandInWorker-publisher.exe", Change::None},
     {L"StandInWorker2-self.exe", Change::None},
     "is not from this terminal's publisher: signed by \"Site Publisher\" (thumbprint {Self}) "
     "with a certificate this terminal does not trust",
     PublisherStart},
    {"AnotherPublisherUnderATrustedRoot", {L"StandInWorker-publisher.exe", Change::None},
     {L"StandInWorker2-other.exe", Change::None},
     "is not from this terminal's publisher: signed by \"Other Publisher\" (thumbprint {Other})",
     PublisherStart},
    {"UnsignedOfferToASignedWorker", {L"StandInWorker-publisher.exe", Change::None},
     {StandInV2, Change::None}, "is not signed", PublisherStart},
    {"SignedOfferToAnUnsignedWorker", {StandInV1, Change::None},
     {L"StandInWorker2-publisher.exe", Change::None}, nullptr, nullptr},
    {"ChangedAfterSigning", {L"StandInWorker-publisher.exe", Change::None},
     {L"StandInWorker2-publisher.exe", Change::Byte},
     "is not from this terminal's publisher: its signature does not match its bytes",
     PublisherStart},
    {"ChangedWithItsDigestRewritten", {L"StandInWorker-publisher.exe", Change::None},
     {L"StandInWorker2-publisher.exe", Change::ByteAndDigest},
     "is not from this terminal's publisher: its signature does not match its bytes",
     PublisherStart},
    {"InstalledFileChangedAfterSigning", {L"StandInWorker-publisher.exe", Change::Byte},
     {StandInV2, Change::None}, nullptr,
     "TULVAN.EXE's signature does not match its bytes: its new versions are not held to a "
     "publisher"},
};

class PublisherUpdate : public RunningSite, public testing::WithParamInterface<Offer> {
protected:
    TrustedTestRoot root_;
};

TEST_P(PublisherUpdate, OnlyTheInstalledFilesPublisherReplacesIt) {
    ASSERT_TRUE(root_.Added());
    const Offer& offer = GetParam();
    const std::string installed = offer.installed.Bytes();
    const std::string offered = offer.offered.Bytes();
    ASSERT_FALSE(installed.empty() || offered.empty()) << "the change could not be made";
    Start(L"3", [&](TerminalSite& site) { WriteText(site.PathOf(L"TULVAN.EXE"), installed); });
    const std::wstring server = Site().PathOf(L"server");
    ASSERT_TRUE(::CreateDirectoryW(server.c_str(), nullptr));
    settings::Set(L"RutaServidor", server);
    WriteText(server + L"\\TULVANNEW.EXE", offered);
    settings::Set(L"RemplazarProgramas", L"1");

    if (offer.refusal != nullptr) {
        ASSERT_TRUE(Site().Tick(CheckTimer));
        EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"1");
        EXPECT_TRUE(FileBytes(Site().PathOf(L"TULVAN.EXE")) == installed) << "TULVAN.EXE changed";
        EXPECT_TRUE(Site().IsRunning(Pid(Tulvan)));
        EXPECT_FALSE(Exists(Site().PathOf(L"TULVAN.EXE.new")));
    } else {
        // The rename may fail while the ended worker still holds its file; the next tick retries.
        for (int tick = 0; tick < MaxTicks && settings::Get(L"RemplazarProgramas") != L"0"; ++tick)
            ASSERT_TRUE(Site().Tick(CheckTimer));
        EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"0");
        EXPECT_TRUE(FileBytes(Site().PathOf(L"TULVAN.EXE")) == offered) << "not installed";
    }

    const std::string record = FileBytes(Site().PathOf(L"ZORPA.log"));
    const std::string source = std::string(server.begin(), server.end()) + "\\TULVANNEW.EXE";
    const std::string result =
        offer.refusal == nullptr
            ? "TULVAN updated from " + source
            : WithThumbprints("RemplazarProgramas failed with run-time error 419 (failed attempt "
                              "1 of 3, the request stays set): " + source + " " + offer.refusal +
                              ButPublisher + "\r\n");
    EXPECT_NE(record.find(result), std::string::npos) << "no \"" << result << "\" in\n" << record;
    if (offer.startLine != nullptr) {
        const std::string line = WithThumbprints(offer.startLine) + "\r\n";
        EXPECT_NE(record.find(line), std::string::npos) << "no \"" << line << "\" in\n" << record;
    } else {
        EXPECT_EQ(record.find("TULVAN.EXE is signed"), std::string::npos) << record;
    }
}

INSTANTIATE_TEST_SUITE_P(Publisher, PublisherUpdate, testing::ValuesIn(Offers),
                         [](const testing::TestParamInfo<Offer>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
