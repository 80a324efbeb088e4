#include "chips/ReadPlan.h"

namespace quillon {

namespace {

// EEPROM reads move the progress bar once per page of 4.
constexpr std::uint32_t kEepromProgressBlock = 4;

bool IsNonzero(std::uint8_t c) { return c != 0; }

}  // namespace

ReadPlan::ReadPlan(const ChipRow& entry, MemoryKind kind, std::span<std::uint8_t> into,
                   std::span<const std::uint8_t> expected, std::span<const std::uint8_t> covered)
    : into_(into), expected_(expected), verify_(!expected.empty()),
      step_(kind == MemoryKind::Program ? entry.FlashStep() : 1),
      block_(kind == MemoryKind::Program ? kFlashProgressBlock : kEepromProgressBlock),
      // Serial units send the whole address with every instruction; the parallel ones keep the
      // read command and the high address byte latched, so they walk up from 0 without gaps.
      gapsAllowed_(entry.family == Family::Serial), partial_(verify_ && !covered.empty())
{
    size_ = static_cast<std::uint32_t>(verify_ ? expected.size() : into.size());
    if (partial_) {
        covered_ = covered.first(std::min(covered.size(), expected.size()));
        const auto last = std::find_if(covered_.rbegin(), covered_.rend(), IsNonzero);
        size_ = static_cast<std::uint32_t>(covered_.rend() - last);
    }
}

std::uint32_t ReadPlan::Compared(std::uint32_t address) const
{
    if (!partial_) return static_cast<std::uint32_t>(Want(address).size());
    const auto flags = Flags(address);
    return static_cast<std::uint32_t>(std::count_if(flags.begin(), flags.end(), IsNonzero));
}

bool ReadPlan::Take(std::uint32_t address, std::span<const std::uint8_t> values) const
{
    if (!verify_) {
        const auto into = Into(address);
        std::copy_n(values.begin(), into.size(), into.begin());
        return true;
    }
    const auto want = Want(address);
    const auto flags = Flags(address);
    for (std::size_t i = 0; i < want.size(); ++i)
        if ((flags.empty() || flags[i] != 0) && values[i] != want[i]) return false;
    return true;
}

std::optional<ByteDifference> ReadPlan::DifferenceAt(std::uint32_t address, std::span<const std::uint8_t> values) const
{
    if (!verify_) return std::nullopt;
    const auto want = Want(address);
    const auto flags = Flags(address);
    for (std::size_t i = 0; i < want.size() && i < values.size(); ++i)
        if ((flags.empty() || flags[i] != 0) && values[i] != want[i])
            return ByteDifference{address + static_cast<std::uint32_t>(i), values[i], want[i]};
    return std::nullopt;
}

void ReadPlan::Progress(const WalkProgress& progress, std::uint32_t address) const
{
    const std::uint32_t next = address + step_;
    if (next % block_ == 0 && progress) progress(next, size_);
}

}  // namespace quillon
