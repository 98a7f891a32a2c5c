// The Event Log: events of the source ZORPA in the Application log, for the site's support.
#include "Win32Platform.h"

namespace zorpa::win32 {

namespace {

constexpr const wchar_t* EventSourceName = L"ZORPA";

WORD EventType(EventLevel level) {
    switch (level) {
    case EventLevel::Error: return EVENTLOG_ERROR_TYPE;
    case EventLevel::Warning: return EVENTLOG_WARNING_TYPE;
    default: return EVENTLOG_INFORMATION_TYPE;
    }
}

}  // namespace

// Without the site's registration Windows still writes the event, with a preamble that says
// the description is missing; with it, the text comes from this program's message table.
void Win32Platform::WriteEvent(EventLevel level, std::uint32_t eventId,
                               const std::wstring& sentence) {
    if (!eventSourceTried_) {
        eventSourceTried_ = true;
        eventSource_.reset(::RegisterEventSourceW(nullptr, EventSourceName));
    }
    if (!eventSource_) return;
    const wchar_t* strings[] = {sentence.c_str()};
    ::ReportEventW(eventSource_.get(), EventType(level), 0, eventId, nullptr, 1, 0, strings,
                   nullptr);
}

}  // namespace zorpa::win32
