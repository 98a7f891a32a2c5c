#pragma once

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

}  // namespace zorpa
