// What a set of lock and fuse bytes would do to the chip's reachability, judged from the bit
// names and how the chip is programmed here: serial chips can lock this tool out, any chip's lock
// bits hide its memories until a Chip Erase, and a parallel chip can lock out serial programmers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillon {

struct ChipRow;

struct FuseRisks {
    // Serial chips: bits whose new value ends programming of this chip with this tool.
    std::vector<std::string> lockOut;
    // Any chip: lock bits that are programmed in the new bytes.
    std::vector<std::string> lockBits;
    // Parallel chips: bits that lock out serial programmers, though not this tool.
    std::vector<std::string> serialLockOut;

    bool None() const { return lockOut.empty() && lockBits.empty() && serialLockOut.empty(); }
};

// `before` is what the chip holds (or the factory bytes when it was not read), `after` what would
// be written, slot by slot as the chip's row orders them. A clock selection counts only when it
// changes: the chip was reachable with the one it has.
FuseRisks JudgeFuseBytes(const ChipRow& row, std::span<const std::uint8_t> before,
                         std::span<const std::uint8_t> after);

// "RSTDISBL, SPIEN"
std::string JoinBitNames(const std::vector<std::string>& names);

}  // namespace quillon
