#include "operations/FileFuses.h"

#include "chips/Chip.h"

namespace quillon {

namespace {

std::string Byte(std::uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

void CheckSlot(FuseGroup& group, std::uint8_t value)
{
    for (std::size_t b = 0; b < 8; ++b) {
        FuseBox& box = group.box[b];
        if (box.visible && box.enabled) box.checked = (value & (1u << b)) == 0;
    }
}

}  // namespace

std::string OfferFileFuses(LockFusesDialog& dialog, const Chip& chip, const FileFuses& bytes)
{
    if (chip.lockFuseCount == 0) return "no chip is selected";
    // The lock byte is always the last slot; the fuse bytes fill the ones before it.
    const std::size_t fuseSlots = chip.lockFuseCount - 1u;
    if (!bytes.fuses.empty() && bytes.fuses.size() != fuseSlots)
        return "the file holds " + std::to_string(bytes.fuses.size()) + " fuse bytes, the " + chip.name + " has " +
               std::to_string(fuseSlots) + ": the file is for another chip";
    for (std::size_t i = 0; i < bytes.fuses.size(); ++i) CheckSlot(dialog.group[i], bytes.fuses[i]);
    if (bytes.lock) CheckSlot(dialog.group[fuseSlots], *bytes.lock);
    return {};
}

std::string FileFusesText(const FileFuses& bytes)
{
    std::string text;
    if (!bytes.fuses.empty()) {
        text = "fuses";
        for (std::uint8_t b : bytes.fuses) text += " " + Byte(b);
    }
    if (bytes.lock) text += (text.empty() ? "lock " : ", lock ") + Byte(*bytes.lock);
    return text;
}

}  // namespace quillon
