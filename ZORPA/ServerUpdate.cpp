#include "ServerUpdate.h"

#include "KeptVersion.h"
#include "ProgramImage.h"
#include "StagedFile.h"

namespace zorpa {

bool ServerUpdate::Run(const std::wstring& serverFolder) {
    // Refuses a copy that is not a whole program this Windows can run.
    const UpdateTransaction::Check check = [this](const std::vector<std::uint8_t>& content,
                                                  const std::wstring& source, const std::wstring&) {
        if (const auto why =
                WhyNotRunnable(content.data(), content.size(), platform_.Is64BitWindows()))
            throw RuntimeError(ErrorNumber::InvalidFileFormat,
                               source + L" is not a program this terminal can run: " + *why);
    };
    UpdateTransaction step(platform_, callDlls_, log_, versions_, slots_, replaceAttempts_,
                           startHidden_);
    for (SlotId id : ReplaceOrder) {
        const std::wstring source = serverFolder + InfoOf(id).replacement;
        if (platform_.FileExists(source)) step.AddWorker(id, source, check);
    }
    // The supervisor never replaces its own file: it leaves the new version beside itself for
    // the site to start, and only when the server really offers one.
    const std::wstring ownSource = serverFolder + OwnUpdateFile;
    if (platform_.FileExists(serverFolder + OwnUpdateMarker) && platform_.FileExists(ownSource))
        step.AddOwnUpdate(ownSource, PathOf(OwnUpdateFile), check);
    return step.Commit(WaitMs);
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
