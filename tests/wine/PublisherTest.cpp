// Updates from the site's own publisher only: ZORPA.exe under Wine, with stand-ins that the build
// signed, and changed after signing, with certificates it made (tests/signing/make-signed.sh).
#include <wincrypt.h>

#include <cstdio>
#include <optional>

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
// thumbprint of SignSelf.cer; "{Source}" for the server's TULVANNEW.EXE and "{Installed}" for
// the terminal's TULVAN.EXE.
std::string Expanded(std::string text, const std::wstring& source, const std::wstring& installed) {
    const std::string paths[][2] = {
        {"{Source}", std::string(source.begin(), source.end())},
        {"{Installed}", std::string(installed.begin(), installed.end())}};
    const struct {
        const char* placeholder;
        const wchar_t* thumbprint;
    } certificates[] = {{"{Publisher}", L"SignPublisher.sha1"}, {"{Self}", L"SignSelf.sha1"},
                        {"{Other}", L"SignOther.sha1"},         {"{Server}", L"SignServer.sha1"},
                        {"{Nul}", L"SignNul.sha1"},             {"{Break}", L"SignBreak.sha1"}};
    const auto replace = [&text](const std::string& placeholder, const std::string& value) {
        for (std::size_t at; (at = text.find(placeholder)) != std::string::npos;)
            text.replace(at, placeholder.size(), value);
    };
    for (const auto& path : paths) replace(path[0], path[1]);
    for (const auto& certificate : certificates)
        replace(certificate.placeholder, CertificateFile(certificate.thumbprint));
    return text;
}

// A refusal of a copy offered to a TULVAN.EXE signed by the publisher.
std::string ButSigned(const std::string& words) {
    return "{Source} " + words +
           ", but TULVAN.EXE is signed by \"Site Publisher\" (thumbprint {Publisher})\r\n";
}
std::string NotOurs(const std::string& words) {
    return ButSigned("is not from this terminal's publisher: " + words);
}
const std::string Installed = "TULVAN updated from 1.4.0.2 to 1.5.0.0 in {Source}, ";
// What the record shows of a control character in a name: U+FFFD.
const std::string Mark = "\xEF\xBF\xBD";

// A new TULVAN offered to the terminal, and the words of the record's line about it: after
// "failed with run-time error `error` (…): " for a refusal, the whole install line's start
// for a copy installed (`error` 0).
struct Offer {
    const wchar_t* offered;
    std::string line;
    int error = 419;
    bool installedHeld = false;  // TULVAN.EXE is held open, unshared, during the check
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
       NotOurs("signed by \"Site Publisher\" (thumbprint {Self}) with a certificate this terminal "
               "does not trust")},
      {L"StandInWorker2-other.exe", NotOurs("signed by \"Other Publisher\" (thumbprint {Other})")},
      {StandInV2, ButSigned("is not signed")},
      // A signature that cannot be read now fails the step: it is no reason to skip the check.
      {StandInV2,
       "the signature of {Installed} cannot be read now, so {Source} cannot be checked against "
       "it: error 32: ",
       55, true},
      {L"StandInWorker2-changed.exe", NotOurs("its signature does not match its bytes")},
      // Wine's verifier answers 0 for these: the supervisor's own checks refuse them.
      {L"StandInWorker2-redigested.exe", NotOurs("its signature does not match its bytes")},
      {L"StandInWorker2-script.exe", NotOurs("its signature does not match its bytes")},
      {L"StandInWorker2-server.exe",
       NotOurs("signed by \"Site Publisher\" (thumbprint {Server}) with a certificate this "
               "terminal does not trust")},
      {L"StandInWorker2-nul.exe",
       NotOurs("signed by \"Site Publisher" + Mark + "x\" (thumbprint {Nul})")},
      {L"StandInWorker2-break.exe",
       NotOurs("signed by \"Site Publisher" + Mark +
               "2026-12-09 04:00:00.000 +00:00 TULVAN updated\" (thumbprint {Break})")},
      {L"StandInWorker2-gandro.exe",
       "{Source} is another program: its original file name is \"StandInGandro.exe\", but "
       "TULVAN.EXE's is \"StandInWorker.exe\"\r\n"},
      {L"StandInWorker2-renewed.exe", Installed, 0}}},
    {"SignedWithItsOwnCertificate", L"StandInWorker-self.exe",
     "TULVAN.EXE is signed by \"Site Publisher\" (thumbprint {Self}): its new versions must come "
     "from the same publisher",
     {{L"StandInWorker2-self.exe", Installed, 0}}},
    {"Unsigned", StandInV1, nullptr, {{L"StandInWorker2-publisher.exe", Installed, 0}}},
    {"ChangedAfterSigning", L"StandInWorker-changed.exe",
     "TULVAN.EXE's signature does not match its bytes: its new versions are not held to a "
     "publisher",
     {{StandInV2, Installed, 0}}},
    // Sites go back to an older version on purpose: the record says that it is one.
    {"AnOlderVersion", L"StandInWorker2-publisher.exe",
     "TULVAN.EXE is signed by \"Site Publisher\" (thumbprint {Publisher}): its new versions must "
     "come from the same publisher",
     {{L"StandInWorker-publisher.exe",
       "TULVAN updated from 1.5.0.0 to 1.4.0.2 (an older version) in {Source}, ", 0}}},
};

class Publisher : public RunningSite, public testing::WithParamInterface<Terminal> {
protected:
    TrustedTestRoot root_;
};

TEST_P(Publisher, OnlyTheInstalledFilesPublisherReplacesIt) {
    ASSERT_TRUE(root_.Added());
    const Terminal& terminal = GetParam();
    const std::string installed = FileBytes(BuildFolder() + L"\\" + terminal.installed);
    Start(L"20", [&](TerminalSite& site) { WriteText(site.PathOf(L"TULVAN.EXE"), installed); });
    const std::wstring server = Site().PathOf(L"server");
    ASSERT_TRUE(::CreateDirectoryW(server.c_str(), nullptr));
    settings::Set(L"RutaServidor", server);
    const std::wstring source = server + L"\\TULVANNEW.EXE";

    int attempts = 0;
    for (const Offer& offer : terminal.offers) {
        SCOPED_TRACE(testing::Message() << "offered " << offer.offered);
        const std::string offered = FileBytes(BuildFolder() + L"\\" + offer.offered);
        WriteText(source, offered);
        settings::Set(L"RemplazarProgramas", L"1");
        std::string line = Expanded(offer.line, source, Site().PathOf(L"TULVAN.EXE"));
        if (offer.error != 0) {
            {
                std::optional<WriteLock> held;
                if (offer.installedHeld) {
                    ASSERT_TRUE(held.emplace(Site().PathOf(L"TULVAN.EXE"), true).Held());
                }
                ASSERT_TRUE(Site().Tick(CheckTimer));
            }
            EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"1");
            EXPECT_TRUE(FileBytes(Site().PathOf(L"TULVAN.EXE")) == installed) << "TULVAN.EXE changed";
            EXPECT_TRUE(Site().IsRunning(Pid(Tulvan)));
            EXPECT_FALSE(Exists(Site().PathOf(L"TULVAN.EXE.new")));
            line = "RemplazarProgramas failed with run-time error " + std::to_string(offer.error) +
                   " (failed attempt " + std::to_string(++attempts) +
                   " of 20, the request stays set): " + line;
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
    const std::string startLine =
        terminal.startLine == nullptr ? "TULVAN.EXE is signed"
                                      : Expanded(terminal.startLine, source, std::wstring());
    EXPECT_EQ(record.find(startLine) != std::string::npos, terminal.startLine != nullptr) << record;
    std::printf("record of %s:\n%s", terminal.name, record.c_str());
}

INSTANTIATE_TEST_SUITE_P(Publisher, Publisher, testing::ValuesIn(Terminals),
                         [](const testing::TestParamInfo<Terminal>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
