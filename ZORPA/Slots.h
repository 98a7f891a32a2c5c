#pragma once

#include <array>
#include <cstdint>

#include "Platform.h"

namespace zorpa {

enum class SlotId { GANDRO, FENDA_IMPRESION, FENDA_TICKETS, TULVAN };
inline constexpr std::size_t SlotCount = 4;

// Show-window styles handed to a new program.
namespace ShowStyle {
inline constexpr int Hidden = 0;
inline constexpr int MaximizedFocused = 3;
inline constexpr int MinimizedNoFocus = 6;
}  // namespace ShowStyle

// The fixed attributes of one supervised worker.
struct SlotInfo {
    SlotId id;
    const wchar_t* name;
    const wchar_t* file;            // appended to the supervisor's folder
    int startStyle;                 // at start-up; the check cycle restarts hidden
    const wchar_t* failureMessage;  // shown when the program cannot be started
    const wchar_t* replacement;     // new version in the server folder, or nullptr
};

// Indexed by SlotId.
inline constexpr std::array<SlotInfo, SlotCount> Slots{{
    {SlotId::GANDRO, L"GANDRO", L"\\GANDRO.EXE", ShowStyle::MinimizedNoFocus,
     L"Gandro! Errores en la instalacion, llame a soporte!", nullptr},
    {SlotId::FENDA_IMPRESION, L"FENDA_IMPRESION", L"\\FENDA_IMPRESION.EXE",
     ShowStyle::MinimizedNoFocus, L"Fenda! Errores en la instalacion, llame a soporte!",
     L"\\FENDA_IMPRESIONNEW.EXE"},
    {SlotId::FENDA_TICKETS, L"FENDA_TICKETS", L"\\FENDA_TICKETS.EXE",
     ShowStyle::MinimizedNoFocus, L"Fenda! Errores en la instalacion, llame a soporte!",
     L"\\FENDA_TICKETSNEW.EXE"},
    {SlotId::TULVAN, L"TULVAN", L"\\TULVAN.EXE", ShowStyle::MaximizedFocused,
     L"Tulvan! Errores en la instalacion, llame a soporte!", L"\\TULVANNEW.EXE"},
}};

inline constexpr const SlotInfo& InfoOf(SlotId id) { return Slots[static_cast<std::size_t>(id)]; }

// The orders in which the supervisor visits the slots.
inline constexpr std::array<SlotId, 4> StartOrder{SlotId::GANDRO, SlotId::FENDA_IMPRESION,
                                                  SlotId::FENDA_TICKETS, SlotId::TULVAN};
inline constexpr std::array<SlotId, 4> ProbeOrder = StartOrder;
inline constexpr std::array<SlotId, 3> CommandKillOrder{SlotId::FENDA_IMPRESION, SlotId::TULVAN,
                                                        SlotId::FENDA_TICKETS};
inline constexpr std::array<SlotId, 3> ReplaceOrder{SlotId::TULVAN, SlotId::FENDA_IMPRESION,
                                                    SlotId::FENDA_TICKETS};

// The supervisor's own new version: copied beside it when the server folder holds both files.
inline constexpr const wchar_t* OwnUpdateMarker = L"\\ZORPA.EXE";
inline constexpr const wchar_t* OwnUpdateFile = L"\\ZORPANEW.EXE";

// The state the supervisor keeps for one worker.
struct ProgramSlot {
    ProcessId Pid = 0;          // last start's process id; -1 after a failed start
    WindowHandle Window = 0;    // main window found after the last start; 0 = none
    std::int16_t MissCounter = 0;  // probes without an answer since the last answer or reset
};

}  // namespace zorpa
