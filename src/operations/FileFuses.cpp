#include "operations/FileFuses.h"

#include "chips/Chip.h"
#include "images/HexText.h"

namespace quillon {

namespace {

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
        for (std::uint8_t b : bytes.fuses) text += " " + HexDigits(b, 2);
    }
    if (bytes.lock) text += (text.empty() ? "lock " : ", lock ") + HexDigits(*bytes.lock, 2);
    return text;
}

}  // namespace quillon
