// The names of every chip's lock and fuse bits: per used slot the group caption and the caption
// of each bit the user may see (empty: hidden), with the one bit that is shown but greyed.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace quillon {

struct SlotNames {
    std::string_view caption;               // "Low Fuses", "Lock bits", ...
    std::array<std::string_view, 8> bit{};  // bit 0 first; empty = hidden
    std::uint8_t greyed = 0;                // mask of bits shown but not changeable
};

// The slots the chip uses, slot 0 first; empty for a signature the catalogue lacks (or 0).
std::span<const SlotNames> BitNamesFor(std::int32_t signature);

}  // namespace quillon
