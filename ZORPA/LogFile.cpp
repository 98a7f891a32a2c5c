#include "LogFile.h"

#include <cstdio>
#include <cstdlib>

namespace zorpa {

namespace {

constexpr const char* LineEnd = "\r\n";
constexpr char32_t Replacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsHighSurrogate(char32_t code) { return code >= 0xD800 && code <= 0xDBFF; }
bool IsLowSurrogate(char32_t code) { return code >= 0xDC00 && code <= 0xDFFF; }

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = static_cast<char32_t>(text[i]);
        if (IsHighSurrogate(code) && i + 1 < text.size() &&
            IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
        } else if (IsHighSurrogate(code) || IsLowSurrogate(code) || code > 0x10FFFF) {
            code = Replacement;
        }
        AppendUtf8(out, code);
    }
    return out;
}

std::wstring FormatLocalTime(const LocalTime& time) {
    const int offset = std::abs(time.utcOffsetMinutes);
    wchar_t text[40];
    std::swprintf(text, sizeof text / sizeof text[0], L"%04d-%02d-%02d %02d:%02d:%02d.%03d %lc%02d:%02d",
                  time.year, time.month, time.day, time.hour, time.minute, time.second,
                  time.millisecond, time.utcOffsetMinutes < 0 ? L'-' : L'+', offset / 60,
                  offset % 60);
    return text;
}

void LogFile::Write(const std::wstring& text) {
    std::wstring folder;
    try {
        folder = platform_.ProgramFolder();
    } catch (const RuntimeError&) {
        ++lost_;
        return;
    }
    // A record past its size that cannot be moved aside takes no more lines, so that it
    // stays bounded whatever holds it.
    if (rotationDue_) rotationDue_ = !Rotate(folder);
    if (rotationDue_) {
        ++lost_;
        return;
    }
    const std::wstring stamp = FormatLocalTime(platform_.LocalTimeNow()) + L" ";
    std::string lines;
    if (lost_ > 0) {
        lines = ToUtf8(stamp + std::to_wstring(lost_) +
                       (lost_ == 1 ? L" line" : L" lines") +
                       L" before this one could not be written to this record") +
                LineEnd;
    }
    lines += ToUtf8(stamp + text) + LineEnd;
    const AppendResult result = platform_.AppendToFile(folder + Names[0], lines);
    if (result.error != 0) {
        ++lost_;
        return;
    }
    lost_ = 0;
    if (result.sizeAfter > RotateAfterBytes) rotationDue_ = !Rotate(folder);
}

bool LogFile::Rotate(const std::wstring& folder) {
    for (std::size_t older = std::size(Names) - 1; older > 0; --older) {
        try {
            platform_.MoveFileOver(folder + Names[older - 1], folder + Names[older]);
        } catch (const RuntimeError&) {
            // A missing older record is nothing to move; the current one must move, though.
            if (older == 1) return false;
        }
    }
    return true;
}

}  // namespace zorpa
