// The serial number written into every chip: where it goes, how it is spelled in bytes, and which
// number comes next.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::production {

enum class SerialMemory { Flash, Eeprom };
enum class SerialFormat {
    Binary,   // the number in `length` bytes
    Bcd,      // packed BCD: two decimal digits a byte
    Decimal,  // ASCII decimal digits, zero-padded to `length`
    Hex,      // ASCII upper-case hex digits, zero-padded to `length`
};

struct SerialRule {
    SerialMemory memory = SerialMemory::Eeprom;
    std::uint32_t address = 0;
    unsigned length = 4;      // 1 to 8 bytes
    bool bigEndian = false;   // the byte order of binary and BCD; ASCII always reads left to right
    SerialFormat format = SerialFormat::Binary;
    std::uint64_t first = 1;
    std::uint64_t step = 1;
    std::uint64_t last = 0;  // inclusive
    // Numbers from a file, used in its order, instead of first/step/last.
    std::vector<std::uint64_t> values;
    // Give the numbers of failed and cancelled chips again (lowest first) before new ones.
    bool reuseFailed = false;
};

// The largest number the field holds in that format and length.
std::uint64_t LargestFitting(SerialFormat format, unsigned length);

// The number's bytes as they go into memory; nullopt when it does not fit the field.
std::optional<std::vector<std::uint8_t>> EncodeSerial(const SerialRule& rule, std::uint64_t number);

// The number after `lastGiven` in the rule (the first when none was given yet); nullopt when the
// rule has run out. For a list, `lastGiven` is looked up in it and the one after it follows.
std::optional<std::uint64_t> NextSerial(const SerialRule& rule, std::optional<std::uint64_t> lastGiven);

// Whether `number` is one the rule gives (in the range on its step, or in the list).
bool InRule(const SerialRule& rule, std::uint64_t number);

// Writes the number's bytes into `image` at the rule's address; false when it does not fit.
bool PatchSerial(const SerialRule& rule, std::uint64_t number, std::span<std::uint8_t> image);

// "binary", "bcd", "decimal", "hex" and back.
std::string_view FormatName(SerialFormat format);
std::optional<SerialFormat> FormatNamed(std::string_view name);

}  // namespace quillon::production
