#include <gtest/gtest.h>

#include "Publisher.h"
#include "Supervisor.h"

using zorpa::SignatureFacts;
using zorpa::SignatureState;

namespace {

SignatureFacts Facts(SignatureState state, const wchar_t* thumbprint, bool trustedChain,
                     const std::wstring& name = L"Site Publisher") {
    return {state, name, L"O=Site, CN=" + name, thumbprint, trustedChain};
}

const SignatureFacts Unsigned{};
const SignatureFacts Publisher = Facts(SignatureState::Intact, L"AA01", true);
// The site's own certificate, which no root Windows trusts vouches for.
const SignatureFacts OwnCertificate = Facts(SignatureState::Intact, L"AA01", false);
const SignatureFacts Renewed = Facts(SignatureState::Intact, L"BB02", true);
const SignatureFacts Impostor = Facts(SignatureState::Intact, L"CC03", false);
const SignatureFacts Other = Facts(SignatureState::Intact, L"DD04", true, L"Other Publisher");
// What the verifier reads of a file changed after signing: its signer, and that it does not hold.
const SignatureFacts Changed = Facts(SignatureState::DoesNotMatch, L"AA01", true);
const SignatureFacts Uncheckable = Facts(SignatureState::Uncheckable, L"", false, L"");

TEST(Publisher, OnlyAnIntactInstalledSignatureRequiresTheSamePublisher) {
    const std::wstring publisher = L", but TULVAN.EXE is signed by \"Site Publisher\" (thumbprint AA01)";
    const std::wstring notOurs = L"is not from this terminal's publisher: ";
    const struct {
        const char* name;
        SignatureFacts installed;
        SignatureFacts copy;
        std::wstring refusal;  // empty: the copy may replace the installed file
    } cases[] = {
        {"unsigned installed, signed copy", Unsigned, Other, L""},
        {"installed changed after signing", Changed, Unsigned, L""},
        {"installed signature uncheckable", Uncheckable, Other, L""},
        {"same certificate", Publisher, Publisher, L""},
        {"same certificate, no trusted root", OwnCertificate, OwnCertificate, L""},
        {"renewed under a trusted root", Publisher, Renewed, L""},
        {"renewed, installed without a trusted root", OwnCertificate, Renewed, L""},
        {"same name, untrusted certificate", Publisher, Impostor,
         notOurs + L"signed by \"Site Publisher\" (thumbprint CC03) with a certificate this "
                   L"terminal does not trust" + publisher},
        {"another publisher, trusted", Publisher, Other,
         notOurs + L"signed by \"Other Publisher\" (thumbprint DD04)" + publisher},
        {"copy not signed", Publisher, Unsigned, L"is not signed" + publisher},
        {"copy changed after signing, same certificate", Publisher, Changed,
         notOurs + L"its signature does not match its bytes" + publisher},
        {"copy uncheckable", Publisher, Uncheckable,
         notOurs + L"this Windows cannot check its signature" + publisher},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(zorpa::WhyNotSamePublisher(c.installed, c.copy, L"TULVAN.EXE").value_or(L""),
                  c.refusal);
    }
}

// The supervisor's own new version is held to the file it runs from, whatever its name.
TEST(Publisher, ANewSupervisorIsHeldToTheRunningSupervisorsFile) {
    const std::wstring server = L"\\\\SERVIDOR\\Nuevos";
    const struct {
        const char* name;
        SignatureFacts offered;
        bool staged;
    } cases[] = {{"renewed", Renewed, true}, {"another publisher", Other, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Supervisor s;
        s.sim.programFile = L"ZORPA_1.EXE";  // a site that renamed it
        s.sim.AddFile(s.sim.folder + L"\\ZORPA_1.EXE", "zorpa-1");
        s.sim.SetSignature(s.sim.folder + L"\\ZORPA_1.EXE", Publisher);
        ASSERT_TRUE(s.Load());
        s.sim.AddFile(server + L"\\ZORPA.EXE", "zorpa-2");
        s.sim.AddFile(server + L"\\ZORPANEW.EXE", "zorpa-2");
        s.sim.SetSignature(server + L"\\ZORPANEW.EXE", c.offered);
        s.sim.SetSetting(L"RemplazarProgramas", L"1");

        EXPECT_EQ(s.Tick(), !c.staged) << "the supervisor ends once its new version is staged";
        EXPECT_EQ(s.sim.File(s.sim.folder + L"\\ZORPANEW.EXE").has_value(), c.staged);
        EXPECT_EQ(s.form->ReplaceAttempts, c.staged ? 0 : 1);
        EXPECT_FALSE(s.sim.File(s.sim.folder + L"\\ZORPANEW.EXE.new"));
    }
}

// Workers signed, changed after signing and unsigned are read for real by the Wine tests.
TEST(Publisher, StartUpRecordsWhoSignedTheSupervisorAndEachReplaceableWorker) {
    Supervisor s;
    s.sim.AddFile(s.sim.folder + L"\\ZORPA.exe", "zorpa");
    s.sim.SetSignature(s.sim.folder + L"\\ZORPA.exe", Publisher);
    s.sim.SetSignature(s.PathOf(zorpa::SlotId::GANDRO), Publisher);  // never replaced
    s.sim.SetSignature(s.PathOf(zorpa::SlotId::FENDA_TICKETS), Uncheckable);
    ASSERT_TRUE(s.Load());

    const std::string record = s.sim.File(s.sim.folder + L"\\ZORPA.log")->content;
    const std::string lines[] = {
        "TULVAN started: process ",
        "ZORPA.exe is signed by \"Site Publisher\" (thumbprint AA01): its new versions must come "
        "from the same publisher\r\n",
        "FENDA_TICKETS.EXE's signature cannot be checked on this Windows: its new versions are not "
        "held to a publisher\r\n",
    };
    std::size_t at = 0;
    for (const std::string& line : lines) {
        at = record.find(line, at);
        ASSERT_NE(at, std::string::npos) << "no \"" << line << "\" in order in\n" << record;
    }
    EXPECT_EQ(record.find("GANDRO.EXE"), std::string::npos) << record;
}

}  // namespace
