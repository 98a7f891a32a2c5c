#pragma once

#include <windows.h>

#include "MonotonicClock.h"
#include "Platform.h"
#include "Win32Handles.h"

namespace zorpa::win32 {

// The supervisor's platform calls, each made directly through Win32; bound by concern in
// Win32Processes, Win32Files, Win32Signatures, Win32Settings, Win32ClockAndRecord,
// Win32MessageBox and Win32EventLog.
class Win32Platform final : public Platform {
public:
    // The form's window, which HideForm hides; set once the window exists.
    void SetForm(HWND form) { form_ = form; }

    StartedProcess StartProgram(const std::wstring& path, int showStyle) override;
    void WaitUntilReady(const StartedProcess& process, std::uint32_t timeoutMs) override;
    bool TerminateInstance(const StartedProcess& process, std::uint32_t waitForEndMs) override;

    void EnumerateTopLevelWindows(const std::function<bool(WindowHandle)>& visit) override;
    bool GetWindowProcessId(WindowHandle window, ProcessId& id) override;
    bool SendNullWithTimeout(WindowHandle window, std::uint32_t timeoutMs) override;

    double SecondsSinceMidnight() override;
    std::uint64_t MonotonicMilliseconds() override;
    LocalTime LocalTimeNow() override;
    void Sleep(std::uint32_t milliseconds) override;

    std::wstring ProgramFolder() override;
    std::wstring ProgramPath() override;
    bool FileExists(const std::wstring& path) override;
    CopiedFile CopyToTemporary(const std::wstring& from, const std::wstring& temporary) override;
    std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path) override;
    void MoveFileOver(const std::wstring& from, const std::wstring& to) override;
    void DeleteFileIfPresent(const std::wstring& path) override;
    AppendResult AppendToFile(const std::wstring& path, const std::string& bytes) override;
    std::wstring ErrorText(std::uint32_t error) override;
    SignatureFacts ReadSignature(const std::wstring& path) override;

    bool Is64BitWindows() override;

    std::optional<std::wstring> ReadSetting(const std::wstring& application,
                                            const std::wstring& section,
                                            const std::wstring& key) override;
    void WriteSetting(const std::wstring& application, const std::wstring& section,
                      const std::wstring& key, const std::wstring& value) override;

    std::optional<double> ToDouble(const std::wstring& text) override;
    std::optional<std::int16_t> ToInt16(const std::wstring& text) override;

    void ShowMessage(const std::wstring& prompt, const std::wstring& title,
                     MessageIcon icon) override;
    void HideForm() override;
    [[noreturn]] void EndProgram() override;

    void WriteEvent(EventLevel level, std::uint32_t eventId,
                    const std::wstring& sentence) override;

private:
    HWND form_ = nullptr;
    MonotonicClock clock_;
    // Registered at the first event, once: a source that cannot be registered writes nothing.
    bool eventSourceTried_ = false;
    UniqueEventSource eventSource_;
};

}  // namespace zorpa::win32
