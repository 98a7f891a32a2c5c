#include "EventBudget.h"

#include <algorithm>

namespace zorpa {

std::optional<EventBudget::HeldBack> EventBudget::Take(State& state) {
    if (state.held.count == 0) return std::nullopt;
    const HeldBack held = state.held;
    state.held.count = 0;
    return held;
}

EventBudget::Verdict EventBudget::Admit(std::uint32_t id, std::uint64_t nowMs) {
    const auto [entry, first] = states_.try_emplace(id);
    State& state = entry->second;
    Verdict verdict;
    if (!first && nowMs - state.lastMs >= LongestHoldMs) {
        verdict.told = Take(state);
        state = State{};
    }
    state.lastMs = nowMs;
    if (state.written < FreeEvents) {
        ++state.written;
        verdict.write = true;
        return verdict;
    }
    if (state.holdMs == 0) {
        state.holdMs = FirstHoldMs;
        state.holdStartMs = nowMs;
    } else if (nowMs - state.holdStartMs >= state.holdMs) {
        verdict.told = Take(state);
        state.holdStartMs = nowMs;
        state.holdMs = std::min(2 * state.holdMs, LongestHoldMs);
    }
    if (state.held.count++ == 0) state.held = {id, 1, nowMs};
    return verdict;
}

std::vector<EventBudget::HeldBack> EventBudget::TakeUntold() {
    std::vector<HeldBack> untold;
    for (auto& [id, state] : states_)
        if (const std::optional<HeldBack> held = Take(state)) untold.push_back(*held);
    return untold;
}

}  // namespace zorpa
