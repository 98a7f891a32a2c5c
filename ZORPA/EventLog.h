#pragma once

#include <string>

#include "EventBudget.h"
#include "LogFile.h"
#include "Platform.h"
#include "SupervisorEvents.h"

namespace zorpa {

// The Event Log as a second destination of the record's lines that support acts on: the
// same sentence, with its kind's ID and level, within the budget. Like the record it never
// gets in the way: what cannot be written is dropped.
class EventLog {
public:
    explicit EventLog(Platform& platform) : platform_(platform) {}

    void Report(EventKind kind, const LogLine& line);
    // Says how many events each ID had held back and not yet told, before the supervisor ends.
    void ReportUntold();

private:
    void ReportHeldBack(const EventBudget::HeldBack& held);

    Platform& platform_;
    EventBudget budget_;
};

// UTF-16 text of UTF-8 bytes (UTF-32 where wchar_t is 32 bits wide); what is not UTF-8
// becomes U+FFFD.
std::wstring FromUtf8(const std::string& text);

}  // namespace zorpa
