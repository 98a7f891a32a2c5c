#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Setting values such as a careless program or person might leave in the settings store.
namespace winetest {

// `count` values from a fixed seed: a table of known troublemakers first (blanks, signs,
// exponents, "&H" numbers, separators, out-of-range numbers, non-ASCII digits), then mutations
// of "1"-like values, very long values and random mixtures with control characters and
// non-ASCII text. Never contains a null character, which a string setting cannot hold.
std::vector<std::wstring> WeirdSettingValues(std::size_t count, std::uint32_t seed);

// The value with everything outside printable ASCII written as \uXXXX, for test messages.
std::string Escaped(const std::wstring& value);

}  // namespace winetest
