// What a read or a verify does at each address of a memory: the bytes it reads there, which of
// them it compares with what the caller expects, and when the progress bar moves. Both ways of
// reading (one at a time, and with answers in flight) walk the same plan.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "chips/ChipTable.h"
#include "chips/MemoryKind.h"
#include "chips/MemoryWalk.h"

namespace quillon {

// The progress bar moves once per this many bytes of flash read, or written without pages.
inline constexpr std::uint32_t kFlashProgressBlock = 32;

// The bytes one call moves at `address`, never past the end of the image: a unit refuses fewer
// bytes than it needs rather than reading or writing beyond them.
template <class Byte>
std::span<Byte> BytesAt(std::span<Byte> image, std::uint32_t address, std::uint32_t width)
{
    return image.subspan(address, std::min<std::size_t>(width, image.size() - address));
}

class ReadPlan {
public:
    // A read stores into `into`; a verify (non-empty `expected`) compares, all bytes or, with
    // `covered`, only those flagged nonzero.
    ReadPlan(const ChipRow& entry, MemoryKind kind, std::span<std::uint8_t> into,
             std::span<const std::uint8_t> expected, std::span<const std::uint8_t> covered);

    std::uint32_t Size() const { return size_; }
    std::uint32_t Step() const { return step_; }
    bool Verify() const { return verify_; }
    std::span<std::uint8_t> Into(std::uint32_t address) const { return BytesAt(into_, address, step_); }
    std::span<const std::uint8_t> Want(std::uint32_t address) const { return BytesAt(expected_, address, step_); }
    // Nonzero for each byte at `address` that is compared; empty when all of them are.
    std::span<const std::uint8_t> Flags(std::uint32_t address) const
    {
        return partial_ ? BytesAt(covered_, address, step_) : std::span<const std::uint8_t>{};
    }
    std::uint32_t Compared(std::uint32_t address) const;
    // A verify leaves out the addresses it compares nothing at, where the unit allows gaps.
    bool Reads(std::uint32_t address) const { return !verify_ || Compared(address) > 0 || !gapsAllowed_; }
    // Whether the chip's `values` at `address` are what the caller expects, or stores them.
    bool Take(std::uint32_t address, std::span<const std::uint8_t> values) const;
    // The first compared byte at `address` where the chip's `values` are not what the caller
    // expects, with both bytes.
    std::optional<ByteDifference> DifferenceAt(std::uint32_t address, std::span<const std::uint8_t> values) const;
    void Progress(const WalkProgress& progress, std::uint32_t address) const;

private:
    std::span<std::uint8_t> into_;
    std::span<const std::uint8_t> expected_;
    std::span<const std::uint8_t> covered_;
    bool verify_;
    std::uint32_t step_;
    std::uint32_t block_;
    bool gapsAllowed_;
    bool partial_;
    std::uint32_t size_ = 0;
};

}  // namespace quillon
