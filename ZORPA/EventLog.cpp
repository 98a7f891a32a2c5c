#include "EventLog.h"

namespace zorpa {

namespace {

constexpr char32_t Replacement = 0xFFFD;
constexpr std::uint64_t MillisecondsPerMinute = 60 * 1000;

void AppendCode(std::wstring& out, char32_t code) {
    if (code >= 0x10000 && sizeof(wchar_t) == 2) {
        code -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (code >> 10));
        out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
        out += static_cast<wchar_t>(code);
    }
}

// The forms of a UTF-8 sequence's first byte: the bits that tell the form, how many
// continuation bytes follow, and the smallest code point the form may spell.
struct LeadForm {
    unsigned char mask;
    unsigned char value;
    int continuations;
    char32_t smallest;
};
constexpr LeadForm LeadForms[] = {
    {0x80, 0x00, 0, 0}, {0xE0, 0xC0, 1, 0x80}, {0xF0, 0xE0, 2, 0x800}, {0xF8, 0xF0, 3, 0x10000}};

const LeadForm* FormOf(unsigned char lead) {
    for (const LeadForm& form : LeadForms)
        if ((lead & form.mask) == form.value) return &form;
    return nullptr;
}

}  // namespace

std::wstring FromUtf8(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i++]);
        const LeadForm* form = FormOf(lead);
        char32_t code = form ? lead & static_cast<unsigned char>(~form->mask) : 0;
        int taken = 0;
        while (form && taken < form->continuations && i < text.size() &&
               (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
            code = (code << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
            ++taken;
        }
        const bool whole = form && taken == form->continuations && code >= form->smallest &&
                           code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        AppendCode(out, whole ? code : Replacement);
    }
    return out;
}

void EventLog::Report(EventKind kind, const LogLine& line) {
    const EventInfo& event = InfoOf(kind);
    const EventBudget::Verdict verdict =
        budget_.Admit(event.id, platform_.MonotonicMilliseconds());
    if (verdict.told) ReportHeldBack(*verdict.told);
    if (verdict.write) platform_.WriteEvent(event.level, event.id, FromUtf8(line.Utf8()));
}

void EventLog::ReportUntold() {
    for (const EventBudget::HeldBack& held : budget_.TakeUntold()) ReportHeldBack(held);
}

void EventLog::ReportHeldBack(const EventBudget::HeldBack& held) {
    const std::uint64_t minutes =
        (platform_.MonotonicMilliseconds() - held.sinceMs) / MillisecondsPerMinute + 1;
    LogLine line;
    line << static_cast<long long>(held.count) << (held.count == 1 ? " event" : " events")
         << " with ID " << static_cast<long long>(held.id)
         << " kept out of the Event Log in the last " << static_cast<long long>(minutes)
         << (minutes == 1 ? " minute" : " minutes")
         << ", so that it does not fill; ZORPA.log has each of them";
    const EventInfo& event = InfoOf(EventKind::HeldBack);
    platform_.WriteEvent(event.level, event.id, FromUtf8(line.Utf8()));
}

}  // namespace zorpa
