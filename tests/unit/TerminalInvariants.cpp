#include "TerminalInvariants.h"

#include <algorithm>
#include <regex>

#include "LogFile.h"

using zorpa::SignatureState;
using zorpa::SlotId;

namespace {

constexpr std::size_t StampLength = 31;  // "2026-12-08 10:00:00.000 +01:00 "

std::string Name(SlotId id) { return sim::SimPlatform::Narrow(zorpa::InfoOf(id).name); }

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// What the file holds; nothing when it is not there.
std::string Content(const sim::SimPlatform& sim, const std::wstring& name) {
    return sim.File(sim.folder + L"\\" + name).value_or(sim::SimFile{}).content;
}

}  // namespace

TerminalInvariants::TerminalInvariants(Supervisor& s) : s_(s) {
    for (SlotId id : zorpa::StartOrder) {
        const auto i = static_cast<std::size_t>(id);
        last_[i] = s_.sim.File(s_.PathOf(id))->content;
        signature_[i] = s_.sim.File(s_.PathOf(id))->signature;
        held_[i].insert(last_[i]);
    }
}

std::string TerminalInvariants::AfterEvent(std::uint64_t tickMs) {
    if (tickMs > CycleBoundMs) return "a check cycle took " + std::to_string(tickMs) + " ms";
    if (s_.form->Module().RememberedInstances() > RememberedBound)
        return "the supervisor remembers more than " + std::to_string(RememberedBound) +
               " instances";
    std::string broken = WorkerFiles();
    if (broken.empty()) broken = Steps();
    stepFailed_ = false;
    if (broken.empty()) broken = RecordLines();
    // A worker that was running before a failed step was started again (a bad new version may
    // then end by itself, which its trial takes care of).
    const std::array<bool, zorpa::SlotCount> running = Running();
    for (SlotId id : zorpa::StartOrder) {
        const auto i = static_cast<std::size_t>(id);
        const bool started =
            std::any_of(s_.sim.starts.begin() + startsSeen_, s_.sim.starts.end(),
                        [&](const auto& start) { return start.path == s_.PathOf(id); });
        if (broken.empty() && stepFailed_ && running_[i] && !running[i] && !started)
            broken = "a failed step left " + Name(id) + " down";
    }
    running_ = running;
    startsSeen_ = s_.sim.starts.size();
    return broken;
}

std::array<bool, zorpa::SlotCount> TerminalInvariants::Running() const {
    std::array<bool, zorpa::SlotCount> running{};
    for (SlotId id : zorpa::StartOrder)
        running[static_cast<std::size_t>(id)] =
            !s_.sim.RunningFrom(zorpa::InfoOf(id).file + 1).empty();
    return running;
}

// No worker lost, and the publisher rule.
std::string TerminalInvariants::WorkerFiles() {
    for (SlotId id : zorpa::StartOrder) {
        const auto i = static_cast<std::size_t>(id);
        const std::optional<sim::SimFile> file = s_.sim.File(s_.PathOf(id));
        if (!file) return Name(id) + ".EXE is gone";
        if (file->raw) return Name(id) + ".EXE is not a whole program";
        if (const wchar_t* offer = zorpa::InfoOf(id).replacement) {
            const auto offered = s_.sim.File(std::wstring(ServerFolder) + offer);
            if (offered && !offered->raw) offered_[i].insert(offered->content);
        }
        if (file->content == last_[i]) continue;
        const bool heldBefore = held_[i].count(file->content) > 0;
        if (!heldBefore && !offered_[i].count(file->content))
            return Name(id) + ".EXE holds " + file->content + ", never held nor offered";
        // A signed worker takes a new version only from its own publisher.
        const zorpa::SignatureFacts& was = signature_[i];
        const zorpa::SignatureFacts& is = file->signature;
        if (!heldBefore && was.state == SignatureState::Intact &&
            (is.state != SignatureState::Intact ||
             (is.thumbprint != was.thumbprint && !(is.trustedChain && is.subject == was.subject))))
            return Name(id) + ".EXE, signed, took " + file->content + " from another publisher";
        held_[i].insert(last_[i] = file->content);
        signature_[i] = file->signature;
    }
    return {};
}

// Only what it started, never its own file, a request ends, and one step has one outcome.
std::string TerminalInvariants::Steps() {
    const sim::SimPlatform& sim = s_.sim;
    for (; terminatedSeen_ < sim.terminated.size(); ++terminatedSeen_)
        if (sim.Process(sim.terminated[terminatedSeen_])->path.empty())
            return "ended process " + std::to_string(sim.terminated[terminatedSeen_]) +
                   ", which it did not start";
    if (sim.ownFileChanges > 0) return "tried to replace or delete the file it runs from";
    const std::string staged = Content(sim, L"ZORPANEW.EXE");
    if (staged != ownStaged_ && !s_.ended) return "staged ZORPANEW.EXE and ran on";
    ownStaged_ = staged;
    return {};
}

// The record tells the truth about what it ended, started and confirmed.
std::string TerminalInvariants::RecordLines() {
    static const std::regex failed("failed attempt \\d+ of (-?\\d+)");
    static const std::regex ended(
        "\\(process (\\d+)\\) ended after|process(?:es)? ([0-9, ]+) ended "
        "for it|obeyed: ended (.*)");
    static const std::regex number("\\d+");
    static const std::regex started("^(\\w+) .*started[^:]*: process (\\d+)");
    static const std::regex confirmed("^(\\w+)'s new version confirmed");
    const sim::SimPlatform& sim = s_.sim;
    const std::string record = Content(sim, L"ZORPA.log");
    if (record.size() < recordSeen_) recordSeen_ = 0;  // moved aside
    for (std::size_t end; (end = record.find("\r\n", recordSeen_)) != std::string::npos;
         recordSeen_ = end + 2) {
        const std::string line =
            record.substr(recordSeen_ + StampLength, end - recordSeen_ - StampLength);
        std::smatch m;
        const auto worker = [&] {
            return sim.folder + L"\\" + std::wstring(m[1].first, m[1].second) + L".EXE";
        };
        if (std::regex_search(line, m, failed) && ++failuresInARow_ > std::max(1, std::stoi(m[1])))
            return "a failing request was not given up: " + line;
        stepFailed_ = stepFailed_ || !m.empty();
        if (Contains(line, "request cleared") || Contains(line, "cleared without trying"))
            failuresInARow_ = 0;
        if (Contains(line, "could not be started from"))
            startError_ = line.substr(line.rfind(": error ") + 8);
        if (line.rfind("ZORPA ends: ", 0) == 0 && !Ending(line.substr(12)).empty())
            return Ending(line.substr(12));
        if (std::regex_search(line, m, ended)) {
            const std::string ids = m[1].str() + m[2].str() + m[3].str();
            for (std::sregex_iterator n(ids.begin(), ids.end(), number), last; n != last; ++n)
                if (std::count(sim.terminated.begin(), sim.terminated.end(), std::stoi(n->str())) ==
                    0)
                    return "the record says it ended " + n->str() + ", which it did not: " + line;
        }
        if (std::regex_search(line, m, started)) {
            const std::wstring path = worker();
            const bool found =
                std::any_of(sim.starts.begin(), sim.starts.end(), [&](const auto& start) {
                    return start.id == std::stoi(m[2]) &&
                           sim::SimPlatform::Lower(start.path) == sim::SimPlatform::Lower(path);
                });
            if (!found) return "the record names a start that did not happen: " + line;
        }
        if (std::regex_search(line, m, confirmed)) {
            if (sim.File(worker() + L".old"))
                return "confirmed, yet the previous version is still kept: " + line;
            // Only a version that keeps running is confirmed.
            if (sim.versionFaults.count(sim.File(worker())->content))
                return "a faulty version confirmed: " + line;
        }
    }
    return {};
}

// The supervisor ends only for a documented reason: never for a start Windows refused only
// for a moment.
std::string TerminalInvariants::Ending(const std::string& why) {
    const bool held = startError_.rfind("5:", 0) == 0 || startError_.rfind("32:", 0) == 0;
    if (why == "ShutDown was set" || why == "Exit was set" ||
        why.rfind("its new version is staged", 0) == 0 ||
        (Contains(why, " could not be started") && !held))
        return {};
    return "the supervisor ended: " + why + (held ? " (error " + startError_ + ")" : "");
}

std::string TerminalInvariants::AfterStartUp() {
    failuresInARow_ = 0;
    running_ = Running();
    ownStaged_ = Content(s_.sim, L"ZORPANEW.EXE");
    std::set<std::wstring> documented{L"zorpanew.exe", L"zorpa.log", L"zorpa.1.log", L"zorpa.2.log",
                                      sim::SimPlatform::Lower(s_.sim.programFile)};
    for (const zorpa::SlotInfo& slot : zorpa::Slots) {
        const std::wstring file = sim::SimPlatform::Lower(slot.file + 1);
        documented.insert({file, file + L".old"});
    }
    const std::wstring folder = sim::SimPlatform::Lower(s_.sim.folder + L"\\");
    for (const std::wstring& path : s_.sim.Paths())
        if (path.rfind(folder, 0) == 0 && !documented.count(path.substr(folder.size())))
            return "left in the folder after a start-up: " + sim::SimPlatform::Narrow(path);
    return AfterEvent();
}

// Every worker runs once (a supervisor that ended said why as it ended).
std::string TerminalInvariants::WhenQuiet() {
    if (s_.ended) return {};
    for (const zorpa::SlotInfo& slot : zorpa::Slots)
        if (s_.sim.RunningFrom(slot.file + 1).size() != 1)
            return sim::SimPlatform::Narrow(slot.name) + " runs " +
                   std::to_string(s_.sim.RunningFrom(slot.file + 1).size()) + " times once quiet";
    return {};
}
