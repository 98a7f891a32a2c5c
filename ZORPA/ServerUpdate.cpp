#include "ServerUpdate.h"

#include <algorithm>

#include "ProgramImage.h"
#include "Publisher.h"
#include "StagedFile.h"

namespace zorpa {

namespace {

// The worker's current file, kept whole beside it for the new version's trial. A version
// already kept is the last one that came up, and stays. Unless the new version takes the
// worker's place, the copy made here is deleted again.
class KeptVersion {
public:
    KeptVersion(Platform& platform, const std::wstring& worker)
        : platform_(platform), kept_(WorkerVersions::KeptOf(worker)) {
        if (platform_.FileExists(kept_) || !platform_.FileExists(worker)) return;
        StagedFile::CopyWhole(platform_, worker, kept_);
        madeHere_ = true;
    }
    ~KeptVersion() {
        if (madeHere_ && !needed_) DeleteQuietly(platform_, kept_);
    }
    KeptVersion(const KeptVersion&) = delete;
    KeptVersion& operator=(const KeptVersion&) = delete;
    void Needed() { needed_ = true; }

private:
    Platform& platform_;
    std::wstring kept_;
    bool madeHere_ = false;
    bool needed_ = false;
};

// Refuses a copy that is not a whole program this Windows can run, before anything is ended.
void CheckRunnable(Platform& platform, const std::vector<std::uint8_t>& content,
                   const std::wstring& source) {
    if (const auto why = WhyNotRunnable(content.data(), content.size(), platform.Is64BitWindows()))
        throw RuntimeError(ErrorNumber::InvalidFileFormat,
                           source + L" is not a program this terminal can run: " + *why);
}

}  // namespace

bool ServerUpdate::Run(const std::wstring& serverFolder) {
    waitLeftMs_ = WaitMs;
    for (SlotId id : ReplaceOrder) ReplaceWorker(id, serverFolder);
    return StageOwnUpdate(serverFolder);
}

// Installs the worker's new version when the server offers one. The copy is made and checked
// while the worker still runs, so a server that cannot be read or a bad file leaves it
// running; the worker is down only for the rename.
void ServerUpdate::ReplaceWorker(SlotId id, const std::wstring& serverFolder) {
    const SlotInfo& info = InfoOf(id);
    const std::wstring source = serverFolder + info.replacement;
    if (!platform_.FileExists(source)) return;
    const std::wstring worker = PathOf(info.file);
    StagedFile update(platform_, source, worker);
    const std::vector<std::uint8_t> content = update.Content();
    // Installed already, perhaps by a cycle that then failed on another worker.
    if (platform_.FileExists(worker) && platform_.ReadWholeFile(worker) == content) {
        log_.AlreadyInstalled(id, source);
        return;
    }
    CheckRunnable(platform_, content, source);
    CheckPublisher(platform_, worker, update.TemporaryPath(), source);
    KeptVersion previous(platform_, worker);
    ProgramSlot& slot = slots_[static_cast<std::size_t>(id)];
    const bool ended = EndForUpdate(slot);
    update.PutInPlace(waitLeftMs_);
    previous.Needed();
    versions_.Installed(id);
    replaceAttempts_ = 0;
    log_.WorkerUpdated(id, slot.Pid, ended, source, update.Bytes());
}

// The supervisor never replaces its own file: it leaves the new version beside itself for the
// site to start, and only when the server really offers one.
bool ServerUpdate::StageOwnUpdate(const std::wstring& serverFolder) {
    const std::wstring source = serverFolder + OwnUpdateFile;
    if (!platform_.FileExists(serverFolder + OwnUpdateMarker) || !platform_.FileExists(source))
        return false;
    StagedFile update(platform_, source, PathOf(OwnUpdateFile));
    CheckRunnable(platform_, update.Content(), source);
    // Held to the file this supervisor was started from, whatever its name.
    CheckPublisher(platform_, platform_.ProgramPath(), update.TemporaryPath(), source);
    update.PutInPlace(waitLeftMs_);
    log_.OwnUpdateStaged(source, PathOf(OwnUpdateFile), update.Bytes());
    return true;
}

// Ending a process is asynchronous: wait, within what the step may still wait, until the
// worker has let go of its file. True when the worker was ended here.
bool ServerUpdate::EndForUpdate(ProgramSlot& slot) {
    const std::uint64_t start = platform_.MonotonicMilliseconds();
    const bool ended =
        callDlls_.KillProgram(slot.Window, slot.Pid, std::min(CallDlls::EndWaitMs, waitLeftMs_));
    const std::uint64_t waited = platform_.MonotonicMilliseconds() - start;
    waitLeftMs_ -= static_cast<std::uint32_t>(std::min<std::uint64_t>(waited, waitLeftMs_));
    return ended;
}

void ServerUpdate::DeleteLeftovers() {
    for (SlotId id : ReplaceOrder) StagedFile::DeleteLeftover(platform_, PathOf(InfoOf(id).file));
    StagedFile::DeleteLeftover(platform_, PathOf(OwnUpdateFile));
}

}  // namespace zorpa
