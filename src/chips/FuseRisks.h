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
    // Each lock-out above in the setting's words, one sentence a cause ("Clock source: external
    // clock on XTAL1. The chip will not run, ...").
    std::vector<std::string> explanations;
    // Parallel chips: the same sentences for what locks out serial programmers (a clock source
    // only when the board must give it something), as information: this tool still reaches it.
    std::vector<std::string> information;

    bool None() const { return lockOut.empty() && lockBits.empty() && serialLockOut.empty(); }
};

// `before` is what the chip holds (or the factory bytes when it was not read), `after` what would
// be written, slot by slot as the chip's row orders them. A clock selection counts only when it
// changes: the chip was reachable with the one it has.
FuseRisks JudgeFuseBytes(const ChipRow& row, std::span<const std::uint8_t> before,
                         std::span<const std::uint8_t> after);

// Everything in `bytes` (slots as the row orders them) that keeps a serial programmer from
// reaching the chip, one sentence a cause: SPIEN off, the RESET pin taken, debugWIRE, a clock
// source that needs something on the board, and programmed lock bits. Empty: none.
std::vector<std::string> SerialReachCauses(const ChipRow& row, std::span<const std::uint8_t> bytes);

// "Clock source: external clock on XTAL1. The chip will not run, ..." for the clock the bytes
// select; empty for a chip without a clock field.
std::string ClockSourceSentence(const ChipRow& row, std::span<const std::uint8_t> bytes);

// "RSTDISBL, SPIEN"
std::string JoinBitNames(const std::vector<std::string>& names);

}  // namespace quillon
