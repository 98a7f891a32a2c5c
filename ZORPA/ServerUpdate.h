#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "Platform.h"
#include "UpdateTransaction.h"

namespace zorpa {

// The replacement step of the check cycle: new versions of three workers from the server
// folder, each checked, put in place whole and kept on trial, and the supervisor's own new
// version staged beside it, all in one transaction.
class ServerUpdate {
public:
    explicit ServerUpdate(UpdateParties parties)
        : parties_(std::move(parties)), platform_(parties_.platform) {}

    // Installs what the server offers; the first failure ends the step with RuntimeError.
    // True when the supervisor's own new version was staged, after which it must end.
    bool Run(const std::wstring& serverFolder);
    // What a crash or power cut between copy and rename left behind, by its fixed names only.
    void DeleteLeftovers();

    // What one step may wait, in all, for ended workers to let go of their files.
    static constexpr std::uint32_t WaitMs = 2000;

private:
    UpdateTransaction::Check CheckAgainst(const std::wstring& installed);
    std::wstring PathOf(const wchar_t* file) { return platform_.ProgramFolder() + file; }

    UpdateParties parties_;
    Platform& platform_;
};

}  // namespace zorpa
