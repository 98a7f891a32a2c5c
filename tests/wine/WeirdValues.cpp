#include "WeirdValues.h"

#include <cstdio>
#include <random>

namespace winetest {

namespace {

// Values worth trying on purpose; the random part below explores around them.
const wchar_t* const KnownValues[] = {
    L"", L" ", L"   ", L"1", L"01", L" 1", L"1 ", L"  1  ", L"1.0", L"1.", L".1", L"+1",
    L"-1", L"--1", L"+-1", L"1e0", L"1E0", L"0.1e1", L"10e-1", L"1e", L"e1", L"1e+0",
    L"1e400", L"-1e400", L"1e-400", L"&H1", L"&h1", L"&H01", L"&O1", L"&H", L"&HFFFF",
    L"&H7FFF", L"&H8000", L"&H10000", L"&HG", L"0x1", L"1,0", L"1,000", L"1.000,0", L"1..0",
    L"0", L"-0", L"2", L"10", L"10.5", L"11.5", L"2.5", L"-2.5", L"0.5", L"1.5", L"32767",
    L"32768", L"-32768", L"-32769", L"32767.5", L"-32768.5", L"40000", L"99999999999999999999",
    L"NaN", L"inf", L"-inf", L"Infinity", L"TRUE", L"True", L"#1#", L"(1)", L"1-", L"1+",
    L"$1", L"1%", L"1\t", L"\t1", L"1\r\n", L"\r\n1", L"\x00a0" L"1", L"1\x00a0",
    L"\xff11", L"\x0661", L"\x0967", L"1\x0301", L"\xd83d\xde00", L"\xd800", L"1\xdc00",
    L"\x4e00", L"uno", L"\x00e9\x00f1", L"1 1", L"1\x0001", L"\x001f" L"1",
};

// Pieces that the random values are made of.
const wchar_t* const Pieces[] = {
    L"0", L"1", L"1", L"2", L"5", L"9", L" ", L" ", L"+", L"-", L".", L",", L"e", L"E",
    L"&", L"H", L"h", L"O", L"x", L"A", L"F", L"$", L"(", L")", L"%", L"\t", L"\r", L"\n",
    L"\x0001", L"\x001b", L"\x007f", L"\x00a0", L"\x00e9", L"\x20ac", L"\xff11", L"\x0661",
    L"\x4e00", L"\xd83d\xde00", L"\xdc00", L"&H", L"e+", L"1e", L"00",
};

// Values that are or nearly are 1: a mutation keeps such a value close to the boundary.
const wchar_t* const NearOne[] = {L"1", L"01", L" 1", L"1.0", L"&H1", L"1e0", L"+1", L"0.1e1"};

constexpr std::size_t MaxRandomPieces = 24;
constexpr std::size_t LongLengths[] = {255, 256, 1023, 1024, 4096, 16383};

template <class T, std::size_t N>
const T& Pick(std::mt19937& random, const T (&table)[N]) {
    return table[random() % N];
}

std::wstring RandomMixture(std::mt19937& random) {
    std::wstring value;
    const std::size_t pieces = random() % (MaxRandomPieces + 1);
    for (std::size_t i = 0; i < pieces; ++i) value += Pick(random, Pieces);
    return value;
}

std::wstring Mutated(std::mt19937& random) {
    std::wstring value = Pick(random, NearOne);
    const std::wstring piece = Pick(random, Pieces);
    const std::size_t at = random() % (value.size() + 1);
    switch (random() % 3) {
    case 0:
        return value.insert(at, piece);
    case 1:
        return at < value.size() ? value.replace(at, 1, piece) : value + piece;
    default:
        return at < value.size() ? value.erase(at, 1) : value;
    }
}

std::wstring VeryLong(std::mt19937& random) {
    const std::size_t length = Pick(random, LongLengths);
    switch (random() % 4) {
    case 0:  // leading zeros: still exactly 1
        return std::wstring(length - 1, L'0') + L"1";
    case 1:  // leading blanks
        return std::wstring(length - 1, L' ') + L"1";
    case 2:  // a number far too long for any type
        return std::wstring(length, L'9');
    default: {
        std::wstring value;
        while (value.size() < length) value += Pick(random, Pieces);
        return value;
    }
    }
}

}  // namespace

std::vector<std::wstring> WeirdSettingValues(std::size_t count, std::uint32_t seed) {
    std::vector<std::wstring> values;
    for (const wchar_t* known : KnownValues) {
        if (values.size() == count) return values;
        values.emplace_back(known);
    }
    std::mt19937 random(seed);
    while (values.size() < count) {
        const std::uint32_t kind = random() % 10;
        if (kind < 5) values.push_back(RandomMixture(random));
        else if (kind < 9) values.push_back(Mutated(random));
        else values.push_back(VeryLong(random));
    }
    return values;
}

std::string Escaped(const std::wstring& value) {
    constexpr std::size_t Shown = 80;
    std::string text;
    for (std::size_t i = 0; i < value.size() && i < Shown; ++i) {
        const wchar_t c = value[i];
        if (c >= 0x20 && c < 0x7f && c != L'\\') {
            text += static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
            text += code;
        }
    }
    if (value.size() > Shown) text += "... (" + std::to_string(value.size()) + " characters)";
    return text;
}

}  // namespace winetest
