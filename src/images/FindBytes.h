// Finding one's way in a memory: an address typed in hex or decimal, a byte sequence typed as hex
// digits or as text, and the search for it forward or backward from a byte, around the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct ParsedAddress {
    std::optional<std::size_t> address;
    std::string error;  // why not, when empty
};

// "0x3F000", "3F000h", "$3F000" and anything with a hex letter are hex; plain digits are decimal.
// An address at or past `size` is refused with the memory's last address in the message.
ParsedAddress ParseAddress(std::string_view text, std::size_t size);

struct ParsedPattern {
    std::vector<std::uint8_t> bytes;
    std::string error;  // set when the text gives no bytes
};

// Hex: pairs of digits, spaces and commas between bytes allowed ("0C 94 5C", "0c945c"). Text:
// the characters' bytes as typed, in Latin-1.
ParsedPattern ParseHexPattern(std::string_view text);

// The first address at or after `from` (forward) or at or before it (backward) where `needle`
// starts, going on from the other end of the memory once; none when it is nowhere.
std::optional<std::size_t> FindBytes(std::span<const std::uint8_t> haystack, std::span<const std::uint8_t> needle,
                                     std::size_t from, bool forward);

}  // namespace quillon
