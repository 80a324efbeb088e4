#include "chips/BitNames.h"

#include <array>

namespace quillon {

namespace {

// Captions of the slots as the dialog's group boxes show them.
constexpr std::string_view kFuseBits = "Fuse Bits";
constexpr std::string_view kFuses = "Fuses";
constexpr std::string_view kLow = "Low Fuses";
constexpr std::string_view kHigh = "High Fuses";
constexpr std::string_view kExtended = "Extended Fuses";
constexpr std::string_view kLock = "Lock bits";

// Lock slots: the old two-slot chips keep LB1 and LB2 in bits 1 and 2, the others in bits 0
// and 1; the chips with boot loader sections add the four boot lock bits.
constexpr SlotNames kLockOld{kLock, {"", "LB1", "LB2"}};
constexpr SlotNames kLockTwo{kLock, {"LB1", "LB2"}};
constexpr SlotNames kLockBoot{kLock, {"LB1", "LB2", "BLB01", "BLB02", "BLB11", "BLB12"}};

constexpr SlotNames kRcen[] = {
    {kFuseBits, {"RCEN", "", "", "", "", "SPIEN"}},
    kLockOld,
};
constexpr SlotNames kFstrt[] = {
    {kFuseBits, {"FSTRT", "", "", "", "", "SPIEN"}},
    kLockOld,
};
constexpr SlotNames kAt90s2333[] = {
    {kFuseBits, {"CKSEL0", "CKSEL1", "CKSEL2", "BODEN", "BODLEVEL", "SPIEN"}},
    kLockOld,
};
constexpr SlotNames kAttiny12[] = {
    {kFuseBits, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "RSTDISBL", "SPIEN", "BODEN", "BODLEVEL"}},
    kLockOld,
};
constexpr SlotNames kAttiny15[] = {
    {kFuseBits, {"CKSEL0", "CKSEL1", "", "", "RSTDISBL", "SPIEN", "BODEN", "BODLEVEL"}},
    kLockOld,
};
constexpr SlotNames kAttiny13[] = {
    {kLow, {"CKSEL0", "CKSEL1", "SUT0", "SUT1", "CKDIV8", "WDTON", "EESAVE", "SPIEN"}},
    {kHigh, {"RSTDISBL", "BODLEVEL0", "BODLEVEL1", "DWEN", "SELFPRGEN"}},
    kLockTwo,
};
constexpr SlotNames kAttiny26[] = {
    {kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "SUT0", "SUT1", "CKOPT", "PLLCK"}},
    {kHigh, {"BODEN", "BODLEVEL", "EESAVE", "SPIEN", "RSTDISBL"}},
    kLockTwo,
};

constexpr SlotNames kLowCkout{kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "SUT0", "SUT1", "CKOUT", "CKDIV8"}};
constexpr SlotNames kLowBoden{kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "SUT0", "SUT1", "BODEN", "BODLEVEL"}};
constexpr SlotNames kHighDwen{
    kHigh, {"BODLEVEL0", "BODLEVEL1", "BODLEVEL2", "EESAVE", "WDTON", "SPIEN", "DWEN", "RSTDISBL"}};
constexpr SlotNames kHighJtagWdton{
    kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "WDTON", "SPIEN", "JTAGEN", "OCDEN"}};
constexpr SlotNames kHighJtagCkopt{
    kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "CKOPT", "SPIEN", "JTAGEN", "OCDEN"}};

constexpr SlotNames kAttiny2313[] = {
    kLowCkout,
    {kHigh, {"RSTDISBL", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2", "WDTON", "SPIEN", "EESAVE", "DWEN"}},
    {kExtended, {"SELFPRGEN"}},
    kLockTwo,
};
constexpr SlotNames kAttiny25[] = {
    kLowCkout,
    kHighDwen,
    {kExtended, {"SELFPRGEN"}},
    kLockTwo,
};
constexpr SlotNames kAtmega603[] = {
    {kFuseBits, {"SUT0", "SUT1", "", "EESAVE", "", "SPIEN"}},
    kLockOld,
};
constexpr SlotNames kAtmega161[] = {
    {kFuses, {"CKSEL0", "CKSEL1", "CKSEL2", "BODEN", "BODLEVEL", "SPIEN", "BOOTRST"}},
    kLockBoot,
};
constexpr SlotNames kAtmega8[] = {
    kLowBoden,
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "CKOPT", "SPIEN", "WDTON", "RSTDISBL"}},
    kLockBoot,
};
constexpr SlotNames kAtmega8515[] = {
    kLowBoden,
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "CKOPT", "SPIEN", "WDTON", "S8515C"}},
    kLockBoot,
};
constexpr SlotNames kAtmega8535[] = {
    kLowBoden,
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "CKOPT", "SPIEN", "WDTON", "S8535C"}},
    kLockBoot,
};
constexpr SlotNames kAtmega16[] = {
    kLowBoden,
    kHighJtagCkopt,
    kLockBoot,
};
constexpr SlotNames kAtmega163[] = {
    {kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "", "SPIEN", "BODEN", "BODLEVEL"}},
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1"}},
    kLockBoot,
};
constexpr SlotNames kAtmega323[] = {
    {kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "", "", "BODEN", "BODLEVEL"}},
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "", "SPIEN", "JTAGEN", "OCDEN"}},
    kLockBoot,
};
constexpr SlotNames kAtmega88[] = {
    kLowCkout,
    kHighDwen,
    {kExtended, {"BOOTRST", "BOOTSZ0", "BOOTSZ1"}},
    kLockBoot,
};
constexpr SlotNames kAtmega162[] = {
    kLowCkout,
    kHighJtagWdton,
    {kExtended, {"", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2", "M161C"}},
    kLockBoot,
};
constexpr SlotNames kAtmega169[] = {
    kLowCkout,
    kHighJtagWdton,
    {kExtended, {"RESERVED", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2"}, 0x01},
    kLockBoot,
};
constexpr SlotNames kAtmega64[] = {
    kLowBoden,
    kHighJtagCkopt,
    {kExtended, {"WDTON", "M103C"}},
    kLockBoot,
};
constexpr SlotNames kAtmega164[] = {
    kLowCkout,
    kHighJtagWdton,
    {kExtended, {"BODLEVEL0", "BODLEVEL1", "BODLEVEL2"}},
    kLockBoot,
};
constexpr SlotNames kAt90can[] = {
    kLowCkout,
    kHighJtagWdton,
    {kExtended, {"TA0SEL", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2"}},
    kLockBoot,
};

struct Layout {
    std::span<const SlotNames> slots;
    std::array<std::int32_t, 8> chips;  // 0 ends the list
};

constexpr std::int32_t Sig(std::uint8_t b1, std::uint8_t b2) { return 0x1E | (b1 << 8) | (b2 << 16); }

constexpr Layout kLayouts[] = {
    {kRcen, {Sig(0x90, 0x01), Sig(0x91, 0x03), Sig(0x91, 0x06)}},
    {kFstrt, {Sig(0x91, 0x01), Sig(0x92, 0x01), Sig(0x93, 0x01), Sig(0x91, 0x02), Sig(0x92, 0x02),
              Sig(0x93, 0x03)}},
    {kAt90s2333, {Sig(0x91, 0x05), Sig(0x92, 0x03)}},
    {kAttiny12, {Sig(0x90, 0x05)}},
    {kAttiny15, {Sig(0x90, 0x06)}},
    {kAttiny13, {Sig(0x90, 0x07)}},
    {kAttiny26, {Sig(0x91, 0x09)}},
    {kAttiny2313, {Sig(0x91, 0x0A)}},
    {kAttiny25, {Sig(0x91, 0x08), Sig(0x92, 0x06), Sig(0x93, 0x0B), Sig(0x91, 0x0C), Sig(0x92, 0x08),
                 Sig(0x93, 0x0D), Sig(0x92, 0x05)}},
    {kAtmega603, {Sig(0x96, 0x01), Sig(0x97, 0x01)}},
    {kAtmega161, {Sig(0x94, 0x01)}},
    {kAtmega8, {Sig(0x93, 0x07)}},
    {kAtmega8515, {Sig(0x93, 0x06)}},
    {kAtmega8535, {Sig(0x93, 0x08)}},
    {kAtmega16, {Sig(0x94, 0x03), Sig(0x95, 0x02)}},
    {kAtmega163, {Sig(0x94, 0x02)}},
    {kAtmega323, {Sig(0x95, 0x01)}},
    {kAtmega88, {Sig(0x93, 0x0A), Sig(0x94, 0x06)}},
    {kAtmega162, {Sig(0x94, 0x04)}},
    {kAtmega169, {Sig(0x94, 0x05)}},
    {kAtmega64, {Sig(0x96, 0x02), Sig(0x97, 0x02)}},
    {kAtmega164, {Sig(0x94, 0x0A), Sig(0x95, 0x08), Sig(0x96, 0x0A), Sig(0x96, 0x08), Sig(0x97, 0x03),
                  Sig(0x97, 0x04), Sig(0x98, 0x01), Sig(0x98, 0x02)}},
    {kAt90can, {Sig(0x95, 0x81), Sig(0x96, 0x81), Sig(0x97, 0x81)}},
};

}  // namespace

std::span<const SlotNames> BitNamesFor(std::int32_t signature)
{
    if (signature == 0) return {};
    for (const auto& layout : kLayouts)
        for (std::int32_t chip : layout.chips)
            if (chip == signature) return layout.slots;
    return {};
}

}  // namespace quillon
