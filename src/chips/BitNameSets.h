// The lock and fuse bit names of the chips, one set per layout: per used slot the group caption
// and the caption of each bit, as the Lock & Fuses dialog shows them. The chip table picks a set
// for every chip.
#pragma once

#include "chips/BitNames.h"

namespace quillon::bitnames {

// Captions of the slots as the dialog's group boxes show them.
inline constexpr std::string_view kFuseBits = "Fuse Bits";
inline constexpr std::string_view kFuses = "Fuses";
inline constexpr std::string_view kLow = "Low Fuses";
inline constexpr std::string_view kHigh = "High Fuses";
inline constexpr std::string_view kExtended = "Extended Fuses";
inline constexpr std::string_view kLock = "Lock bits";

// Lock slots: the old two-slot chips keep LB1 and LB2 in bits 1 and 2, the others in bits 0
// and 1; the chips with boot loader sections add the four boot lock bits.
inline constexpr SlotNames kLockOld{kLock, {"", "LB1", "LB2"}};
inline constexpr SlotNames kLockTwo{kLock, {"LB1", "LB2"}};
inline constexpr SlotNames kLockBoot{kLock, {"LB1", "LB2", "BLB01", "BLB02", "BLB11", "BLB12"}};

inline constexpr SlotNames kRcen[] = {
    {kFuseBits, {"RCEN", "", "", "", "", "SPIEN"}},
    kLockOld,
};
inline constexpr SlotNames kFstrt[] = {
    {kFuseBits, {"FSTRT", "", "", "", "", "SPIEN"}},
    kLockOld,
};
inline constexpr SlotNames kAt90s2333[] = {
    {kFuseBits, {"CKSEL0", "CKSEL1", "CKSEL2", "BODEN", "BODLEVEL", "SPIEN"}},
    kLockOld,
};
inline constexpr SlotNames kAttiny12[] = {
    {kFuseBits, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "RSTDISBL", "SPIEN", "BODEN", "BODLEVEL"}},
    kLockOld,
};
inline constexpr SlotNames kAttiny15[] = {
    {kFuseBits, {"CKSEL0", "CKSEL1", "", "", "RSTDISBL", "SPIEN", "BODEN", "BODLEVEL"}},
    kLockOld,
};
inline constexpr SlotNames kAttiny13[] = {
    {kLow, {"CKSEL0", "CKSEL1", "SUT0", "SUT1", "CKDIV8", "WDTON", "EESAVE", "SPIEN"}},
    {kHigh, {"RSTDISBL", "BODLEVEL0", "BODLEVEL1", "DWEN", "SELFPRGEN"}},
    kLockTwo,
};
inline constexpr SlotNames kAttiny26[] = {
    {kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "SUT0", "SUT1", "CKOPT", "PLLCK"}},
    {kHigh, {"BODEN", "BODLEVEL", "EESAVE", "SPIEN", "RSTDISBL"}},
    kLockTwo,
};

inline constexpr SlotNames kLowCkout{kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "SUT0", "SUT1", "CKOUT", "CKDIV8"}};
inline constexpr SlotNames kLowBoden{kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "SUT0", "SUT1", "BODEN", "BODLEVEL"}};
inline constexpr SlotNames kHighDwen{
    kHigh, {"BODLEVEL0", "BODLEVEL1", "BODLEVEL2", "EESAVE", "WDTON", "SPIEN", "DWEN", "RSTDISBL"}};
inline constexpr SlotNames kHighJtagWdton{
    kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "WDTON", "SPIEN", "JTAGEN", "OCDEN"}};
inline constexpr SlotNames kHighJtagCkopt{
    kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "CKOPT", "SPIEN", "JTAGEN", "OCDEN"}};

inline constexpr SlotNames kAttiny2313[] = {
    kLowCkout,
    {kHigh, {"RSTDISBL", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2", "WDTON", "SPIEN", "EESAVE", "DWEN"}},
    {kExtended, {"SELFPRGEN"}},
    kLockTwo,
};
inline constexpr SlotNames kAttiny25[] = {
    kLowCkout,
    kHighDwen,
    {kExtended, {"SELFPRGEN"}},
    kLockTwo,
};
inline constexpr SlotNames kAtmega603[] = {
    {kFuseBits, {"SUT0", "SUT1", "", "EESAVE", "", "SPIEN"}},
    kLockOld,
};
inline constexpr SlotNames kAtmega161[] = {
    {kFuses, {"CKSEL0", "CKSEL1", "CKSEL2", "BODEN", "BODLEVEL", "SPIEN", "BOOTRST"}},
    kLockBoot,
};
inline constexpr SlotNames kAtmega8[] = {
    kLowBoden,
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "CKOPT", "SPIEN", "WDTON", "RSTDISBL"}},
    kLockBoot,
};
inline constexpr SlotNames kAtmega8515[] = {
    kLowBoden,
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "CKOPT", "SPIEN", "WDTON", "S8515C"}},
    kLockBoot,
};
inline constexpr SlotNames kAtmega8535[] = {
    kLowBoden,
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "CKOPT", "SPIEN", "WDTON", "S8535C"}},
    kLockBoot,
};
inline constexpr SlotNames kAtmega16[] = {
    kLowBoden,
    kHighJtagCkopt,
    kLockBoot,
};
inline constexpr SlotNames kAtmega163[] = {
    {kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "", "SPIEN", "BODEN", "BODLEVEL"}},
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1"}},
    kLockBoot,
};
inline constexpr SlotNames kAtmega323[] = {
    {kLow, {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3", "", "", "BODEN", "BODLEVEL"}},
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "", "SPIEN", "JTAGEN", "OCDEN"}},
    kLockBoot,
};
inline constexpr SlotNames kAtmega88[] = {
    kLowCkout,
    kHighDwen,
    {kExtended, {"BOOTRST", "BOOTSZ0", "BOOTSZ1"}},
    kLockBoot,
};
// The ATmega328 and 328P moved the boot fuses into the high byte; their extended byte holds
// only the brown-out levels.
inline constexpr SlotNames kAtmega328[] = {
    kLowCkout,
    {kHigh, {"BOOTRST", "BOOTSZ0", "BOOTSZ1", "EESAVE", "WDTON", "SPIEN", "DWEN", "RSTDISBL"}},
    {kExtended, {"BODLEVEL0", "BODLEVEL1", "BODLEVEL2"}},
    kLockBoot,
};
inline constexpr SlotNames kAtmega162[] = {
    kLowCkout,
    kHighJtagWdton,
    {kExtended, {"", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2", "M161C"}},
    kLockBoot,
};
inline constexpr SlotNames kAtmega169[] = {
    kLowCkout,
    kHighJtagWdton,
    {kExtended, {"RESERVED", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2"}, 0x01},
    kLockBoot,
};
inline constexpr SlotNames kAtmega64[] = {
    kLowBoden,
    kHighJtagCkopt,
    {kExtended, {"WDTON", "M103C"}},
    kLockBoot,
};
inline constexpr SlotNames kAtmega164[] = {
    kLowCkout,
    kHighJtagWdton,
    {kExtended, {"BODLEVEL0", "BODLEVEL1", "BODLEVEL2"}},
    kLockBoot,
};
inline constexpr SlotNames kAt90can[] = {
    kLowCkout,
    kHighJtagWdton,
    {kExtended, {"TA0SEL", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2"}},
    kLockBoot,
};

}  // namespace quillon::bitnames
