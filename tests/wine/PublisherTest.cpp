// Updates from the site's own publisher only: ZORPA.exe under Wine, with stand-ins that the build
// signed, and changed after signing, with certificates it made (tests/signing/make-signed.sh).
#include <wincrypt.h>

#include "RunningSite.h"

namespace {

using namespace winetest;

constexpr int MaxTicks = 12;

std::string FileBytes(const std::wstring& path) {
    const std::vector<char> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A file of the build's certificates: SignRoot.cer, or its thumbprint SignRoot.sha1.
std::string CertificateFile(const wchar_t* name) { return FileBytes(BuildFolder() + L"\\" + name); }

// Trusts the build's test root while it lives, as a site's terminals trust their certificate
// authority. Wine keeps each of the current user's roots under a registry key of its own, and
// CertDeleteCertificateFromStore leaves that key in place, so the key is deleted instead.
class TrustedTestRoot {
public:
    TrustedTestRoot() {
        const std::string root = CertificateFile(L"SignRoot.cer");
        added_ = ::CertAddEncodedCertificateToSystemStoreW(
            L"Root", reinterpret_cast<const BYTE*>(root.data()), static_cast<DWORD>(root.size()));
    }
    ~TrustedTestRoot() {
        const std::string thumbprint = CertificateFile(L"SignRoot.sha1");
        const std::wstring key = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" +
                                 std::wstring(thumbprint.begin(), thumbprint.end());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    }
    TrustedTestRoot(const TrustedTestRoot&) = delete;
    TrustedTestRoot& operator=(const TrustedTestRoot&) = delete;
    bool Added() const { return added_; }

private:
    bool added_ = false;
};

// The record names each certificate by its thumbprint: "{Self}" in a text stands for the
// thumbprint of SignSelf.cer.
std::string WithThumbprints(std::string text) {
    const struct {
        const char* placeholder;
        const wchar_t* thumbprint;
    } certificates[] = {{"{Publisher}", L"SignPublisher.sha1"},
                        {"{Self}", L"SignSelf.sha1"},
                        {"{Other}", L"SignOther.sha1"}};
    for (const auto& certificate : certificates) {
        const std::string placeholder = certificate.placeholder;
        for (std::size_t at; (at = text.find(placeholder)) != std::string::npos;)
            text.replace(at, placeholder.size(), CertificateFile(certificate.thumbprint));
    }
    return text;
}

// A new TULVAN offered to the terminal, and the refusal's words between the server file's
// path and ", but TULVAN.EXE is signed by"; none: it is installed.
struct Offer {
    const wchar_t* offered;
    const char* refusal;
};

// A terminal whose TULVAN.EXE is `installed`, its line at start-up (none: it has none), and
// the offers made to it in turn: each refused one counts a failed attempt, the last may install.
struct Terminal {
    const char* name;
    const wchar_t* installed;
    const char* startLine;
    std::vector<Offer> offers;
};

void PrintTo(const Terminal& terminal, std::ostream* out) { *out << terminal.name; }

const Terminal Terminals[] = {
    {"SignedByThePublisher", L"StandInWorker-publisher.exe",
     "TULVAN.EXE is signed by \"Site Publisher\" (thumbprint {Publisher}): its new versions must "
     "come from the same publisher",
     {{L"StandInWorker2-self.exe",  // the same name, and a chain the terminal does not trust
       "is not from this terminal's publisher: signed by \"Site Publisher\" (thumbprint {Self}) "
       "with a certificate this terminal does not trust"},
      {L"StandInWorker2-other.exe",
       "is not from this terminal's publisher: signed by \"Other Publisher\" (thumbprint {Other})"},
      {StandInV2, "is not signed"},
      {L"StandInWorker2-changed.exe",
       "is not from this terminal's publisher: its signature does not match its bytes"},
      // Wine's verifier answers 0 for this one: the supervisor's own digest check refuses it.
      {L"StandInWorker2-redigested.exe",
       "is not from this terminal's publisher: its signature does not match its bytes"},
      {L"StandInWorker2-renewed.exe", nullptr}}},
    {"SignedWithItsOwnCertificate", L"StandInWorker-self.exe",
     "TULVAN.EXE is signed by \"Site Publisher\" (thumbprint {Self}): its new versions must come "
     "from the same publisher",
     {{L"StandInWorker2-self.exe", nullptr}}},
    {"Unsigned", StandInV1, nullptr, {{L"StandInWorker2-publisher.exe", nullptr}}},
    {"ChangedAfterSigning", L"StandInWorker-changed.exe",
     "TULVAN.EXE's signature does not match its bytes: its new versions are not held to a "
     "publisher",
     {{StandInV2, nullptr}}},
};

class Publisher : public RunningSite, public testing::WithParamInterface<Terminal> {
protected:
    TrustedTestRoot root_;
};

TEST_P(Publisher, OnlyTheInstalledFilesPublisherReplacesIt) {
    ASSERT_TRUE(root_.Added());
    const Terminal& terminal = GetParam();
    const std::string installed = FileBytes(BuildFolder() + L"\\" + terminal.installed);
    Start(L"9", [&](TerminalSite& site) { WriteText(site.PathOf(L"TULVAN.EXE"), installed); });
    const std::wstring server = Site().PathOf(L"server");
    ASSERT_TRUE(::CreateDirectoryW(server.c_str(), nullptr));
    settings::Set(L"RutaServidor", server);
    const std::string source = std::string(server.begin(), server.end()) + "\\TULVANNEW.EXE";

    int attempts = 0;
    for (const Offer& offer : terminal.offers) {
        SCOPED_TRACE(testing::Message() << "offered " << offer.offered);
        const std::string offered = FileBytes(BuildFolder() + L"\\" + offer.offered);
        WriteText(server + L"\\TULVANNEW.EXE", offered);
        settings::Set(L"RemplazarProgramas", L"1");
        std::string line = "TULVAN updated from " + source;
        if (offer.refusal != nullptr) {
            ASSERT_TRUE(Site().Tick(CheckTimer));
            EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"1");
            EXPECT_TRUE(FileBytes(Site().PathOf(L"TULVAN.EXE")) == installed) << "TULVAN.EXE changed";
            EXPECT_TRUE(Site().IsRunning(Pid(Tulvan)));
            EXPECT_FALSE(Exists(Site().PathOf(L"TULVAN.EXE.new")));
            line = WithThumbprints(
                "RemplazarProgramas failed with run-time error 419 (failed attempt " +
                std::to_string(++attempts) + " of 9, the request stays set): " + source + " " +
                offer.refusal + ", but TULVAN.EXE is signed by \"Site Publisher\" (thumbprint "
                "{Publisher})\r\n");
        } else {
            // The rename may fail while the ended worker still holds its file; the next tick
            // retries.
            for (int tick = 0; tick < MaxTicks && settings::Get(L"RemplazarProgramas") != L"0";
                 ++tick)
                ASSERT_TRUE(Site().Tick(CheckTimer));
            EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"0");
            EXPECT_TRUE(FileBytes(Site().PathOf(L"TULVAN.EXE")) == offered) << "not installed";
        }
        const std::string record = FileBytes(Site().PathOf(L"ZORPA.log"));
        EXPECT_NE(record.find(line), std::string::npos) << "no \"" << line << "\" in\n" << record;
    }

    const std::string record = FileBytes(Site().PathOf(L"ZORPA.log"));
    const std::string startLine = terminal.startLine == nullptr ? "TULVAN.EXE is signed"
                                                                : WithThumbprints(terminal.startLine);
    EXPECT_EQ(record.find(startLine) != std::string::npos, terminal.startLine != nullptr) << record;
}

INSTANTIATE_TEST_SUITE_P(Publisher, Publisher, testing::ValuesIn(Terminals),
                         [](const testing::TestParamInfo<Terminal>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
