// Measures, under Wine, how fast the supervisor starts its workers and what it costs idle:
//   footprint worker PATH RUNS     median time from a stand-in's process creation until it
//                                  waits for input, started as the supervisor starts one
//   footprint startup FOLDER RUNS  median times from ZORPA.exe's process creation to the
//                                  creation of its first and of its fourth worker, and the
//                                  same for LAUNCHER.exe, the cheapest launcher of the same
//                                  workers; the two are started in turns
//   footprint idle FOLDER SECONDS  CPU time (kernel + user) ZORPA.exe uses while idle
// FOLDER holds ZORPA.exe, LAUNCHER.exe and the four workers (stand-ins, which log their
// starts there).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "StandInProtocol.h"

namespace {

constexpr DWORD ReadyTimeoutMs = 10000;
constexpr DWORD PollMs = 5;
constexpr DWORD EndTimeoutMs = 5000;
constexpr int StartStyle = SW_SHOWMINNOACTIVE;
constexpr std::size_t Workers = 4;
constexpr double TicksPerMs = 10000.0;  // FILETIME counts 100 ns
constexpr const wchar_t* Supervisor = L"ZORPA.exe";
constexpr const wchar_t* Launcher = L"LAUNCHER.exe";

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

ULONGLONG Now() {
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    return Ticks(now);
}

struct Times {
    ULONGLONG created = 0;
    ULONGLONG cpu = 0;  // kernel + user
};

Times TimesOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return {};
    return {Ticks(created), Ticks(kernel) + Ticks(user)};
}

double Ms(ULONGLONG ticks) { return static_cast<double>(ticks) / TicksPerMs; }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Handle Start(const std::wstring& path, int style) {
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(style);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info)) {
        std::fprintf(stderr, "cannot start %ls: error %lu\n", path.c_str(), ::GetLastError());
        std::exit(1);
    }
    ::CloseHandle(info.hThread);
    return Handle(info.hProcess);
}

void End(HANDLE process) {
    ::TerminateProcess(process, 0);
    ::WaitForSingleObject(process, EndTimeoutMs);
}

// The process ids in the stand-ins' log, in the order they started.
std::vector<DWORD> LoggedPids(const std::wstring& folder) {
    std::vector<DWORD> pids;
    const Handle file(::CreateFileW((folder + L"\\" + standin::LogFile).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return pids;
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        text.append(chunk, read);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::size_t tab = text.find(standin::LogSeparator, start);
        if (tab < end) pids.push_back(std::strtoul(text.c_str() + tab + 1, nullptr, 10));
    }
    return pids;
}

// Starts `program` (the supervisor, unless told otherwise) in `folder` and waits until its
// fourth worker is ready.
struct Terminal {
    Handle starter;  // the program that starts the workers
    std::vector<Handle> workers;

    explicit Terminal(const std::wstring& folder, const wchar_t* program = Supervisor) {
        ::DeleteFileW((folder + L"\\" + standin::LogFile).c_str());
        starter = Start(folder + L"\\" + program, SW_SHOWNORMAL);
        const ULONGLONG deadline = ::GetTickCount64() + ReadyTimeoutMs;
        std::vector<DWORD> pids;
        while ((pids = LoggedPids(folder)).size() < Workers && ::GetTickCount64() < deadline)
            ::Sleep(PollMs);
        for (DWORD pid : pids)
            workers.emplace_back(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE |
                                                   SYNCHRONIZE,
                                               FALSE, pid));
        if (workers.size() < Workers || !workers.back()) {
            std::fprintf(stderr, "%ls did not start its four workers\n", program);
            std::exit(1);
        }
        ::WaitForInputIdle(workers.back().get(), ReadyTimeoutMs);
    }
    ~Terminal() {
        End(starter.get());
        for (const Handle& worker : workers) End(worker.get());
    }
};

int MeasureWorker(const std::wstring& path, int runs) {
    std::vector<double> ready;
    for (int run = 0; run < runs; ++run) {
        const Handle worker = Start(path, StartStyle);
        ::WaitForInputIdle(worker.get(), ReadyTimeoutMs);
        const ULONGLONG readyAt = Now();
        ready.push_back(Ms(readyAt - TimesOf(worker.get()).created));
        End(worker.get());
    }
    std::printf("worker start-to-ready, median of %d: %.1f ms\n", runs, Median(ready));
    return 0;
}

int MeasureStartup(const std::wstring& folder, int runs) {
    struct Series {
        const wchar_t* program;
        const char* name;
        std::vector<double> first, fourth;
    };
    Series series[] = {{Supervisor, "supervisor", {}, {}}, {Launcher, "launcher", {}, {}}};
    // In turns, so that both see the same load on the machine.
    for (int run = 0; run < runs; ++run) {
        for (Series& one : series) {
            const Terminal terminal(folder, one.program);
            const ULONGLONG created = TimesOf(terminal.starter.get()).created;
            one.first.push_back(Ms(TimesOf(terminal.workers.front().get()).created - created));
            one.fourth.push_back(Ms(TimesOf(terminal.workers.back().get()).created - created));
        }
    }
    for (const Series& one : series) {
        std::printf("%s creation to first worker's creation, median of %d: %.1f ms\n", one.name,
                    runs, Median(one.first));
        std::printf("%s creation to fourth worker's creation, median of %d: %.1f ms\n",
                    one.name, runs, Median(one.fourth));
    }
    std::printf("supervisor to launcher, time to the fourth worker: %.2f\n",
                Median(series[0].fourth) / Median(series[1].fourth));
    return 0;
}

int MeasureIdle(const std::wstring& folder, int seconds) {
    const Terminal terminal(folder);
    const Times before = TimesOf(terminal.starter.get());
    ::Sleep(static_cast<DWORD>(seconds) * 1000);
    const Times after = TimesOf(terminal.starter.get());
    if (::WaitForSingleObject(terminal.starter.get(), 0) != WAIT_TIMEOUT) {
        std::fprintf(stderr, "the supervisor ended while idle\n");
        return 1;
    }
    std::printf("supervisor CPU during its start-up: %.1f ms\n", Ms(before.cpu));
    std::printf("supervisor CPU over %d s idle (kernel + user): %.1f ms\n", seconds,
                Ms(after.cpu - before.cpu));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4) {
        const std::wstring mode = argv[1];
        const int count = std::max(1, _wtoi(argv[3]));
        if (mode == L"worker") return MeasureWorker(argv[2], count);
        if (mode == L"startup") return MeasureStartup(argv[2], count);
        if (mode == L"idle") return MeasureIdle(argv[2], count);
    }
    std::fprintf(stderr, "usage: footprint worker PATH RUNS | startup FOLDER RUNS | idle FOLDER SECONDS\n");
    return 2;
}
