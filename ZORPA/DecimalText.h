#pragma once

#include <cstdint>
#include <string>

namespace zorpa {

// A whole number in decimal digits, for the texts the user and the record read. Made from the
// narrow digits: std::to_wstring formats through the C library's wide printf, which alone
// weighs about 25 KB in a release program.
template <class Integer>
std::wstring DecimalText(Integer value) {
    const std::string digits = std::to_string(value);
    return std::wstring(digits.begin(), digits.end());
}

// "0xA3FD2", as the record writes checksums and the verifier's answers.
inline std::wstring HexText(std::uint32_t value) {
    static constexpr wchar_t Digits[] = L"0123456789ABCDEF";
    std::wstring text;
    do {
        text.insert(text.begin(), Digits[value % 16]);
        value /= 16;
    } while (value != 0);
    return L"0x" + text;
}

}  // namespace zorpa
