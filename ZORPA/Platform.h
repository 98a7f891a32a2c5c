#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "RuntimeError.h"
#include "SignatureFacts.h"

namespace zorpa {

// Window handles travel as plain numbers; 0 means "no window".
using WindowHandle = std::uintptr_t;
// Process ids are signed so that -1 can mean "the start failed".
using ProcessId = std::int32_t;

enum class MessageIcon { None, Exclamation, Critical };

// The level of an event in Windows' Application log.
enum class EventLevel { Information, Warning, Error };

// What the platform tells about a program it has just started.
struct StartedProcess {
    ProcessId id = 0;
    // Creation time of that process; with the id it names exactly this instance,
    // even after the id has been handed to another program.
    std::uint64_t creationTime = 0;
};

// A moment on the local clock, with the difference to UTC that was in force at that moment.
struct LocalTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    int utcOffsetMinutes = 0;  // local time minus UTC: +60 in Madrid in winter
};

// The outcome of appending to a file: Windows' error code (0 when it was written whole) and
// the file's size after the write.
struct AppendResult {
    std::uint32_t error = 0;
    std::uint64_t sizeAfter = 0;
};

// What a whole-file copy found and wrote.
struct CopiedFile {
    std::uint64_t sourceBytes = 0;  // the source's size when the copy began
    std::uint64_t bytesWritten = 0;
};

// Every platform call the supervisor makes. Production binds it to Win32; the unit
// tests bind it to a deterministic simulation. Calls that can fail the way a file or
// process operation fails throw RuntimeError; everything else reports through its result.
class Platform {
public:
    virtual ~Platform() = default;

    // --- processes ---
    // Starts the program at `path` (application name and quoted command line) with the
    // given show-window style; throws RuntimeError when it cannot be started.
    virtual StartedProcess StartProgram(const std::wstring& path, int showStyle) = 0;
    // Waits, at most `timeoutMs`, until the started program waits for input.
    virtual void WaitUntilReady(const StartedProcess& process, std::uint32_t timeoutMs) = 0;
    // Opens the process with all access and terminates it with exit code 0, but only when
    // the process with that id is still the instance created at `creationTime` and still
    // running; failures are ignored. Termination is asynchronous: then waits up to
    // `waitForEndMs` until the process has really ended (and let go of its files). True when
    // it ended a running instance; false when that instance had ended by itself, or could not
    // be ended.
    virtual bool TerminateInstance(const StartedProcess& process, std::uint32_t waitForEndMs) = 0;

    // --- windows ---
    // Visits the top-level windows, top of the z-order first, until `visit` returns false.
    virtual void EnumerateTopLevelWindows(const std::function<bool(WindowHandle)>& visit) = 0;
    // Writes the owning process's id into `id`; returns false, leaving `id` alone,
    // when the window does not exist.
    virtual bool GetWindowProcessId(WindowHandle window, ProcessId& id) = 0;
    // Sends WM_NULL with SMTO_NORMAL and the given time-out; true when it was processed in time.
    virtual bool SendNullWithTimeout(WindowHandle window, std::uint32_t timeoutMs) = 0;

    // --- clocks ---
    // Local time of day in seconds since midnight, with fractions (wraps at midnight).
    virtual double SecondsSinceMidnight() = 0;
    // Milliseconds from an arbitrary start; never goes back and does not wrap.
    virtual std::uint64_t MonotonicMilliseconds() = 0;
    virtual LocalTime LocalTimeNow() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // --- files ---
    // Folder of the running program, without a trailing backslash unless it is a drive root.
    virtual std::wstring ProgramFolder() = 0;
    // The file the running program was started from: C:\Terminal\ZORPA.exe, or
    // C:\Terminal\ZORPANEW.EXE when the site started its staged new version.
    virtual std::wstring ProgramPath() = 0;
    // True when `path` names an existing normal or archive file; false when it does not;
    // throws RuntimeError when the folder cannot be listed.
    virtual bool FileExists(const std::wstring& path) = 0;
    // Copies `from` to its end into the new file `temporary` (replacing any file of that
    // name), flushes it to the disk and closes it; says how large `from` was when the copy
    // began and how many bytes were written. On failure deletes what it wrote and throws
    // RuntimeError.
    virtual CopiedFile CopyToTemporary(const std::wstring& from,
                                       const std::wstring& temporary) = 0;
    // The whole content of the file; throws RuntimeError when it cannot be read.
    virtual std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path) = 0;
    // Renames `from` over `to` in one step on the same disk, so that `to` is always either
    // the old or the new file; tries once and throws RuntimeError on failure.
    virtual void MoveFileOver(const std::wstring& from, const std::wstring& to) = 0;
    // Deletes the file of exactly this name (no wildcards); a missing file is not an error.
    // Throws RuntimeError when the file is there and cannot be deleted.
    virtual void DeleteFileIfPresent(const std::wstring& path) = 0;
    // Appends `bytes` with a single write, creating the file when missing. The file is open
    // only for that write, and others may read, write and delete it meanwhile. Never throws.
    virtual AppendResult AppendToFile(const std::wstring& path, const std::string& bytes) = 0;
    // The system's own text for a Windows error code.
    virtual std::wstring ErrorText(std::uint32_t error) = 0;
    // The Authenticode signature of the file at `path`, as Windows' own verifier checks it,
    // without a user interface and without asking the network (terminals may be offline).
    // Never throws: a file whose signature cannot be read or checked reads as such.
    virtual SignatureFacts ReadSignature(const std::wstring& path) = 0;

    // --- this Windows ---
    // True when it runs x64 programs as well as x86 ones.
    virtual bool Is64BitWindows() = 0;

    // --- settings (per-user store, case-insensitive names) ---
    virtual std::optional<std::wstring> ReadSetting(const std::wstring& application,
                                                    const std::wstring& section,
                                                    const std::wstring& key) = 0;
    // Creates the key when missing; throws RuntimeError when the store refuses.
    virtual void WriteSetting(const std::wstring& application, const std::wstring& section,
                              const std::wstring& key, const std::wstring& value) = 0;

    // --- numbers in the user's number format ---
    virtual std::optional<double> ToDouble(const std::wstring& text) = 0;
    // Rounds fractions to the nearest whole number, halves to even; empty when the text
    // is not a number or does not fit in 16 bits.
    virtual std::optional<std::int16_t> ToInt16(const std::wstring& text) = 0;

    // --- user interface ---
    // Modal box with an OK button only; returns when the user has closed it.
    virtual void ShowMessage(const std::wstring& prompt, const std::wstring& title,
                             MessageIcon icon) = 0;
    virtual void HideForm() = 0;
    // Ends the process at once; programs it started keep running.
    [[noreturn]] virtual void EndProgram() = 0;

    // --- event log ---
    // Writes one event of the source ZORPA to the Application log, with `sentence` as its one
    // insertion string. Never throws: an event that cannot be written is dropped. (Not named
    // ReportEvent, which windows.h makes a macro.)
    virtual void WriteEvent(EventLevel level, std::uint32_t eventId,
                            const std::wstring& sentence) = 0;
};

}  // namespace zorpa
