// The 80-column hex dump line: where every byte's digits and character sit, and the small
// lookup tables that turn bytes into digits and back without streams.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon {

inline constexpr std::size_t kLineWidth = 80;    // characters of one line
inline constexpr std::size_t kLineStride = 82;   // a line plus its CR LF
inline constexpr std::size_t kBytesPerLine = 16;
inline constexpr std::size_t kHexColumn = 10;    // first digit of byte 0
inline constexpr std::size_t kHexColumnEnd = 57; // one past the last digit of byte 15
inline constexpr std::size_t kCharColumn = 64;   // character of byte 0
inline constexpr std::size_t kLineEnd = 80;      // where the CR LF (or the text) begins
inline constexpr char kLowByteChar = 0x1F;       // what bytes below 0x1F show as

// Bytes below 0x1F would be control characters, so they all show as 0x1F.
constexpr char CharForByte(std::uint8_t b)
{
    return static_cast<char>(b < 0x1F ? 0x1F : b);
}

inline constexpr std::array<char, 16> kUpperHexDigits{'0', '1', '2', '3', '4', '5', '6', '7',
                                                      '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

// Value of every character as a hex digit of either case, -1 for the others.
inline constexpr std::array<std::int8_t, 256> kHexDigitValues = [] {
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    for (int d = 0; d < 10; ++d) values['0' + d] = static_cast<std::int8_t>(d);
    for (int d = 0; d < 6; ++d) {
        values['A' + d] = static_cast<std::int8_t>(10 + d);
        values['a' + d] = static_cast<std::int8_t>(10 + d);
    }
    return values;
}();

constexpr int HexDigitValue(char c)
{
    return kHexDigitValues[static_cast<unsigned char>(c)];
}

constexpr std::size_t LineCount(std::uint32_t viewSize)
{
    return viewSize / kBytesPerLine;
}

// The text of a view with `lines` lines: no line break after the last one.
constexpr std::size_t ViewTextLength(std::size_t lines)
{
    return lines == 0 ? 0 : lines * kLineStride - 2;
}

constexpr std::size_t HexPosition(std::size_t byte)
{
    return (byte / kBytesPerLine) * kLineStride + (byte % kBytesPerLine) * 3 + kHexColumn;
}

constexpr std::size_t CharPosition(std::size_t byte)
{
    return (byte / kBytesPerLine) * kLineStride + (byte % kBytesPerLine) + kCharColumn;
}

// Writes b as two upper-case digits at out[0], out[1].
inline void PutHexByte(char* out, std::uint8_t b)
{
    out[0] = kUpperHexDigits[b >> 4];
    out[1] = kUpperHexDigits[b & 0x0F];
}

// Upper-case hex digits of a value, at least `minDigits` of them: "3F000" for 0x3F000.
inline std::string HexDigits(std::uint64_t value, std::size_t minDigits)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), kUpperHexDigits[value & 0x0F]);
        value >>= 4;
    } while (value != 0);
    if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), '0');
    return digits;
}

}  // namespace quillon
