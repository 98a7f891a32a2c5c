#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "Platform.h"

namespace zorpa {

// The kinds of record line that support acts on, which also go to the Event Log.
enum class EventKind {
    Started,
    Ending,
    WorkerNotStarted,
    WorkerRestarted,
    CommandObeyed,
    WorkerUpdated,
    OwnUpdateStaged,
    UpdateFailed,
    UpdateRefused,
    UpdateGivenUp,
    NewVersionNotStarted,
    NewVersionGivenUp,
    RolledBack,
    RollBackFailed,
    VersionConfirmed,
    RunTimeError,
    HeldBack,  // how many events of one ID the budget kept out of the log
};

struct EventInfo {
    EventKind kind;
    std::uint32_t id;
    EventLevel level;
};

// Sites build alerts and filters on these IDs: never renumber one. The message table in
// win32/ZORPAEvents.mc holds the same IDs.
inline constexpr EventInfo Events[] = {
    {EventKind::Started, 100, EventLevel::Information},
    {EventKind::Ending, 101, EventLevel::Information},
    {EventKind::WorkerNotStarted, 110, EventLevel::Error},
    {EventKind::WorkerRestarted, 111, EventLevel::Warning},
    {EventKind::CommandObeyed, 120, EventLevel::Information},
    {EventKind::WorkerUpdated, 130, EventLevel::Information},
    {EventKind::OwnUpdateStaged, 131, EventLevel::Information},
    {EventKind::UpdateFailed, 132, EventLevel::Warning},
    {EventKind::UpdateRefused, 133, EventLevel::Error},
    {EventKind::UpdateGivenUp, 134, EventLevel::Error},
    {EventKind::NewVersionNotStarted, 140, EventLevel::Warning},
    {EventKind::NewVersionGivenUp, 141, EventLevel::Warning},
    {EventKind::RolledBack, 142, EventLevel::Warning},
    {EventKind::RollBackFailed, 143, EventLevel::Error},
    {EventKind::VersionConfirmed, 144, EventLevel::Information},
    {EventKind::RunTimeError, 150, EventLevel::Error},
    {EventKind::HeldBack, 190, EventLevel::Warning},
};

constexpr bool InKindOrder() {
    for (std::size_t i = 0; i < std::size(Events); ++i)
        if (static_cast<std::size_t>(Events[i].kind) != i) return false;
    return true;
}
static_assert(InKindOrder(), "one row per kind, in the order of EventKind");

constexpr const EventInfo& InfoOf(EventKind kind) { return Events[static_cast<int>(kind)]; }

}  // namespace zorpa
