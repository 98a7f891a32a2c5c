#include "SimPlatform.h"

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <stdexcept>

#include "ErrorNumbers.h"
#include "ProgramImage.h"
#include "ProgramImages.h"
#include "Settings.h"
#include "Slots.h"

namespace sim {

using zorpa::FailedCall;
using zorpa::RuntimeError;
namespace ErrorNumber = zorpa::ErrorNumber;
namespace WindowsError = zorpa::WindowsError;

namespace {

constexpr double SecondsPerDay = 86400.0;
constexpr std::uint32_t StartCostMs = 8;
constexpr std::uint32_t AnswerCostMs = 1;

// A failure as the platform reports it: the number chosen by the same rule as on Windows.
// Windows' answer to a program it cannot load.
constexpr std::uint32_t BadProgramFormat = 193;

RuntimeError Failure(FailedCall call, std::uint32_t windowsError, const std::wstring& description) {
    return RuntimeError(zorpa::ErrorNumberFor(call, windowsError), description, windowsError);
}

std::wstring FileNameOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A file's bytes on the disk: a program's are those of a whole program of its version.
std::string RawBytes(const SimFile& file) {
    if (file.raw) return file.content;
    ImageSpec program;
    program.payload = file.content;
    program.version = file.version;
    return BuildImage(program);
}

std::wstring TrimBlanks(const std::wstring& text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

}  // namespace

SimPlatform::SimPlatform() = default;

std::wstring SimPlatform::Lower(const std::wstring& text) {
    std::wstring lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return lower;
}

std::string SimPlatform::Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

// --- set-up ---

// A file written anew is whole: one that grew while it was read is done growing.
void SimPlatform::AddFile(const std::wstring& path, const std::string& content) {
    files_[Lower(path)] = SimFile{content, false};
    growing_.erase(Lower(path));
}

void SimPlatform::AddRawFile(const std::wstring& path, const std::string& bytes) {
    files_[Lower(path)] = SimFile{bytes, false, true};
    growing_.erase(Lower(path));
}

void SimPlatform::AddWorkers(const std::string& version) {
    for (const zorpa::SlotInfo& slot : zorpa::Slots) AddFile(folder + slot.file, version);
}

void SimPlatform::RemoveFile(const std::wstring& path) { files_.erase(Lower(path)); }

std::optional<SimFile> SimPlatform::File(const std::wstring& path) const {
    const auto it = files_.find(Lower(path));
    if (it == files_.end()) return std::nullopt;
    return it->second;
}

void SimPlatform::SetReadOnly(const std::wstring& path, bool readOnly) {
    files_.at(Lower(path)).readOnly = readOnly;
}

void SimPlatform::SetSignature(const std::wstring& path, const zorpa::SignatureFacts& signature) {
    files_.at(Lower(path)).signature = signature;
}

void SimPlatform::SetTimeOfDay(double seconds) {
    timeOfDayAtZero_ = seconds - static_cast<double>(nowMs_) / 1000.0;
}

void SimPlatform::Hang(WindowHandle window) { windows_.at(window).state = WindowState::Hung; }

void SimPlatform::Resume(WindowHandle window) { windows_.at(window).state = WindowState::Answering; }

void SimPlatform::DestroyWindow(WindowHandle window) {
    windows_.erase(window);
    zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), window), zOrder_.end());
}

void SimPlatform::ExitProcess(ProcessId id) { EndProcess(processes_.at(id)); }

ProcessId SimPlatform::StartForeignProcess(ProcessId id, const std::wstring& holds) {
    if (IsRunning(id)) throw std::logic_error("process id still in use");
    processes_[id] = SimProcess{id, nextCreation_++, L"", "", 0, true, holds};
    CreateWindowFor(id);
    return id;
}

WindowHandle SimPlatform::CreateWindowFor(ProcessId id) {
    const WindowHandle handle = nextWindow_;
    nextWindow_ += 0x10;
    windows_[handle] = SimWindow{handle, id, WindowState::Answering};
    zOrder_.insert(zOrder_.begin(), handle);
    return handle;
}

WindowHandle SimPlatform::ReuseWindowHandle(WindowHandle handle, ProcessId id) {
    if (windows_.count(handle)) throw std::logic_error("window handle still in use");
    if (!IsRunning(id)) throw std::logic_error("no such process");
    windows_[handle] = SimWindow{handle, id, WindowState::Answering};
    zOrder_.insert(zOrder_.begin(), handle);
    return handle;
}

void SimPlatform::SetSetting(const std::wstring& key, const std::wstring& value) {
    settings_[SettingPath(L"velmo", zorpa::SettingsSection, key)] = value;
}

std::optional<std::wstring> SimPlatform::Setting(const std::wstring& key) const {
    const auto it = settings_.find(SettingPath(L"velmo", zorpa::SettingsSection, key));
    if (it == settings_.end()) return std::nullopt;
    return it->second;
}

// --- what happened ---

const SimProcess* SimPlatform::Process(ProcessId id) const {
    const auto it = processes_.find(id);
    return it == processes_.end() ? nullptr : &it->second;
}

bool SimPlatform::IsRunning(ProcessId id) const {
    const SimProcess* process = Process(id);
    return process && process->running;
}

std::vector<const SimProcess*> SimPlatform::RunningFrom(const std::wstring& fileName) const {
    std::vector<const SimProcess*> running;
    for (const auto& [id, process] : processes_) {
        if (process.running && Lower(FileNameOf(process.path)) == Lower(fileName)) {
            running.push_back(&process);
        }
    }
    return running;
}

std::vector<WindowHandle> SimPlatform::WindowsOf(ProcessId id) const {
    std::vector<WindowHandle> owned;
    for (WindowHandle handle : zOrder_) {
        if (windows_.at(handle).owner == id) owned.push_back(handle);
    }
    return owned;
}

// --- power cuts ---

bool SimPlatform::ChangeDisk(bool copy, const std::function<void(bool whole)>& write) {
    if (!powered_) return false;
    changeWasCopy.push_back(copy);
    if (!powerCut || powerCut->at != ++diskChanges) {
        write(true);
        return true;
    }
    if (powerCut->when != CutWhen::Before) write(powerCut->when == CutWhen::After);
    powered_ = false;
    return false;
}

void SimPlatform::PowerOn(std::uint64_t offForMs) {
    for (auto& [id, process] : processes_)
        if (process.running) EndProcess(process);
    exitsAt_.clear();
    startFaults_.clear();  // what held a file for a moment is long done
    nowMs_ += offForMs;
    powered_ = true;
    powerCut.reset();
}

std::vector<std::wstring> SimPlatform::Paths() const {
    std::vector<std::wstring> paths;
    for (const auto& [path, file] : files_) paths.push_back(path);
    return paths;
}

// --- processes ---

void SimPlatform::EndProcess(SimProcess& process) {
    process.running = false;
    for (WindowHandle handle : WindowsOf(process.id)) DestroyWindow(handle);
}

void SimPlatform::FinishExits() {
    for (auto it = exitsAt_.begin(); it != exitsAt_.end();) {
        if (it->second <= nowMs_) {
            EndProcess(processes_.at(it->first));
            it = exitsAt_.erase(it);
        } else {
            ++it;
        }
    }
}

zorpa::StartedProcess SimPlatform::StartProgram(const std::wstring& path, int showStyle) {
    nowMs_ += StartCostMs;
    FinishExits();
    const std::optional<SimFile> file = File(path);
    if (!file) {
        throw Failure(FailedCall::StartProgram, WindowsError::FileNotFound,
                      L"Cannot start " + path + L": " + ErrorText(WindowsError::FileNotFound));
    }

    const auto held = startFaults_.find(Lower(path));
    if (held != startFaults_.end() && held->second.second-- > 0)
        throw Failure(FailedCall::StartProgram, held->second.first,
                      L"Cannot start " + path + L": " + ErrorText(held->second.first));
    const auto fault = versionFaults.find(file->content);
    const std::vector<std::uint8_t> bytes =
        file->raw ? ReadWholeFile(path) : std::vector<std::uint8_t>{};
    if ((fault != versionFaults.end() && fault->second == VersionFault::WontStart) ||
        (file->raw && zorpa::WhyNotRunnable(bytes.data(), bytes.size(), windows64)))
        throw Failure(FailedCall::StartProgram, BadProgramFormat,
                      L"Cannot start " + path + L": " + ErrorText(BadProgramFormat));
    while (IsRunning(nextPid_)) nextPid_ += 4;
    const ProcessId id = nextPid_;
    nextPid_ += 4;
    processes_[id] = SimProcess{id, nextCreation_++, path, file->content, showStyle, true, L""};
    starts.push_back(StartRecord{path, showStyle, id});
    events.push_back("start " + Narrow(FileNameOf(path)) + " style " + std::to_string(showStyle));
    const ProgramBehaviour& behaviour = Behaviour(FileNameOf(path));
    if (fault != versionFaults.end() && fault->second == VersionFault::EndsAtOnce) {
        EndProcess(processes_[id]);
    } else if (behaviour.createsWindow &&
               (fault == versionFaults.end() || fault->second == VersionFault::AnswersOnce)) {
        for (int i = 0; i < behaviour.windows; ++i) CreateWindowFor(id);
    }
    return zorpa::StartedProcess{id, processes_[id].creationTime};
}

void SimPlatform::WaitUntilReady(const zorpa::StartedProcess& process, std::uint32_t timeoutMs) {
    ++waitsForReady;
    const SimProcess* started = Process(process.id);
    if (!started || started->creationTime != process.creationTime) return;
    const std::uint32_t startup = Behaviour(FileNameOf(started->path)).startupMs;
    nowMs_ += std::min(startup, timeoutMs);
}

bool SimPlatform::TerminateInstance(const zorpa::StartedProcess& process,
                                    std::uint32_t waitForEndMs) {
    FinishExits();
    const ProcessId id = process.id;
    auto it = processes_.find(id);
    if (it == processes_.end() || it->second.creationTime != process.creationTime ||
        !it->second.running)
        return false;
    // One that is ending already is not ended again: only waited for.
    const bool ended = !exitsAt_.count(id);
    if (ended) {
        terminated.push_back(id);
        events.push_back("terminate " + Narrow(FileNameOf(it->second.path)));
        if (exitDelayMs == 0) {
            EndProcess(it->second);
            return true;
        }
        exitsAt_[id] = nowMs_ + exitDelayMs;
    }
    // Waiting on the process: until it has ended or the time is up.
    const std::uint64_t waited = std::min<std::uint64_t>(exitsAt_[id] - nowMs_, waitForEndMs);
    nowMs_ += waited;
    waitedForEndMs += waited;
    FinishExits();
    return ended;
}

// --- windows ---

void SimPlatform::EnumerateTopLevelWindows(const std::function<bool(WindowHandle)>& visit) {
    FinishExits();
    const std::vector<WindowHandle> snapshot = zOrder_;
    for (WindowHandle handle : snapshot) {
        if (!visit(handle)) return;
    }
}

bool SimPlatform::GetWindowProcessId(WindowHandle window, ProcessId& id) {
    FinishExits();
    const auto it = windows_.find(window);
    if (it == windows_.end()) return false;
    id = it->second.owner;
    return true;
}

bool SimPlatform::SendNullWithTimeout(WindowHandle window, std::uint32_t timeoutMs) {
    FinishExits();
    ++sends[window];
    const auto it = windows_.find(window);
    if (it == windows_.end()) return false;
    if (it->second.state == WindowState::Hung) {
        nowMs_ += timeoutMs;
        return false;
    }
    nowMs_ += AnswerCostMs;
    SimProcess& owner = processes_.at(it->second.owner);
    const auto fault = versionFaults.find(owner.version);
    if (fault != versionFaults.end() && fault->second == VersionFault::AnswersOnce)
        EndProcess(owner);
    return true;
}

// --- clocks ---

double SimPlatform::SecondsSinceMidnight() {
    const double seconds = timeOfDayAtZero_ + static_cast<double>(nowMs_) / 1000.0;
    return std::fmod(std::fmod(seconds, SecondsPerDay) + SecondsPerDay, SecondsPerDay);
}

// 8 December 2026 when the simulation starts; the date moves on at each midnight.
zorpa::LocalTime SimPlatform::LocalTimeNow() {
    const double seconds = timeOfDayAtZero_ + static_cast<double>(nowMs_) / 1000.0;
    const double inDay = SecondsSinceMidnight();
    const auto milliseconds = static_cast<std::int64_t>(std::floor(inDay * 1000.0 + 0.5));
    const int day = 8 + static_cast<int>(std::floor(seconds / SecondsPerDay));
    return {2026, 12, day, static_cast<int>(milliseconds / 3600000),
            static_cast<int>(milliseconds / 60000 % 60), static_cast<int>(milliseconds / 1000 % 60),
            static_cast<int>(milliseconds % 1000), utcOffsetMinutes};
}

void SimPlatform::Sleep(std::uint32_t milliseconds) {
    nowMs_ += milliseconds;
    sleptMs += milliseconds;
    if (onSleep) onSleep();
}

// --- files ---

bool SimPlatform::FileExists(const std::wstring& path) {
    const std::wstring lower = Lower(path);
    for (const std::wstring& prefix : unlistable_) {
        if (lower.compare(0, prefix.size(), prefix) == 0) {
            throw Failure(FailedCall::ListFolder, WindowsError::InvalidName,
                          L"Bad file name or number: " + path);
        }
    }
    const auto it = files_.find(lower);
    return it != files_.end() && !it->second.hidden;
}

bool SimPlatform::FileInUse(const std::wstring& path) const {
    for (const auto& [id, process] : processes_) {
        if (process.running &&
            (Lower(process.path) == Lower(path) || Lower(process.holds) == Lower(path)))
            return true;
    }
    return false;
}

void SimPlatform::CheckWritable(const std::wstring& path) {
    const std::optional<SimFile> file = File(path);
    // Windows holds the file of a running program: the supervisor's own too.
    const bool own = Lower(path) == Lower(ProgramPath());
    ownFileChanges += own;
    if ((file && file->readOnly) || FileInUse(path) || own) {
        throw Failure(FailedCall::FileChange, WindowsError::AccessDenied,
                      L"Permission denied: " + path);
    }
}

// Nothing is written before a failure, as the real copy deletes what it wrote.
zorpa::CopiedFile SimPlatform::CopyToTemporary(const std::wstring& from,
                                               const std::wstring& temporary) {
    FinishExits();
    const std::optional<SimFile> source = File(from);
    if (!source) throw Failure(FailedCall::FileChange, WindowsError::FileNotFound, from);
    CheckWritable(temporary);
    const auto fault = readFaults_.find(Lower(from));
    if (fault != readFaults_.end()) throw fault->second;
    const auto growth = growing_.find(Lower(from));
    const std::string read = source->content + (growth == growing_.end() ? "" : growth->second);
    if (spaceLeft && read.size() > *spaceLeft)
        throw Failure(FailedCall::FileChange, WindowsError::DiskFull, L"Disk full: " + temporary);
    ChangeDisk(true, [&](bool whole) {
        SimFile copy{read, false, source->raw, false, source->signature, source->version};
        // Cut short: what was written of the program's bytes.
        if (!whole)
            copy = SimFile{RawBytes(*source).substr(0, RawBytes(*source).size() / 2), false, true};
        files_[Lower(temporary)] = copy;
        events.push_back("copy " + Narrow(FileNameOf(from)) + " to " +
                         Narrow(FileNameOf(temporary)));
    });
    return {source->content.size(), read.size()};
}

std::vector<std::uint8_t> SimPlatform::ReadWholeFile(const std::wstring& path) {
    const std::optional<SimFile> file = File(path);
    if (!file) throw Failure(FailedCall::FileChange, WindowsError::FileNotFound, path);
    const std::string bytes = RawBytes(*file);
    return {bytes.begin(), bytes.end()};
}

void SimPlatform::MoveFileOver(const std::wstring& from, const std::wstring& to) {
    FinishExits();
    const std::optional<SimFile> source = File(from);
    if (!source) throw Failure(FailedCall::FileChange, WindowsError::FileNotFound, from);
    if (const std::uint32_t error = std::max(FileError(from), FileError(to)))
        throw Failure(FailedCall::FileChange, error,
                      L"Cannot rename " + from + L": " + ErrorText(error));
    CheckWritable(to);
    ChangeDisk(false, [&](bool) {
        files_[Lower(to)] =
            SimFile{source->content, false, source->raw, false, source->signature, source->version};
        RemoveFile(from);
        if (scanAfterRename > 0)
            startFaults_[Lower(to)] = {WindowsError::SharingViolation, scanAfterRename};
        events.push_back("move " + Narrow(FileNameOf(from)) + " to " + Narrow(FileNameOf(to)));
    });
}

zorpa::SignatureFacts SimPlatform::ReadSignature(const std::wstring& path) {
    const std::optional<SimFile> file = File(path);
    return file ? file->signature : zorpa::SignatureFacts{};
}

void SimPlatform::DeleteFileIfPresent(const std::wstring& path) {
    FinishExits();
    if (!File(path)) return;
    CheckWritable(path);
    ChangeDisk(false, [&](bool) {
        RemoveFile(path);
        events.push_back("delete " + Narrow(FileNameOf(path)));
    });
}

std::uint32_t SimPlatform::FileError(const std::wstring& path) const {
    const auto it = fileErrors_.find(Lower(path));
    return it == fileErrors_.end() ? 0 : it->second;
}

zorpa::AppendResult SimPlatform::AppendToFile(const std::wstring& path, const std::string& bytes) {
    if (const std::uint32_t error = FileError(path)) return {error, 0};
    if (!powered_) return {0, 0};
    SimFile& file = files_[Lower(path)];
    file.content += bytes;
    return {0, file.content.size()};
}

std::wstring SimPlatform::ErrorText(std::uint32_t error) {
    switch (error) {
    case 2: return L"The system cannot find the file specified.";
    case 5: return L"Access is denied.";
    case 32: return L"The process cannot access the file because it is being used by another process.";
    case 112: return L"There is not enough space on the disk.";
    case BadProgramFormat: return L"%1 is not a valid Win32 application.";
    default: return L"System error " + std::to_wstring(error) + L".";
    }
}

// --- settings ---

std::wstring SimPlatform::SettingPath(const std::wstring& application, const std::wstring& section,
                                      const std::wstring& key) const {
    return Lower(application + L"\\" + section + L"\\" + key);
}

std::optional<std::wstring> SimPlatform::ReadSetting(const std::wstring& application,
                                                     const std::wstring& section,
                                                     const std::wstring& key) {
    const auto it = settings_.find(SettingPath(application, section, key));
    if (it == settings_.end()) return std::nullopt;
    return it->second;
}

void SimPlatform::WriteSetting(const std::wstring& application, const std::wstring& section,
                               const std::wstring& key, const std::wstring& value) {
    if (failingWrites_.count(Lower(key))) {
        throw RuntimeError(ErrorNumber::PathFileAccess, L"Cannot write setting " + key);
    }
    ChangeDisk(false, [&](bool) {
        settings_[SettingPath(application, section, key)] = value;
        events.push_back("write " + Narrow(key) + "=" + Narrow(value));
    });
}

// --- numbers: a strict parser of plain decimal numbers, blanks allowed around them ---

std::optional<double> SimPlatform::ToDouble(const std::wstring& text) {
    const std::wstring trimmed = TrimBlanks(text);
    if (trimmed.empty()) return std::nullopt;
    std::size_t i = (trimmed[0] == L'+' || trimmed[0] == L'-') ? 1 : 0;
    bool digits = false;
    bool point = false;
    for (; i < trimmed.size(); ++i) {
        if (std::iswdigit(trimmed[i])) {
            digits = true;
        } else if (trimmed[i] == L'.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    return std::stod(Narrow(trimmed));
}

std::optional<std::int16_t> SimPlatform::ToInt16(const std::wstring& text) {
    const std::optional<double> value = ToDouble(text);
    if (!value) return std::nullopt;
    const double rounded = std::nearbyint(*value);  // halves to even
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

// --- user interface ---

void SimPlatform::ShowMessage(const std::wstring& prompt, const std::wstring& title,
                              MessageIcon icon) {
    const MessageRecord record{prompt, title, icon};
    messages.push_back(record);
    events.push_back("message " + Narrow(prompt));
    if (whileMessageShown) whileMessageShown(record);
}

void SimPlatform::EndProgram() {
    events.push_back("end");
    throw ProgramEnded{};
}

}  // namespace sim
