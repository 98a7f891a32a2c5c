// Measures, under Wine, what the publisher check adds to one update: the median time of
// CheckPublisher (the installed file's signature read, and the copy's when the installed one
// is signed), over the files given in pairs:
//   signature-bench INSTALLED COPY [INSTALLED COPY ...]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "Publisher.h"
#include "Win32Platform.h"

namespace {

constexpr int Samples = 21;

double Milliseconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return ticks * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    zorpa::win32::Win32Platform platform;
    for (int pair = 1; pair + 1 < argc; pair += 2) {
        std::vector<double> times;
        for (int sample = 0; sample < Samples; ++sample) {
            LARGE_INTEGER start, end;
            ::QueryPerformanceCounter(&start);
            try {
                zorpa::CheckPublisher(platform, argv[pair], argv[pair + 1], argv[pair + 1]);
            } catch (const zorpa::RuntimeError& refused) {
                std::wprintf(L"refused: %ls\n", refused.description().c_str());
                return 1;
            }
            ::QueryPerformanceCounter(&end);
            times.push_back(Milliseconds(end.QuadPart - start.QuadPart));
        }
        std::sort(times.begin(), times.end());
        std::wprintf(L"%ls -> %ls: median %.2f ms, fastest %.2f, slowest %.2f (%d runs)\n",
                     argv[pair], argv[pair + 1], times[Samples / 2], times.front(), times.back(),
                     Samples);
    }
    return 0;
}
