#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace zorpa {

// Keeps one terminal's events from filling the Application log (512 KB on XP, where a full
// log drops every program's new events): the first few events of an ID are written, later
// ones are held back and counted, and the count is written once per hold. Holds last an hour
// and double while the ID keeps coming, up to a day; a day without the ID starts afresh.
// Pure: the caller gives the time and writes what it is told to.
class EventBudget {
public:
    static constexpr int FreeEvents = 3;
    static constexpr std::uint64_t FirstHoldMs = 60 * 60 * 1000;
    static constexpr std::uint64_t LongestHoldMs = 24 * FirstHoldMs;

    struct HeldBack {
        std::uint32_t id = 0;
        std::uint32_t count = 0;
        std::uint64_t sinceMs = 0;  // when the first of them came
    };
    struct Verdict {
        std::optional<HeldBack> told;  // to be written first: the count of a hold that is over
        bool write = false;            // whether this event is written
    };

    Verdict Admit(std::uint32_t id, std::uint64_t nowMs);
    // Every count not told yet, for the supervisor's last events; forgets them.
    std::vector<HeldBack> TakeUntold();

private:
    struct State {
        int written = 0;
        std::uint64_t lastMs = 0;
        std::uint64_t holdStartMs = 0;
        std::uint64_t holdMs = 0;  // 0: nothing held back since the free events
        HeldBack held;
    };
    static std::optional<HeldBack> Take(State& state);

    std::map<std::uint32_t, State> states_;
};

}  // namespace zorpa
