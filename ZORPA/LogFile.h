#pragma once

#include <cstdint>
#include <string>

#include "Platform.h"

namespace zorpa {

// One line of the record, put together piece by piece in UTF-8 (without its time stamp).
class LogLine {
public:
    // Plain ASCII, as the record's own words are.
    LogLine& operator<<(const char* text);
    // Text that may come from outside: each control character (below U+0020, and U+007F)
    // is written as U+FFFD, so the line stays one line.
    LogLine& operator<<(const wchar_t* text);
    LogLine& operator<<(const std::wstring& text);
    LogLine& operator<<(long long number);
    const std::string& Utf8() const { return utf8_; }

private:
    std::string utf8_;
};

// The supervisor's record in its own folder: one line per event, each stamped with the local
// time and its difference to UTC, in UTF-8 with CRLF so that Notepad shows it as it is.
// It never gets in the way of the supervisor: a line that cannot be written is dropped at
// once, and the next line that can be written says how many were lost.
class LogFile {
public:
    explicit LogFile(Platform& platform) : platform_(platform) {}

    void Write(const LogLine& line);

    // Past this size the record becomes ZORPA.1.log, the one before that ZORPA.2.log, and the
    // oldest is dropped: about three times this much in all.
    static constexpr std::uint64_t RotateAfterBytes = 1024 * 1024;
    static constexpr const wchar_t* Names[] = {L"\\ZORPA.log", L"\\ZORPA.1.log",
                                               L"\\ZORPA.2.log"};

private:
    // Moves each file one name further, the oldest first; false when the current file stays.
    bool Rotate(const std::wstring& folder);

    Platform& platform_;
    std::uint32_t lost_ = 0;
    bool rotationDue_ = false;
};

// "2026-12-08 14:09:52.123 +01:00"
std::string FormatLocalTime(const LocalTime& time);
// UTF-8 of UTF-16 text (UTF-32 where wchar_t is 32 bits wide); a lone surrogate becomes U+FFFD.
std::string ToUtf8(const std::wstring& text);

}  // namespace zorpa
