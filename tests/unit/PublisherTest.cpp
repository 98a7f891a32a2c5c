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
const SignatureFacts Unreadable = Facts(SignatureState::Unreadable, L"", false, L"");
// The publisher's certificate once the terminal distrusts it: no root vouches for it any more.
const SignatureFacts Distrusted = [] {
    SignatureFacts facts = Facts(SignatureState::Intact, L"AA01", false);
    facts.distrusted = true;
    return facts;
}();
// The publisher's name with a NUL and more after it, under a trusted root.
const SignatureFacts NulInName = Facts(SignatureState::Intact, L"EE05", true,
                                       std::wstring(L"Site Publisher\0x", 16));

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
        {"copy unreadable", Publisher, Unreadable,
         notOurs + L"its signature cannot be read now" + publisher},
        {"name with a NUL, trusted", Publisher, NulInName,
         notOurs + L"signed by \"" + NulInName.signer + L"\" (thumbprint EE05)" + publisher},
        {"distrusted installed, same certificate", Distrusted, Distrusted,
         notOurs + L"signed by \"Site Publisher\" (thumbprint AA01) with a certificate this "
                   L"terminal distrusts, but TULVAN.EXE is signed by \"Site Publisher\" "
                   L"(thumbprint AA01)"},
        {"distrusted copy, same certificate", Publisher, Distrusted,
         notOurs + L"signed by \"Site Publisher\" (thumbprint AA01) with a certificate this "
                   L"terminal distrusts" + publisher},
        {"distrusted installed, renewed under a trusted root", Distrusted, Renewed, L""},
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

// A signature that cannot be read now says nothing of who made the file: the step fails before
// any worker is ended and counts a failed attempt; the next cycle reads it again.
TEST(Publisher, ASignatureThatCannotBeReadNowFailsTheStepUntilItCanBeRead) {
    const std::wstring source = L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE";
    const struct {
        const char* name;
        std::uint32_t answer;
        std::string reason;
    } cases[] = {
        {"held by another program", 32,
         "error 32: The process cannot access the file because it is being used by another "
         "process."},
        {"an answer not in the list", 0x800B010A, "the verifier answered 0x800B010A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Supervisor s;
        const std::wstring tulvan = s.PathOf(zorpa::SlotId::TULVAN);
        SignatureFacts unreadable = Unreadable;
        unreadable.answer = c.answer;
        s.sim.SetSignature(tulvan, unreadable);
        ASSERT_TRUE(s.Load());
        s.sim.AddFile(source, "v2");  // not signed
        s.sim.SetSetting(L"RemplazarProgramas", L"1");

        ASSERT_TRUE(s.Tick());
        EXPECT_EQ(s.sim.File(tulvan)->content, "v1");
        EXPECT_TRUE(s.sim.IsRunning(s.Slot(zorpa::SlotId::TULVAN).Pid)) << "no worker is ended";
        EXPECT_EQ(s.form->ReplaceAttempts, 1);
        EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"1");
        const std::string record = s.sim.File(s.sim.folder + L"\\ZORPA.log")->content;
        const std::string line =
            "RemplazarProgramas failed with run-time error 55 (failed attempt 1 of 10, the request "
            "stays set): the signature of C:\\Terminal\\TULVAN.EXE cannot be read now, so "
            "\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE cannot be checked against it: " + c.reason +
            "\r\n";
        EXPECT_NE(record.find(line), std::string::npos) << record;
    }
}

// A copy whose version resource names another program than the installed file's is refused,
// whoever signed it; an install names both versions, and an older one says that it is.
TEST(Publisher, OnlyTheSameProgramReplacesAWorkerAndTheRecordNamesBothVersions) {
    using sim::VersionSpec;
    const std::optional<VersionSpec> none;
    const std::string source = "\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE";
    const struct {
        const char* name;
        std::optional<VersionSpec> installed, offered;
        std::string line;  // the refusal's words after the path, or the install line's start
        bool installedHere;
    } cases[] = {
        {"a newer version", VersionSpec{0x0001000400000002, "TULVAN.EXE"},
         VersionSpec{0x0001000500000000, "TULVAN.EXE"},
         "TULVAN updated from 1.4.0.2 to 1.5.0.0 in " + source + ", ", true},
        {"an older version, its name in other case", VersionSpec{0x0001000400000002, "TULVAN.EXE"},
         VersionSpec{0x0001000300000000, "tulvan.exe"},
         "TULVAN updated from 1.4.0.2 to 1.3.0.0 (an older version) in " + source + ", ", true},
        {"another program", VersionSpec{0x0001000400000002, "TULVAN.EXE"},
         VersionSpec{0x0002000000000000, "GANDRO.EXE"},
         "is another program: its original file name is \"GANDRO.EXE\", but TULVAN.EXE's is "
         "\"TULVAN.EXE\"\r\n",
         false},
        {"installed names no program", VersionSpec{0x0001000400000002, ""},
         VersionSpec{0x0002000000000000, "GANDRO.EXE"},
         "TULVAN updated from 1.4.0.2 to 2.0.0.0 in " + source + ", ", true},
        {"copy without a version resource", VersionSpec{0x0001000400000002, "TULVAN.EXE"}, none,
         "TULVAN updated from " + source + ", ", true},
        {"installed without a version resource", none, VersionSpec{0x0001000500000000, "X.EXE"},
         "TULVAN updated from " + source + ", ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Supervisor s;
        const std::wstring tulvan = s.PathOf(zorpa::SlotId::TULVAN);
        if (c.installed) s.sim.SetVersion(tulvan, *c.installed);
        s.sim.SetSignature(tulvan, Publisher);
        ASSERT_TRUE(s.Load());
        const std::wstring offered = L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE";
        s.sim.AddFile(offered, "v2");
        if (c.offered) s.sim.SetVersion(offered, *c.offered);
        s.sim.SetSignature(offered, Publisher);
        s.sim.SetSetting(L"RemplazarProgramas", L"1");

        ASSERT_TRUE(s.Tick());
        EXPECT_EQ(s.sim.File(tulvan)->content, c.installedHere ? "v2" : "v1");
        const std::string record = s.sim.File(s.sim.folder + L"\\ZORPA.log")->content;
        const std::string line =
            c.installedHere ? c.line
                            : "RemplazarProgramas failed with run-time error 419 (failed attempt 1 "
                              "of 10, the request stays set): " + source + " " + c.line;
        EXPECT_NE(record.find(line), std::string::npos) << record;
    }
}

// Workers signed, changed after signing and unsigned are read for real by the Wine tests.
TEST(Publisher, StartUpRecordsWhoSignedTheSupervisorAndEachReplaceableWorker) {
    Supervisor s;
    s.sim.AddFile(s.sim.folder + L"\\ZORPA.exe", "zorpa");
    s.sim.SetSignature(s.sim.folder + L"\\ZORPA.exe", Publisher);
    s.sim.SetSignature(s.PathOf(zorpa::SlotId::GANDRO), Publisher);  // never replaced
    s.sim.SetSignature(s.PathOf(zorpa::SlotId::FENDA_IMPRESION), Unreadable);
    s.sim.SetSignature(s.PathOf(zorpa::SlotId::FENDA_TICKETS), Uncheckable);
    ASSERT_TRUE(s.Load());

    const std::string record = s.sim.File(s.sim.folder + L"\\ZORPA.log")->content;
    const std::string lines[] = {
        "TULVAN started: process ",
        "ZORPA.exe is signed by \"Site Publisher\" (thumbprint AA01): its new versions must come "
        "from the same publisher\r\n",
        "FENDA_IMPRESION.EXE's signature cannot be read now: its publisher is read again before "
        "each update\r\n",
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
