// Measures, under Wine, what one probe of a worker's window costs the supervisor:
//   probe-bench answer       median time of SendMessageTimeoutA(WM_NULL) to a window that answers
//   probe-bench dead pause   one probe cycle on a destroyed window, 10 ms pause between resends
//   probe-bench dead busy    the same without the pause
//   probe-bench cycle        median time of the supervisor's own check cycle (frmZORPA with
//                            its Win32 platform) over four workers whose window answers
// The target window lives in a child process ("probe-bench serve"), as a worker's would.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Win32Platform.h"
#include "frmZORPA.h"

namespace {

constexpr const wchar_t* TargetClass = L"ProbeBenchTarget";
constexpr UINT ProbeTimeoutMs = 1000;
constexpr DWORD ResendPauseMs = 10;
constexpr ULONGLONG ProbeLoopLimitMs = 1500;
constexpr int AnswerSamples = 500;
constexpr int DeadCycles = 5;
constexpr int CheckCycleSamples = 1000;

struct Handle {
    HANDLE value;
    ~Handle() {
        if (value != nullptr && value != INVALID_HANDLE_VALUE) ::CloseHandle(value);
    }
};

double Milliseconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return ticks * 1000.0 / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto hundredNs = [](FILETIME t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (hundredNs(kernel) + hundredNs(user)) / 10000.0;
}

double SecondsSinceMidnight() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond + now.wMilliseconds / 1000.0;
}

bool Probe(HWND window) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, ProbeTimeoutMs, &result) != 0;
}

int Serve(HINSTANCE instance) {
    WNDCLASSW targetClass{};
    targetClass.lpfnWndProc = ::DefWindowProcW;
    targetClass.hInstance = instance;
    targetClass.lpszClassName = TargetClass;
    ::RegisterClassW(&targetClass);
    ::CreateWindowW(TargetClass, L"probe target", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                    nullptr, instance, nullptr);
    // Keeps answering (and living) after its window is destroyed, until it is terminated.
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return 0;
}

struct Target {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;
};

bool StartTarget(Target& target) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" serve";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &target.process))
        return false;
    ::WaitForInputIdle(target.process.hProcess, 5000);
    for (int attempt = 0; attempt < 100 && target.window == nullptr; ++attempt) {
        target.window = ::FindWindowW(TargetClass, nullptr);
        if (target.window == nullptr) ::Sleep(20);
    }
    return target.window != nullptr;
}

void StopTarget(Target& target) {
    ::TerminateProcess(target.process.hProcess, 0);
    ::WaitForSingleObject(target.process.hProcess, 5000);
    ::CloseHandle(target.process.hThread);
    ::CloseHandle(target.process.hProcess);
}

int MeasureAnswer(HWND window) {
    std::vector<double> samples;
    for (int i = 0; i < AnswerSamples; ++i) {
        const LONGLONG start = Now();
        if (!Probe(window)) {
            std::printf("probe %d got no answer\n", i);
            return 1;
        }
        samples.push_back(Milliseconds(Now() - start));
    }
    std::sort(samples.begin(), samples.end());
    std::printf("answering window: %d probes, median %.3f ms, 90th percentile %.3f ms, max %.3f ms\n",
                AnswerSamples, samples[samples.size() / 2], samples[samples.size() * 9 / 10],
                samples.back());
    return 0;
}

// One probe cycle as the supervisor runs it on a window that no longer exists.
int MeasureDead(HWND window, bool pause) {
    double totalCpu = 0, totalWall = 0;
    long totalSends = 0;
    for (int cycle = 0; cycle < DeadCycles; ++cycle) {
        const double cpuBefore = CpuMilliseconds();
        const LONGLONG wallBefore = Now();
        bool answered = Probe(window);
        long sends = 1;
        const double deadline = std::nearbyint(SecondsSinceMidnight() + 1.0);
        const ULONGLONG loopStart = ::GetTickCount64();
        while (SecondsSinceMidnight() < deadline &&
               ::GetTickCount64() - loopStart < ProbeLoopLimitMs && !answered) {
            if (pause) ::Sleep(ResendPauseMs);
            answered = Probe(window);
            ++sends;
        }
        totalCpu += CpuMilliseconds() - cpuBefore;
        totalWall += Milliseconds(Now() - wallBefore);
        totalSends += sends;
    }
    std::printf("destroyed window, %s: per probe cycle %.0f ms wall, %.0f ms CPU of the prober, "
                "%ld sends (mean of %d cycles)\n",
                pause ? "10 ms pause" : "busy loop", totalWall / DeadCycles, totalCpu / DeadCycles,
                totalSends / DeadCycles, DeadCycles);
    return 0;
}

// Every slot points at the answering window, so each cycle probes four times and writes no
// line to the supervisor's record.
int MeasureCheckCycle(const Target& target) {
    zorpa::win32::Win32Platform platform;
    zorpa::frmZORPA form(platform);
    for (zorpa::SlotId id : zorpa::ProbeOrder) {
        form.Slot(id).Window = reinterpret_cast<zorpa::WindowHandle>(target.window);
        form.Slot(id).Pid = static_cast<zorpa::ProcessId>(target.process.dwProcessId);
    }
    std::vector<double> samples;
    for (int i = 0; i < CheckCycleSamples; ++i) {
        const LONGLONG start = Now();
        form.tmrCheck_Timer();
        samples.push_back(Milliseconds(Now() - start));
        for (zorpa::SlotId id : zorpa::ProbeOrder) {
            if (form.Slot(id).MissCounter != 0) {
                std::printf("cycle %d counted a miss\n", i);
                return 1;
            }
        }
    }
    std::sort(samples.begin(), samples.end());
    std::printf("check cycle, four answering workers: %d cycles, median %.3f ms, 90th percentile "
                "%.3f ms\n",
                CheckCycleSamples, samples[samples.size() / 2], samples[samples.size() * 9 / 10]);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"serve") return Serve(::GetModuleHandleW(nullptr));
    if (mode != L"answer" && mode != L"dead" && mode != L"cycle") {
        std::printf("usage: probe-bench answer | dead pause | dead busy | cycle\n");
        return 2;
    }
    Target target;
    if (!StartTarget(target)) {
        std::printf("the target window did not appear\n");
        return 1;
    }
    int result = 0;
    if (mode == L"answer") {
        result = MeasureAnswer(target.window);
    } else if (mode == L"cycle") {
        result = MeasureCheckCycle(target);
    } else {
        ::PostMessageW(target.window, WM_CLOSE, 0, 0);
        for (int attempt = 0; attempt < 100 && ::IsWindow(target.window); ++attempt) ::Sleep(10);
        result = MeasureDead(target.window, argc > 2 && std::wstring(argv[2]) == L"pause");
    }
    StopTarget(target);
    return result;
}
