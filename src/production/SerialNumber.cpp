#include "production/SerialNumber.h"

#include <algorithm>
#include <limits>

namespace quillon::production {

namespace {

std::uint64_t Power(std::uint64_t base, unsigned exponent)
{
    std::uint64_t value = 1;
    for (unsigned i = 0; i < exponent; ++i) {
        if (value > std::numeric_limits<std::uint64_t>::max() / base) return 0;  // overflow: no limit
        value *= base;
    }
    return value;
}

}  // namespace

std::uint64_t LargestFitting(SerialFormat format, unsigned length)
{
    std::uint64_t base = 256;
    unsigned digits = length;
    switch (format) {
    case SerialFormat::Binary: base = 256; break;
    case SerialFormat::Bcd: base = 10; digits = 2 * length; break;
    case SerialFormat::Decimal: base = 10; break;
    case SerialFormat::Hex: base = 16; break;
    }
    const std::uint64_t span = Power(base, digits);
    return span == 0 ? std::numeric_limits<std::uint64_t>::max() : span - 1;
}

std::optional<std::vector<std::uint8_t>> EncodeSerial(const SerialRule& rule, std::uint64_t number)
{
    if (rule.length < 1 || rule.length > 8 || number > LargestFitting(rule.format, rule.length)) return std::nullopt;
    std::vector<std::uint8_t> bytes(rule.length);
    std::uint64_t rest = number;
    switch (rule.format) {
    case SerialFormat::Binary:
    case SerialFormat::Bcd:
        // Least significant first, turned round for big endian below.
        for (unsigned i = 0; i < rule.length; ++i) {
            if (rule.format == SerialFormat::Binary) {
                bytes[i] = static_cast<std::uint8_t>(rest & 0xFF);
                rest >>= 8;
            } else {
                const unsigned low = static_cast<unsigned>(rest % 10);
                rest /= 10;
                const unsigned high = static_cast<unsigned>(rest % 10);
                rest /= 10;
                bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
            }
        }
        if (rule.bigEndian) std::reverse(bytes.begin(), bytes.end());
        break;
    case SerialFormat::Decimal:
    case SerialFormat::Hex: {
        const unsigned base = rule.format == SerialFormat::Decimal ? 10 : 16;
        for (unsigned i = rule.length; i-- > 0;) {
            const unsigned digit = static_cast<unsigned>(rest % base);
            rest /= base;
            bytes[i] = static_cast<std::uint8_t>(digit < 10 ? '0' + digit : 'A' + digit - 10);
        }
        break;
    }
    }
    return bytes;
}

bool InRule(const SerialRule& rule, std::uint64_t number)
{
    if (!rule.values.empty()) return std::find(rule.values.begin(), rule.values.end(), number) != rule.values.end();
    return number >= rule.first && number <= rule.last && rule.step > 0 && (number - rule.first) % rule.step == 0;
}

std::optional<std::uint64_t> NextSerial(const SerialRule& rule, std::optional<std::uint64_t> lastGiven)
{
    if (!rule.values.empty()) {
        if (!lastGiven) return rule.values.front();
        // The last place the number stands in the list: a list may repeat a number only by mistake,
        // and going on from its last place never hands out anything twice.
        const auto at = std::find(rule.values.rbegin(), rule.values.rend(), *lastGiven);
        if (at == rule.values.rend()) return rule.values.front();
        const std::size_t next = static_cast<std::size_t>(rule.values.rend() - at);
        if (next >= rule.values.size()) return std::nullopt;
        return rule.values[next];
    }
    if (rule.step == 0 || rule.first > rule.last) return std::nullopt;
    if (!lastGiven || *lastGiven < rule.first) return rule.first;
    if (*lastGiven >= rule.last) return std::nullopt;
    // The step after the last number on the rule's grid at or below lastGiven.
    const std::uint64_t onGrid = rule.first + (*lastGiven - rule.first) / rule.step * rule.step;
    if (rule.last - onGrid < rule.step) return std::nullopt;
    return onGrid + rule.step;
}

bool PatchSerial(const SerialRule& rule, std::uint64_t number, std::span<std::uint8_t> image)
{
    const std::optional<std::vector<std::uint8_t>> bytes = EncodeSerial(rule, number);
    if (!bytes || rule.address > image.size() || image.size() - rule.address < bytes->size()) return false;
    std::copy(bytes->begin(), bytes->end(), image.begin() + rule.address);
    return true;
}

std::string_view FormatName(SerialFormat format)
{
    switch (format) {
    case SerialFormat::Binary: return "binary";
    case SerialFormat::Bcd: return "bcd";
    case SerialFormat::Decimal: return "decimal";
    case SerialFormat::Hex: return "hex";
    }
    return "binary";
}

std::optional<SerialFormat> FormatNamed(std::string_view name)
{
    for (SerialFormat f : {SerialFormat::Binary, SerialFormat::Bcd, SerialFormat::Decimal, SerialFormat::Hex})
        if (FormatName(f) == name) return f;
    return std::nullopt;
}

}  // namespace quillon::production
