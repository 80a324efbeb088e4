// Compare Program / Compare Data: the whole memory is read from the chip and set against the bytes
// the user has (a view or a file), and every difference is kept rather than only the first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "chips/MemoryKind.h"
#include "core/Result.h"

namespace quillon {

struct Session;

// Consecutive differing bytes, both ends included.
struct DifferingRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::uint32_t Size() const { return last - first + 1; }
    bool operator==(const DifferingRange&) const = default;
};

struct Comparison {
    std::vector<std::uint8_t> chip;  // what the chip holds; empty unless the whole read succeeded
    std::vector<DifferingRange> ranges;
    std::size_t differing = 0;  // bytes
};

// The log lists this many ranges, then says how many more there are.
inline constexpr std::size_t kListedRanges = 100;

// Every run of differing bytes over the shorter of the two. With `covered` (one flag a byte,
// nonzero for the bytes a file gave) only those bytes are compared.
std::vector<DifferingRange> DifferingRanges(std::span<const std::uint8_t> expected, std::span<const std::uint8_t> chip,
                                            std::span<const std::uint8_t> covered = {});

// "0x0100-0x010F (16 bytes)" or "0x0200 (1 byte)".
std::string RangeText(const DifferingRange& range);

// The lines that report a comparison with differences: the ranges (at most kListedRanges), then
// "and N more ranges" when there are more.
std::vector<std::string> RangeLines(std::span<const DifferingRange> ranges);

// Reads the whole memory of that kind and compares it with `expected` (the memory's size, or less:
// only that many bytes are compared; with `covered`, only the bytes it flags). Succeeds when
// nothing differs; fails with FailureKind::Differs, the count and the ranges in the log and the
// result's words, otherwise.
Result CompareMemory(Session& session, MemoryKind memory, std::span<const std::uint8_t> expected, Comparison& out,
                     std::span<const std::uint8_t> covered = {});

}  // namespace quillon
