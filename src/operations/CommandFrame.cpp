#include "operations/CommandFrame.h"

#include "chips/ChipTable.h"
#include "core/Context.h"

namespace quillon {

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
}

const ChipRow* LookUpUnit(Context& ctx)
{
    if (ctx.chip.signature == 0) {
        ctx.log.LogMessage(LogNoChip, "");
        return nullptr;
    }
    const ChipRow* entry = FindChip(ctx.chip.signature);
    if (entry == nullptr || entry->driver == nullptr) {
        ctx.log.LogMessage(LogSelectedChip, " unknown");
        return nullptr;
    }
    return entry;
}

std::string AddressDigits(std::uint32_t address)
{
    std::string digits;
    for (int shift = 28; shift >= 0; shift -= 4)
        if (shift < 16 || (address >> shift) != 0) digits += kHex[(address >> shift) & 0xF];
    return digits;
}

std::string ByteDigits(std::uint8_t value)
{
    return {kHex[value >> 4], kHex[value & 0xF]};
}

}  // namespace quillon
