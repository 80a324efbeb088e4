#include "chips/Catalogue.h"

#include <algorithm>

#include "chips/Chip.h"

namespace quillon {

namespace {

constexpr std::int32_t Sig(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    return b0 | (b1 << 8) | (b2 << 16);
}

// The serial-only chips are reached by autosearch alone: their menu items stay disabled.
constexpr bool kMenu = true;
constexpr bool kNoMenu = false;

constexpr CatalogueEntry kCatalogue[] = {
    {"AT90S1200", Sig(0x1E, 0x90, 0x01), 1024, 64, 2, 0, {0xDF, 0xFF}, kMenu},
    {"ATtiny12", Sig(0x1E, 0x90, 0x05), 1024, 64, 2, 1, {0x52, 0xFF}, kNoMenu},
    {"ATtiny15", Sig(0x1E, 0x90, 0x06), 1024, 64, 2, 1, {0x5C, 0xFF}, kNoMenu},
    {"ATtiny13", Sig(0x1E, 0x90, 0x07), 1024, 64, 3, 1, {0x6A, 0xFF, 0xFF}, kNoMenu},
    {"AT90S2313", Sig(0x1E, 0x91, 0x01), 2048, 128, 2, 0, {0xDF, 0xFF}, kMenu},
    {"AT90S2323", Sig(0x1E, 0x91, 0x02), 2048, 128, 2, 0, {0xDE, 0xFF}, kNoMenu},
    {"AT90S2343", Sig(0x1E, 0x91, 0x03), 2048, 128, 2, 0, {0xDE, 0xFF}, kNoMenu},
    {"AT90S2333", Sig(0x1E, 0x91, 0x05), 2048, 128, 2, 0, {0xDA, 0xFF}, kMenu},
    {"ATtiny22", Sig(0x1E, 0x91, 0x06), 2048, 128, 2, 1, {0xDE, 0xFF}, kNoMenu},
    {"ATtiny25", Sig(0x1E, 0x91, 0x08), 2048, 128, 4, 2, {0x62, 0xDF, 0xFF, 0xFF}, kNoMenu},
    {"ATtiny26", Sig(0x1E, 0x91, 0x09), 2048, 128, 3, 4, {0xE1, 0xF7, 0xFF}, kNoMenu},
    {"ATtiny2313", Sig(0x1E, 0x91, 0x0A), 2048, 128, 4, 2, {0x64, 0xDF, 0xFF, 0xFF}, kMenu},
    {"ATtiny261", Sig(0x1E, 0x91, 0x0C), 2048, 128, 4, 1, {0x62, 0xDF, 0xFF, 0xFF}, kMenu},
    {"AT90S4414", Sig(0x1E, 0x92, 0x01), 4096, 256, 2, 0, {0xDF, 0xFF}, kMenu},
    {"AT90S4434", Sig(0x1E, 0x92, 0x02), 4096, 256, 2, 0, {0xDF, 0xFF}, kMenu},
    {"AT90S4433", Sig(0x1E, 0x92, 0x03), 4096, 256, 2, 0, {0xDA, 0xFF}, kMenu},
    {"ATmega48", Sig(0x1E, 0x92, 0x05), 4096, 256, 4, 1, {0x62, 0xDF, 0xFF, 0xFF}, kMenu},
    {"ATtiny45", Sig(0x1E, 0x92, 0x06), 4096, 256, 4, 2, {0x62, 0xDF, 0xFF, 0xFF}, kNoMenu},
    {"ATtiny461", Sig(0x1E, 0x92, 0x08), 4096, 256, 4, 1, {0x62, 0xDF, 0xFF, 0xFF}, kMenu},
    {"AT90S8515", Sig(0x1E, 0x93, 0x01), 8192, 512, 2, 0, {0xDF, 0xFF}, kMenu},
    {"AT90S8535", Sig(0x1E, 0x93, 0x03), 8192, 512, 2, 0, {0xDF, 0xFF}, kMenu},
    {"ATmega8515", Sig(0x1E, 0x93, 0x06), 8192, 512, 3, 4, {0xE1, 0xD9, 0xFF}, kMenu},
    {"ATmega8", Sig(0x1E, 0x93, 0x07), 8192, 512, 3, 4, {0xE1, 0xD9, 0xFF}, kMenu},
    {"ATmega8535", Sig(0x1E, 0x93, 0x08), 8192, 512, 3, 4, {0xE1, 0xD9, 0xFF}, kMenu},
    {"ATmega88", Sig(0x1E, 0x93, 0x0A), 8192, 512, 4, 1, {0x62, 0xDF, 0xF9, 0xFF}, kMenu},
    {"ATtiny85", Sig(0x1E, 0x93, 0x0B), 8192, 512, 4, 2, {0x62, 0xDF, 0xFF, 0xFF}, kNoMenu},
    {"ATtiny861", Sig(0x1E, 0x93, 0x0D), 8192, 512, 4, 1, {0x62, 0xDF, 0xFF, 0xFF}, kMenu},
    {"ATmega161", Sig(0x1E, 0x94, 0x01), 16384, 512, 2, 0, {0xDA, 0xFF}, kMenu},
    {"ATmega163", Sig(0x1E, 0x94, 0x02), 16384, 512, 3, 1, {0xD2, 0xFF, 0xFF}, kMenu},
    {"ATmega16", Sig(0x1E, 0x94, 0x03), 16384, 512, 3, 4, {0xE1, 0x99, 0xFF}, kMenu},
    {"ATmega162", Sig(0x1E, 0x94, 0x04), 16384, 512, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"ATmega169", Sig(0x1E, 0x94, 0x05), 16384, 512, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"ATmega168", Sig(0x1E, 0x94, 0x06), 16384, 512, 4, 1, {0x62, 0xDF, 0xF9, 0xFF}, kMenu},
    {"ATmega164", Sig(0x1E, 0x94, 0x0A), 16384, 512, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"ATmega323", Sig(0x1E, 0x95, 0x01), 32768, 1024, 3, 1, {0xF2, 0x9F, 0xFF}, kMenu},
    {"ATmega32", Sig(0x1E, 0x95, 0x02), 32768, 1024, 3, 4, {0xE1, 0x99, 0xFF}, kMenu},
    {"ATmega324", Sig(0x1E, 0x95, 0x08), 32768, 1024, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"AT90CAN32", Sig(0x1E, 0x95, 0x81), 32768, 1024, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"ATmega603", Sig(0x1E, 0x96, 0x01), 65536, 2048, 2, 0, {0xDF, 0xFF}, kMenu},
    {"ATmega64", Sig(0x1E, 0x96, 0x02), 65536, 2048, 4, 4, {0xE1, 0x99, 0xFD, 0xFF}, kMenu},
    {"ATmega640", Sig(0x1E, 0x96, 0x08), 65536, 4096, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"ATmega644", Sig(0x1E, 0x96, 0x0A), 65536, 2048, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"AT90CAN64", Sig(0x1E, 0x96, 0x81), 65536, 2048, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"ATmega103", Sig(0x1E, 0x97, 0x01), 131072, 4096, 2, 0, {0xDF, 0xFF}, kMenu},
    {"ATmega128", Sig(0x1E, 0x97, 0x02), 131072, 4096, 4, 4, {0xE1, 0x99, 0xFD, 0xFF}, kMenu},
    {"ATmega1280", Sig(0x1E, 0x97, 0x03), 131072, 4096, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"ATmega1281", Sig(0x1E, 0x97, 0x04), 131072, 4096, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"AT90CAN128", Sig(0x1E, 0x97, 0x81), 131072, 4096, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"ATmega2560", Sig(0x1E, 0x98, 0x01), 262144, 4096, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
    {"ATmega2561", Sig(0x1E, 0x98, 0x02), 262144, 4096, 4, 1, {0x62, 0x99, 0xFF, 0xFF}, kMenu},
};

// The record's images are sized for the largest entry; a table edit must not outgrow them.
constexpr bool FitsTheRecord()
{
    for (const auto& e : kCatalogue) {
        if (e.flashSize == 0 || e.flashSize > kFlashImageSize || e.flashSize % 16 != 0) return false;
        if (e.eepromSize == 0 || e.eepromSize > kEepromImageSize || e.eepromSize % 16 != 0) return false;
        if (e.lockFuseCount < 2 || e.lockFuseCount > e.factoryLockFuse.size()) return false;
    }
    return true;
}
static_assert(FitsTheRecord());

}  // namespace

std::span<const CatalogueEntry> Catalogue() { return kCatalogue; }

const CatalogueEntry* FindChip(std::int32_t signature)
{
    if (signature == 0) return nullptr;
    for (const auto& e : kCatalogue)
        if (e.signature == signature) return &e;
    return nullptr;
}

const CatalogueEntry* FindChipByName(std::string_view name)
{
    for (const auto& e : kCatalogue)
        if (e.name == name) return &e;
    return nullptr;
}

void FillChipRecord(Chip& chip, const CatalogueEntry& entry)
{
    chip.name = std::string(entry.name);
    chip.pictureFile = chip.name + ".jpg";
    chip.signature = entry.signature;
    chip.flashSize = entry.flashSize;
    chip.eepromSize = entry.eepromSize;
    chip.lockFuseCount = entry.lockFuseCount;
    chip.calibrationCount = entry.calibrationCount;
}

void ResetImage(Chip& chip, int which)
{
    switch (which) {
    case 1: chip.flash.fill(0xFF); break;
    case 2: chip.eeprom.fill(0xFF); break;
    case 3:
        chip.lockFuse.fill(0xFF);
        if (const CatalogueEntry* entry = FindChip(chip.signature))
            std::copy_n(entry->factoryLockFuse.begin(), entry->lockFuseCount, chip.lockFuse.begin());
        break;
    case 4: chip.calibration.fill(0xFF); break;
    default: break;
    }
}

}  // namespace quillon
