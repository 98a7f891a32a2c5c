// Black windows over every monitor but the lock window's own, so that nothing on a second
// monitor (a customer display, a touch screen) can be seen, clicked or touched while the
// terminal is locked. Held by the lock window, which removes them when it goes.
#pragma once

#include "MonitorLayout.h"

#include <windows.h>

#include <vector>

namespace zurozoz {

class MonitorCovers {
public:
    // Their own class, so that a program looking for the lock window by its class or
    // caption never finds a cover instead.
    static constexpr const wchar_t* ClassName = L"ZurozozCover";

    static bool Register(HINSTANCE instance);

    MonitorCovers() = default;
    ~MonitorCovers() { Remove(); }
    MonitorCovers(const MonitorCovers&) = delete;
    MonitorCovers& operator=(const MonitorCovers&) = delete;

    // Puts a cover on every monitor but `form`'s own, as the monitors stand now: puts
    // back the covers there are (whoever moved or hid them), makes the missing ones and
    // destroys the rest.
    void Follow(HWND form);
    // Puts every cover back on top, as the lock window goes back on top.
    void StayOnTop() const;
    // Destroys every cover.
    void Remove();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::vector<HWND> covers_;
};

} // namespace zurozoz
