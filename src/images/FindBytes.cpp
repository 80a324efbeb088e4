#include "images/FindBytes.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "images/HexText.h"

namespace quillon {

namespace {

std::string HexAddress(std::size_t address)
{
    return "0x" + HexDigits(address, 4);
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

}  // namespace

ParsedAddress ParseAddress(std::string_view text, std::size_t size)
{
    const std::string_view typed = Trimmed(text);
    std::string_view digits = typed;
    bool hex = false;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
        hex = true;
    } else if (digits.starts_with("$")) {
        digits.remove_prefix(1);
        hex = true;
    } else if (digits.ends_with("h") || digits.ends_with("H")) {
        digits.remove_suffix(1);
        hex = true;
    }
    hex = hex || std::any_of(digits.begin(), digits.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
    const std::string quoted = "\"" + std::string(typed) + "\"";
    if (digits.empty()) return {std::nullopt, "Type an address: 0x3F000 or 3F000h in hex, 258048 in decimal"};
    std::size_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (ec == std::errc::result_out_of_range) return {std::nullopt, quoted + " is past the end of the memory"};
    if (ec != std::errc{} || end != digits.data() + digits.size())
        return {std::nullopt, quoted + " is not an address: 0x3F000 or 3F000h in hex, 258048 in decimal"};
    if (size == 0) return {std::nullopt, "The view holds no bytes: select a chip first"};
    if (value >= size)
        return {std::nullopt, quoted + " is past the end of the memory, which ends at " + HexAddress(size - 1)};
    return {value, {}};
}

ParsedPattern ParseHexPattern(std::string_view text)
{
    ParsedPattern parsed;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ',' || c == '\t') {
            if (high >= 0) {
                parsed.bytes.push_back(static_cast<std::uint8_t>(high));  // a lone digit is a byte
                high = -1;
            }
            continue;
        }
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            parsed.bytes.clear();
            parsed.error = std::string("\"") + c + "\" is not a hex digit: type bytes as 0C 94 5C, or choose Text";
            return parsed;
        }
        if (high < 0) {
            high = digit;
        } else {
            parsed.bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) parsed.bytes.push_back(static_cast<std::uint8_t>(high));
    if (parsed.bytes.empty()) parsed.error = "Type the bytes to find, as 0C 94 5C";
    return parsed;
}

std::optional<std::size_t> FindBytes(std::span<const std::uint8_t> haystack, std::span<const std::uint8_t> needle,
                                     std::size_t from, bool forward)
{
    if (needle.empty() || needle.size() > haystack.size()) return std::nullopt;
    const std::size_t last = haystack.size() - needle.size();  // the last place it can start
    auto matches = [&](std::size_t at) { return std::equal(needle.begin(), needle.end(), haystack.begin() + static_cast<std::ptrdiff_t>(at)); };
    if (forward) {
        const std::size_t start = std::min(from, last + 1);
        const auto hit = std::search(haystack.begin() + static_cast<std::ptrdiff_t>(start), haystack.end(), needle.begin(), needle.end());
        if (hit != haystack.end()) return static_cast<std::size_t>(hit - haystack.begin());
        for (std::size_t at = 0; at < start && at <= last; ++at)
            if (matches(at)) return at;
        return std::nullopt;
    }
    const std::size_t start = std::min(from, last);
    for (std::size_t at = start + 1; at-- > 0;)
        if (matches(at)) return at;
    for (std::size_t at = last; at > start; --at)
        if (matches(at)) return at;
    return std::nullopt;
}

}  // namespace quillon
