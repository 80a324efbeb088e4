// The socket's own knowledge of the chips, from their datasheets. Deliberately independent of
// the program's chip tables: a wrong byte there must not pass because it is repeated here.
#include <algorithm>
#include <array>
#include <cctype>

#include "model/ChipDescription.h"

namespace quillon::sim {

namespace {

constexpr FuseByte Fuse(std::uint8_t mask, std::uint8_t factory)
{
    return FuseByte{.present = true, .mask = mask, .factory = factory};
}
constexpr FuseByte kNoFuse{};

constexpr std::array<std::uint8_t, 4> kCal{0xA7, 0x9B, 0x8E, 0x83};  // factory-trimmed OSCCAL values

// The AT90S parts: word-at-a-time flash, long WR pulses for erase and fuses, one fuse byte
// holding SPIEN (bit 5) and RCEN or FSTRT (bit 0), lock bits LB1/LB2 in bits 1 and 2.
constexpr ChipDescription Classic(std::string_view name, std::uint8_t sig1, std::uint8_t sig2,
                                  std::uint32_t flash, std::uint32_t eeprom)
{
    return ChipDescription{
        .name = name,
        .signature = {0x1E, sig1, sig2},
        .method = Method::ClassicParallel,
        .flashBytes = flash,
        .eepromBytes = eeprom,
        .fuses = {Fuse(0x21, 0xDF), kNoFuse, kNoFuse},
        .lockMask = 0x06,
        .fuseRead = FuseReadLayout::Combined,
        .longPulses = true,
        .times = {.flash = 1.0, .eeprom = 4.0, .erase = 0.0, .fuse = 1.0},
    };
}

// AT90S2333/4433: six fuse bits (CKSEL2..0, BODEN, BODLEVEL, SPIEN) read with BS1 = 0 and the
// lock bits with BS1 = 1.
constexpr ChipDescription Classic4433(std::string_view name, std::uint8_t sig1, std::uint8_t sig2,
                                      std::uint32_t flash, std::uint32_t eeprom)
{
    ChipDescription d = Classic(name, sig1, sig2, flash, eeprom);
    d.fuses[0] = Fuse(0x3F, 0xDA);
    d.fuseRead = FuseReadLayout::Selected;
    return d;
}

struct PagedArgs {
    std::string_view name;
    std::uint8_t sig1, sig2;
    std::uint32_t flash, eeprom;
    std::uint16_t pageWords;
    std::uint8_t eepromPage;
    std::array<FuseByte, 3> fuses;
    std::uint8_t lockMask;
    std::uint8_t calibrationCount;
};

constexpr ChipDescription Paged(const PagedArgs& a)
{
    return ChipDescription{
        .name = a.name,
        .signature = {0x1E, a.sig1, a.sig2},
        .method = Method::PagedParallel,
        .flashBytes = a.flash,
        .eepromBytes = a.eeprom,
        .flashPageWords = a.pageWords,
        .eepromPageBytes = a.eepromPage,
        .fuses = a.fuses,
        .lockMask = a.lockMask,
        .calibrationCount = a.calibrationCount,
        .calibration = kCal,
        .eesave = {.fuse = 1, .bit = 3},
    };
}

// The 20-pin ATtinys share BS1 with PAGEL and XA1 with BS2.
constexpr ChipDescription PagedTiny(const PagedArgs& a)
{
    ChipDescription d = Paged(a);
    d.sharedPagelBs1 = true;
    d.times.eeprom = 4.0;
    return d;
}

// ATmega103/603: a paged flash, but erase and fuse programming are timed by the WR pulse.
constexpr ChipDescription Mega103(std::string_view name, std::uint8_t sig1, std::uint8_t sig2,
                                  std::uint32_t flash, std::uint32_t eeprom)
{
    ChipDescription d = Paged({name, sig1, sig2, flash, eeprom, 128, 0,
                               {Fuse(0x2B, 0xDF), kNoFuse, kNoFuse}, 0x06, 0});
    d.longPulses = true;
    d.times.eeprom = 4.0;
    d.eesave = {.fuse = 0, .bit = 3};
    return d;
}

constexpr ChipDescription SerialChip(std::string_view name, std::uint8_t sig1, std::uint8_t sig2,
                                     std::uint32_t flash, std::uint32_t eeprom,
                                     SerialDialect dialect)
{
    return ChipDescription{
        .name = name,
        .signature = {0x1E, sig1, sig2},
        .method = Method::Serial,
        .flashBytes = flash,
        .eepromBytes = eeprom,
        .calibration = kCal,
        .dialect = dialect,
    };
}

// AT90S2323 (FSTRT), AT90S2343 and ATtiny22 (RCEN): the fuse and lock bits read as one byte.
constexpr ChipDescription Serial23x3(std::string_view name, std::uint8_t sig2)
{
    ChipDescription d = SerialChip(name, 0x91, sig2, 2048, 128, SerialDialect::At90s23x3);
    d.fuses[0] = Fuse(0x21, 0xDE);
    d.lockMask = 0x06;
    d.fuseRead = FuseReadLayout::Combined;
    d.times = {.flash = 4.0, .eeprom = 4.0, .erase = 8.0, .fuse = 4.0};
    d.spien = {.fuse = 0, .bit = 5};
    return d;
}

constexpr ChipDescription Tiny12(std::string_view name, std::uint8_t sig2, FuseByte fuse)
{
    ChipDescription d = SerialChip(name, 0x90, sig2, 1024, 64, SerialDialect::Tiny12);
    d.fuses[0] = fuse;
    d.lockMask = 0x06;
    d.calibrationCount = 1;
    d.times = {.flash = 4.0, .eeprom = 4.0, .erase = 8.0, .fuse = 4.0};
    d.spien = {.fuse = 0, .bit = 5};
    return d;
}

constexpr ChipDescription Tiny25(std::string_view name, std::uint8_t sig1, std::uint8_t sig2,
                                 std::uint32_t flash, std::uint32_t eeprom, std::uint16_t pageWords)
{
    ChipDescription d = SerialChip(name, sig1, sig2, flash, eeprom, SerialDialect::Tiny13);
    d.flashPageWords = pageWords;
    d.eepromPageBytes = 4;
    d.fuses = {Fuse(0xFF, 0x62), Fuse(0xFF, 0xDF), Fuse(0x01, 0xFF)};
    d.calibrationCount = 2;
    d.times = {.flash = 4.5, .eeprom = 4.0, .erase = 9.0, .fuse = 4.5};
    d.eesave = {.fuse = 1, .bit = 3};
    d.spien = {.fuse = 1, .bit = 5};
    return d;
}

// ATtiny24/44/84: the ATtiny25 family's serial instruction set and fuse layout in 14 pins, with
// one calibration byte.
constexpr ChipDescription Tiny24(std::string_view name, std::uint8_t sig1, std::uint8_t sig2,
                                 std::uint32_t flash, std::uint32_t eeprom, std::uint16_t pageWords)
{
    ChipDescription d = Tiny25(name, sig1, sig2, flash, eeprom, pageWords);
    d.calibrationCount = 1;
    return d;
}

// ATtiny2313 and ATtiny4313: DWEN, EESAVE, SPIEN, WDTON from bit 7 down, so EESAVE is bit 6 of
// the high fuse.
constexpr ChipDescription Tiny2313(const PagedArgs& a)
{
    ChipDescription d = PagedTiny(a);
    d.eesave = {.fuse = 1, .bit = 6};
    return d;
}

constexpr ChipDescription MakeTiny13()
{
    ChipDescription d = SerialChip("ATtiny13", 0x90, 0x07, 1024, 64, SerialDialect::Tiny13);
    d.flashPageWords = 16;
    d.eepromPageBytes = 4;
    d.fuses = {Fuse(0xFF, 0x6A), Fuse(0x1F, 0xFF), kNoFuse};
    d.calibrationCount = 1;
    d.times = {.flash = 4.5, .eeprom = 4.0, .erase = 9.0, .fuse = 4.5};
    d.eesave = {.fuse = 0, .bit = 6};
    d.spien = {.fuse = 0, .bit = 7};
    return d;
}

// ATtiny26: serial programming with flash pages but byte-wise EEPROM; it also has a parallel
// interface (BS1/PAGEL and XA1/BS2 shared), so its signature reads by either method.
constexpr ChipDescription MakeTiny26()
{
    ChipDescription d = SerialChip("ATtiny26", 0x91, 0x09, 2048, 128, SerialDialect::Tiny13);
    d.flashPageWords = 16;
    d.fuses = {Fuse(0xFF, 0xE1), Fuse(0x1F, 0xF7), kNoFuse};
    d.calibrationCount = 4;
    d.parallelToo = true;
    d.sharedPagelBs1 = true;
    d.times = {.flash = 4.5, .eeprom = 9.0, .erase = 9.0, .fuse = 4.5};
    d.eesave = {.fuse = 1, .bit = 2};
    d.spien = {.fuse = 1, .bit = 3};
    return d;
}

constexpr FuseByte L62 = Fuse(0xFF, 0x62);
constexpr FuseByte LE1 = Fuse(0xFF, 0xE1);
constexpr FuseByte HDF = Fuse(0xFF, 0xDF);
constexpr FuseByte HD9 = Fuse(0xFF, 0xD9);
constexpr FuseByte H99 = Fuse(0xFF, 0x99);

constexpr ChipDescription kChips[] = {
    Classic("AT90S1200", 0x90, 0x01, 1024, 64),
    Tiny12("ATtiny12", 0x05, Fuse(0xFF, 0x52)),
    Tiny12("ATtiny15", 0x06, Fuse(0xF3, 0x5C)),
    MakeTiny13(),
    Classic("AT90S2313", 0x91, 0x01, 2048, 128),
    Serial23x3("AT90S2323", 0x02),
    Serial23x3("AT90S2343", 0x03),
    Classic4433("AT90S2333", 0x91, 0x05, 2048, 128),
    Serial23x3("ATtiny22", 0x06),
    Tiny25("ATtiny25", 0x91, 0x08, 2048, 128, 16),
    MakeTiny26(),
    Tiny2313({"ATtiny2313", 0x91, 0x0A, 2048, 128, 16, 4, {Fuse(0xFF, 0x64), HDF, Fuse(0x01, 0xFF)}, 0x03, 2}),
    PagedTiny({"ATtiny261", 0x91, 0x0C, 2048, 128, 16, 4, {L62, HDF, Fuse(0x01, 0xFF)}, 0x03, 1}),
    Classic("AT90S4414", 0x92, 0x01, 4096, 256),
    Classic("AT90S4434", 0x92, 0x02, 4096, 256),
    Classic4433("AT90S4433", 0x92, 0x03, 4096, 256),
    Paged({"ATmega48", 0x92, 0x05, 4096, 256, 32, 4, {L62, HDF, Fuse(0x01, 0xFF)}, 0x03, 1}),
    Tiny25("ATtiny45", 0x92, 0x06, 4096, 256, 32),
    PagedTiny({"ATtiny461", 0x92, 0x08, 4096, 256, 32, 4, {L62, HDF, Fuse(0x01, 0xFF)}, 0x03, 1}),
    Classic("AT90S8515", 0x93, 0x01, 8192, 512),
    Classic("AT90S8535", 0x93, 0x03, 8192, 512),
    Paged({"ATmega8515", 0x93, 0x06, 8192, 512, 32, 4, {LE1, HD9, kNoFuse}, 0x3F, 4}),
    Paged({"ATmega8", 0x93, 0x07, 8192, 512, 32, 4, {LE1, HD9, kNoFuse}, 0x3F, 4}),
    Paged({"ATmega8535", 0x93, 0x08, 8192, 512, 32, 4, {LE1, HD9, kNoFuse}, 0x3F, 4}),
    Paged({"ATmega88", 0x93, 0x0A, 8192, 512, 32, 4, {L62, HDF, Fuse(0x07, 0xF9)}, 0x3F, 1}),
    Tiny25("ATtiny85", 0x93, 0x0B, 8192, 512, 32),
    PagedTiny({"ATtiny861", 0x93, 0x0D, 8192, 512, 32, 4, {L62, HDF, Fuse(0x01, 0xFF)}, 0x03, 1}),
    Paged({"ATmega161", 0x94, 0x01, 16384, 512, 64, 0, {Fuse(0x7F, 0xDA), kNoFuse, kNoFuse}, 0x3F, 0}),
    Paged({"ATmega163", 0x94, 0x02, 16384, 512, 64, 0, {Fuse(0xFF, 0xD2), Fuse(0x07, 0xFF), kNoFuse}, 0x3F, 1}),
    Paged({"ATmega16", 0x94, 0x03, 16384, 512, 64, 4, {LE1, H99, kNoFuse}, 0x3F, 4}),
    Paged({"ATmega162", 0x94, 0x04, 16384, 512, 64, 4, {L62, H99, Fuse(0x1E, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega169", 0x94, 0x05, 16384, 512, 64, 4, {L62, H99, Fuse(0x0F, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega168", 0x94, 0x06, 16384, 512, 64, 4, {L62, HDF, Fuse(0x07, 0xF9)}, 0x3F, 1}),
    Paged({"ATmega164", 0x94, 0x0A, 16384, 512, 64, 4, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega323", 0x95, 0x01, 32768, 1024, 64, 0, {Fuse(0xFF, 0xF2), Fuse(0xFF, 0x9F), kNoFuse}, 0x3F, 1}),
    Paged({"ATmega32", 0x95, 0x02, 32768, 1024, 64, 4, {LE1, H99, kNoFuse}, 0x3F, 4}),
    Paged({"ATmega324", 0x95, 0x08, 32768, 1024, 64, 4, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"AT90CAN32", 0x95, 0x81, 32768, 1024, 128, 8, {L62, H99, Fuse(0x0F, 0xFF)}, 0x3F, 1}),
    Mega103("ATmega603", 0x96, 0x01, 65536, 2048),
    Paged({"ATmega64", 0x96, 0x02, 65536, 2048, 128, 8, {LE1, H99, Fuse(0x03, 0xFD)}, 0x3F, 4}),
    Paged({"ATmega640", 0x96, 0x08, 65536, 4096, 128, 8, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega644", 0x96, 0x0A, 65536, 2048, 128, 8, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"AT90CAN64", 0x96, 0x81, 65536, 2048, 128, 8, {L62, H99, Fuse(0x0F, 0xFF)}, 0x3F, 1}),
    Mega103("ATmega103", 0x97, 0x01, 131072, 4096),
    Paged({"ATmega128", 0x97, 0x02, 131072, 4096, 128, 8, {LE1, H99, Fuse(0x03, 0xFD)}, 0x3F, 4}),
    Paged({"ATmega1280", 0x97, 0x03, 131072, 4096, 128, 8, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega1281", 0x97, 0x04, 131072, 4096, 128, 8, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"AT90CAN128", 0x97, 0x81, 131072, 4096, 128, 8, {L62, H99, Fuse(0x0F, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega2560", 0x98, 0x01, 262144, 4096, 128, 8, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega2561", 0x98, 0x02, 262144, 4096, 128, 8, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),

    // The chips of today's boards: the P and A versions of the ATmega48 to 1284 families and the
    // 14-pin tinies. The 48P has only SELFPRGEN in its extended byte, the 328 and 328P only the
    // brown-out levels (their boot fuses are in the high byte).
    Tiny24("ATtiny24", 0x91, 0x0B, 2048, 128, 16),
    Tiny24("ATtiny44", 0x92, 0x07, 4096, 256, 32),
    Tiny24("ATtiny84", 0x93, 0x0C, 8192, 512, 32),
    Tiny2313({"ATtiny4313", 0x92, 0x0D, 4096, 256, 32, 4, {Fuse(0xFF, 0x64), HDF, Fuse(0x01, 0xFF)}, 0x03, 2}),
    Paged({"ATmega48P", 0x92, 0x0A, 4096, 256, 32, 4, {L62, HDF, Fuse(0x01, 0xFF)}, 0x03, 1}),
    Paged({"ATmega88P", 0x93, 0x0F, 8192, 512, 32, 4, {L62, HDF, Fuse(0x07, 0xF9)}, 0x3F, 1}),
    Paged({"ATmega168P", 0x94, 0x0B, 16384, 512, 64, 4, {L62, HDF, Fuse(0x07, 0xF9)}, 0x3F, 1}),
    Paged({"ATmega328", 0x95, 0x14, 32768, 1024, 64, 4, {L62, HD9, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega328P", 0x95, 0x0F, 32768, 1024, 64, 4, {L62, HD9, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega164A", 0x94, 0x0F, 16384, 512, 64, 4, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega324A", 0x95, 0x15, 32768, 1024, 64, 4, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega324PA", 0x95, 0x11, 32768, 1024, 64, 4, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega644A", 0x96, 0x09, 65536, 2048, 128, 8, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega1284", 0x97, 0x06, 131072, 4096, 128, 8, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
    Paged({"ATmega1284P", 0x97, 0x05, 131072, 4096, 128, 8, {L62, H99, Fuse(0x07, 0xFF)}, 0x3F, 1}),
};

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::span<const ChipDescription> AllChipDescriptions()
{
    return kChips;
}

const ChipDescription* FindChipDescription(std::string_view name)
{
    for (const auto& chip : kChips)
        if (SameName(chip.name, name)) return &chip;
    return nullptr;
}

}  // namespace quillon::sim
