#include "LogFile.h"

#include <cstdlib>
#include <iterator>

namespace zorpa {

namespace {

constexpr const char* LineEnd = "\r\n";
constexpr char32_t Replacement = 0xFFFD;
// What a control character in a text from outside (a signer's name, a file name, Windows' own
// text) is written as, so that no such text ends a line or writes one of its own.
constexpr wchar_t ControlMark = 0xFFFD;
constexpr std::uint32_t FirstPrintable = 0x20, Delete = 0x7F;

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

LogLine& LogLine::operator<<(const char* text) {
    utf8_ += text;
    return *this;
}

LogLine& LogLine::operator<<(const wchar_t* text) { return *this << std::wstring(text); }

LogLine& LogLine::operator<<(const std::wstring& text) {
    std::wstring shown = text;
    for (wchar_t& c : shown) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code < FirstPrintable || code == Delete) c = ControlMark;
    }
    utf8_ += ToUtf8(shown);
    return *this;
}

LogLine& LogLine::operator<<(long long number) {
    utf8_ += std::to_string(number);
    return *this;
}

std::string FormatLocalTime(const LocalTime& time) {
    std::string text;
    const auto digits = [&text](int value, std::size_t width, const char* after) {
        const std::string number = std::to_string(value);
        if (number.size() < width) text.append(width - number.size(), '0');
        text += number;
        text += after;
    };
    const int offset = std::abs(time.utcOffsetMinutes);
    digits(time.year, 4, "-");
    digits(time.month, 2, "-");
    digits(time.day, 2, " ");
    digits(time.hour, 2, ":");
    digits(time.minute, 2, ":");
    digits(time.second, 2, ".");
    digits(time.millisecond, 3, time.utcOffsetMinutes < 0 ? " -" : " +");
    digits(offset / 60, 2, ":");
    digits(offset % 60, 2, "");
    return text;
}

void LogFile::Write(const LogLine& line) {
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
    const std::string stamp = FormatLocalTime(platform_.LocalTimeNow()) + " ";
    std::string lines;
    if (lost_ > 0) {
        lines = stamp + std::to_string(lost_) + (lost_ == 1 ? " line" : " lines") +
                " before this one could not be written to this record" + LineEnd;
    }
    lines += stamp + line.Utf8() + LineEnd;
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
