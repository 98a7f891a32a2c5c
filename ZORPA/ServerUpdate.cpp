#include "ServerUpdate.h"

#include "KeptVersion.h"
#include "ProgramImage.h"
#include "Publisher.h"
#include "StagedFile.h"
#include "VersionResource.h"

namespace zorpa {

bool ServerUpdate::Run(const std::wstring& serverFolder) {
    UpdateTransaction step(parties_);
    for (SlotId id : ReplaceOrder) {
        const std::wstring source = serverFolder + InfoOf(id).replacement;
        if (platform_.FileExists(source))
            step.AddWorker(id, source, CheckAgainst(PathOf(InfoOf(id).file)));
    }
    // The supervisor never replaces its own file: it leaves the new version beside itself for
    // the site to start, and only when the server really offers one. It is held to the file
    // this supervisor was started from, whatever its name.
    const std::wstring ownSource = serverFolder + OwnUpdateFile;
    if (platform_.FileExists(serverFolder + OwnUpdateMarker) && platform_.FileExists(ownSource))
        step.AddOwnUpdate(ownSource, PathOf(OwnUpdateFile), CheckAgainst(platform_.ProgramPath()));
    return step.Commit(WaitMs);
}

// Refuses a copy that is not a whole program this Windows can run, that is not from the
// publisher of the `installed` file it is to replace, or whose version resource names another
// program than that file's; says which version replaces which.
UpdateTransaction::Check ServerUpdate::CheckAgainst(const std::wstring& installed) {
    return [this, installed](const std::vector<std::uint8_t>& content, const std::wstring& source,
                             const std::wstring& copy) {
        if (const auto why =
                WhyNotRunnable(content.data(), content.size(), platform_.Is64BitWindows()))
            throw RuntimeError(ErrorNumber::InvalidFileFormat,
                               source + L" is not a program this terminal can run: " + *why);
        CheckPublisher(platform_, installed, copy, source);
        const std::optional<ProgramVersion> offered = VersionOf(content.data(), content.size());
        if (!offered || !platform_.FileExists(installed)) return std::wstring();
        const std::vector<std::uint8_t> current = platform_.ReadWholeFile(installed);
        const std::optional<ProgramVersion> present = VersionOf(current.data(), current.size());
        if (!present) return std::wstring();
        if (const auto why = WhyAnotherProgram(*present, *offered, FileNameOf(installed)))
            throw RuntimeError(ErrorNumber::PermissionToUseObjectDenied, source + L" " + *why);
        return VersionStep(*present, *offered);
    };
}

void ServerUpdate::DeleteLeftovers() {
    for (SlotId id : ReplaceOrder) {
        const std::wstring worker = PathOf(InfoOf(id).file);
        StagedFile::DeleteLeftover(platform_, worker);
        StagedFile::DeleteLeftover(platform_, KeptVersion::KeptOf(worker));
    }
    StagedFile::DeleteLeftover(platform_, PathOf(OwnUpdateFile));
}

}  // namespace zorpa
