#include "chips/ChipTable.h"

#include <utility>

#include "chips/BitNameSets.h"
#include "chips/Chip.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr std::int32_t Sig(std::uint8_t b1, std::uint8_t b2) { return 0x1E | (b1 << 8) | (b2 << 16); }

using enum Family;
using namespace units;
using namespace bitnames;

// One row per chip, grouped and ordered as the Chip Select menu shows them: by name within each
// submenu, the AT90CAN chips after the AT90S ones. Only the parallel chips can be chosen there;
// the serial ones are greyed and named on the command line.
//
// Page sizes are the chips' own: the ATtiny45 and ATtiny85 program 64-byte pages, so their
// pages are committed every 64 bytes like their datasheets' 32-word pages need. The ATmega162
// reads its calibration byte the ATmega163's way.
constexpr ChipRow kChips[] = {
    // AT90...
    {.name = "AT90S1200", .signature = Sig(0x90, 0x01), .flashSize = 1024, .eepromSize = 64,
     .lockFuseCount = 2, .factoryLockFuse = {0xDF, 0xFF}, .calibrationCount = 0, .bitNames = kRcen,
     .driver = &At90s1200, .family = Classic},
    {.name = "AT90S2313", .signature = Sig(0x91, 0x01), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 2, .factoryLockFuse = {0xDF, 0xFF}, .calibrationCount = 0, .bitNames = kFstrt,
     .driver = &At90s2313, .family = Classic},
    {.name = "AT90S2323", .signature = Sig(0x91, 0x02), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 2, .factoryLockFuse = {0xDE, 0xFF}, .calibrationCount = 0, .bitNames = kFstrt,
     .driver = &At90s2323, .family = Serial},
    {.name = "AT90S2333", .signature = Sig(0x91, 0x05), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 2, .factoryLockFuse = {0xDA, 0xFF}, .calibrationCount = 0, .bitNames = kAt90s2333,
     .driver = &At90s2333, .family = Classic},
    {.name = "AT90S2343", .signature = Sig(0x91, 0x03), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 2, .factoryLockFuse = {0xDE, 0xFF}, .calibrationCount = 0, .bitNames = kRcen,
     .driver = &At90s2343, .family = Serial},
    {.name = "AT90S4414", .signature = Sig(0x92, 0x01), .flashSize = 4096, .eepromSize = 256,
     .lockFuseCount = 2, .factoryLockFuse = {0xDF, 0xFF}, .calibrationCount = 0, .bitNames = kFstrt,
     .driver = &At90s4414, .family = Classic},
    {.name = "AT90S4433", .signature = Sig(0x92, 0x03), .flashSize = 4096, .eepromSize = 256,
     .lockFuseCount = 2, .factoryLockFuse = {0xDA, 0xFF}, .calibrationCount = 0, .bitNames = kAt90s2333,
     .driver = &At90s2333, .family = Classic},
    {.name = "AT90S4434", .signature = Sig(0x92, 0x02), .flashSize = 4096, .eepromSize = 256,
     .lockFuseCount = 2, .factoryLockFuse = {0xDF, 0xFF}, .calibrationCount = 0, .bitNames = kFstrt,
     .driver = &At90s4434, .family = Classic},
    {.name = "AT90S8515", .signature = Sig(0x93, 0x01), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 2, .factoryLockFuse = {0xDF, 0xFF}, .calibrationCount = 0, .bitNames = kFstrt,
     .driver = &At90s4414, .family = Classic},
    {.name = "AT90S8535", .signature = Sig(0x93, 0x03), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 2, .factoryLockFuse = {0xDF, 0xFF}, .calibrationCount = 0, .bitNames = kFstrt,
     .driver = &At90s4434, .family = Classic},
    {.name = "AT90CAN32", .signature = Sig(0x95, 0x81), .flashSize = 32768, .eepromSize = 1024,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAt90can,
     .driver = &At90can32, .page = 256, .eepromPage = 8},
    {.name = "AT90CAN64", .signature = Sig(0x96, 0x81), .flashSize = 65536, .eepromSize = 2048,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAt90can,
     .driver = &At90can32, .page = 256, .eepromPage = 8},
    {.name = "AT90CAN128", .signature = Sig(0x97, 0x81), .flashSize = 131072, .eepromSize = 4096,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAt90can,
     .driver = &At90can32, .page = 256, .eepromPage = 8},
    // AVR tiny
    {.name = "ATtiny12", .signature = Sig(0x90, 0x05), .flashSize = 1024, .eepromSize = 64,
     .lockFuseCount = 2, .factoryLockFuse = {0x52, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny12,
     .driver = &Attiny12, .family = Serial},
    {.name = "ATtiny13", .signature = Sig(0x90, 0x07), .flashSize = 1024, .eepromSize = 64,
     .lockFuseCount = 3, .factoryLockFuse = {0x6A, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny13,
     .driver = &Attiny13, .family = Serial, .page = 32, .eepromPage = 4},
    {.name = "ATtiny15", .signature = Sig(0x90, 0x06), .flashSize = 1024, .eepromSize = 64,
     .lockFuseCount = 2, .factoryLockFuse = {0x5C, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny15,
     .driver = &Attiny15, .family = Serial},
    {.name = "ATtiny22", .signature = Sig(0x91, 0x06), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 2, .factoryLockFuse = {0xDE, 0xFF}, .calibrationCount = 1, .bitNames = kRcen,
     .driver = &Attiny22, .family = Serial, .calibrationUnread = true},
    {.name = "ATtiny2313", .signature = Sig(0x91, 0x0A), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 4, .factoryLockFuse = {0x64, 0xDF, 0xFF, 0xFF}, .calibrationCount = 2, .bitNames = kAttiny2313,
     .driver = &Attiny2313, .page = 32, .eepromPage = 4},
    {.name = "ATtiny24", .signature = Sig(0x91, 0x0B), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny25,
     .driver = &Attiny25, .family = Serial, .page = 32, .eepromPage = 4},
    {.name = "ATtiny25", .signature = Sig(0x91, 0x08), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 2, .bitNames = kAttiny25,
     .driver = &Attiny25, .family = Serial, .page = 32, .eepromPage = 4},
    {.name = "ATtiny26", .signature = Sig(0x91, 0x09), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 3, .factoryLockFuse = {0xE1, 0xF7, 0xFF}, .calibrationCount = 4, .bitNames = kAttiny26,
     .driver = &Attiny26, .family = Serial, .page = 32},
    {.name = "ATtiny261", .signature = Sig(0x91, 0x0C), .flashSize = 2048, .eepromSize = 128,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny25,
     .driver = &Attiny261, .page = 32, .eepromPage = 4},
    {.name = "ATtiny4313", .signature = Sig(0x92, 0x0D), .flashSize = 4096, .eepromSize = 256,
     .lockFuseCount = 4, .factoryLockFuse = {0x64, 0xDF, 0xFF, 0xFF}, .calibrationCount = 2, .bitNames = kAttiny2313,
     .driver = &Attiny2313, .page = 64, .eepromPage = 4},
    {.name = "ATtiny44", .signature = Sig(0x92, 0x07), .flashSize = 4096, .eepromSize = 256,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny25,
     .driver = &Attiny25, .family = Serial, .page = 64, .eepromPage = 4},
    {.name = "ATtiny45", .signature = Sig(0x92, 0x06), .flashSize = 4096, .eepromSize = 256,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 2, .bitNames = kAttiny25,
     .driver = &Attiny25, .family = Serial, .page = 64, .eepromPage = 4},
    {.name = "ATtiny461", .signature = Sig(0x92, 0x08), .flashSize = 4096, .eepromSize = 256,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny25,
     .driver = &Attiny261, .page = 64, .eepromPage = 4},
    {.name = "ATtiny84", .signature = Sig(0x93, 0x0C), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny25,
     .driver = &Attiny25, .family = Serial, .page = 64, .eepromPage = 4},
    {.name = "ATtiny85", .signature = Sig(0x93, 0x0B), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 2, .bitNames = kAttiny25,
     .driver = &Attiny25, .family = Serial, .page = 64, .eepromPage = 4},
    {.name = "ATtiny861", .signature = Sig(0x93, 0x0D), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny25,
     .driver = &Attiny261, .page = 64, .eepromPage = 4},
    // AVR mega
    {.name = "ATmega103", .signature = Sig(0x97, 0x01), .flashSize = 131072, .eepromSize = 4096,
     .lockFuseCount = 2, .factoryLockFuse = {0xDF, 0xFF}, .calibrationCount = 0, .bitNames = kAtmega603,
     .driver = &Atmega603, .page = 256},
    {.name = "ATmega128", .signature = Sig(0x97, 0x02), .flashSize = 131072, .eepromSize = 4096,
     .lockFuseCount = 4, .factoryLockFuse = {0xE1, 0x99, 0xFD, 0xFF}, .calibrationCount = 4, .bitNames = kAtmega64,
     .driver = &Atmega64, .page = 256, .eepromPage = 8},
    {.name = "ATmega1280", .signature = Sig(0x97, 0x03), .flashSize = 131072, .eepromSize = 4096,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega640, .page = 256, .eepromPage = 8},
    {.name = "ATmega1281", .signature = Sig(0x97, 0x04), .flashSize = 131072, .eepromSize = 4096,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega640, .page = 256, .eepromPage = 8},
    {.name = "ATmega1284", .signature = Sig(0x97, 0x06), .flashSize = 131072, .eepromSize = 4096,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega164, .page = 256, .eepromPage = 8},
    {.name = "ATmega1284P", .signature = Sig(0x97, 0x05), .flashSize = 131072, .eepromSize = 4096,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega164, .page = 256, .eepromPage = 8},
    {.name = "ATmega16", .signature = Sig(0x94, 0x03), .flashSize = 16384, .eepromSize = 512,
     .lockFuseCount = 3, .factoryLockFuse = {0xE1, 0x99, 0xFF}, .calibrationCount = 4, .bitNames = kAtmega16,
     .driver = &Atmega16, .page = 128, .eepromPage = 4},
    {.name = "ATmega161", .signature = Sig(0x94, 0x01), .flashSize = 16384, .eepromSize = 512,
     .lockFuseCount = 2, .factoryLockFuse = {0xDA, 0xFF}, .calibrationCount = 0, .bitNames = kAtmega161,
     .driver = &Atmega161, .page = 128},
    {.name = "ATmega162", .signature = Sig(0x94, 0x04), .flashSize = 16384, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega162,
     .driver = &Atmega162, .page = 128, .eepromPage = 4, .calibrationBy = &Atmega163},
    {.name = "ATmega163", .signature = Sig(0x94, 0x02), .flashSize = 16384, .eepromSize = 512,
     .lockFuseCount = 3, .factoryLockFuse = {0xD2, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega163,
     .driver = &Atmega163, .page = 128},
    {.name = "ATmega164", .signature = Sig(0x94, 0x0A), .flashSize = 16384, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega164, .page = 128, .eepromPage = 4},
    {.name = "ATmega164A", .signature = Sig(0x94, 0x0F), .flashSize = 16384, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega164, .page = 128, .eepromPage = 4},
    {.name = "ATmega168", .signature = Sig(0x94, 0x06), .flashSize = 16384, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xF9, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega88,
     .driver = &Atmega48, .page = 128, .eepromPage = 4},
    {.name = "ATmega168P", .signature = Sig(0x94, 0x0B), .flashSize = 16384, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xF9, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega88,
     .driver = &Atmega48, .page = 128, .eepromPage = 4},
    {.name = "ATmega169", .signature = Sig(0x94, 0x05), .flashSize = 16384, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega169,
     .driver = &Atmega169, .page = 128, .eepromPage = 4},
    {.name = "ATmega2560", .signature = Sig(0x98, 0x01), .flashSize = 262144, .eepromSize = 4096,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega640, .page = 256, .eepromPage = 8},
    {.name = "ATmega2561", .signature = Sig(0x98, 0x02), .flashSize = 262144, .eepromSize = 4096,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega640, .page = 256, .eepromPage = 8},
    {.name = "ATmega32", .signature = Sig(0x95, 0x02), .flashSize = 32768, .eepromSize = 1024,
     .lockFuseCount = 3, .factoryLockFuse = {0xE1, 0x99, 0xFF}, .calibrationCount = 4, .bitNames = kAtmega16,
     .driver = &Atmega16, .page = 128, .eepromPage = 4},
    {.name = "ATmega323", .signature = Sig(0x95, 0x01), .flashSize = 32768, .eepromSize = 1024,
     .lockFuseCount = 3, .factoryLockFuse = {0xF2, 0x9F, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega323,
     .driver = &Atmega323, .page = 128},
    {.name = "ATmega324", .signature = Sig(0x95, 0x08), .flashSize = 32768, .eepromSize = 1024,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega164, .page = 128, .eepromPage = 4},
    {.name = "ATmega324A", .signature = Sig(0x95, 0x15), .flashSize = 32768, .eepromSize = 1024,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega164, .page = 128, .eepromPage = 4},
    {.name = "ATmega324PA", .signature = Sig(0x95, 0x11), .flashSize = 32768, .eepromSize = 1024,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega164, .page = 128, .eepromPage = 4},
    {.name = "ATmega328", .signature = Sig(0x95, 0x14), .flashSize = 32768, .eepromSize = 1024,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xD9, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega328,
     .driver = &Atmega48, .page = 128, .eepromPage = 4},
    {.name = "ATmega328P", .signature = Sig(0x95, 0x0F), .flashSize = 32768, .eepromSize = 1024,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xD9, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega328,
     .driver = &Atmega48, .page = 128, .eepromPage = 4},
    {.name = "ATmega48", .signature = Sig(0x92, 0x05), .flashSize = 4096, .eepromSize = 256,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny25,
     .driver = &Atmega48, .page = 64, .eepromPage = 4},
    {.name = "ATmega48P", .signature = Sig(0x92, 0x0A), .flashSize = 4096, .eepromSize = 256,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAttiny25,
     .driver = &Atmega48, .page = 64, .eepromPage = 4},
    {.name = "ATmega603", .signature = Sig(0x96, 0x01), .flashSize = 65536, .eepromSize = 2048,
     .lockFuseCount = 2, .factoryLockFuse = {0xDF, 0xFF}, .calibrationCount = 0, .bitNames = kAtmega603,
     .driver = &Atmega603, .page = 256},
    {.name = "ATmega64", .signature = Sig(0x96, 0x02), .flashSize = 65536, .eepromSize = 2048,
     .lockFuseCount = 4, .factoryLockFuse = {0xE1, 0x99, 0xFD, 0xFF}, .calibrationCount = 4, .bitNames = kAtmega64,
     .driver = &Atmega64, .page = 256, .eepromPage = 8},
    {.name = "ATmega640", .signature = Sig(0x96, 0x08), .flashSize = 65536, .eepromSize = 4096,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega640, .page = 256, .eepromPage = 8},
    {.name = "ATmega644", .signature = Sig(0x96, 0x0A), .flashSize = 65536, .eepromSize = 2048,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega164, .page = 256, .eepromPage = 8},
    {.name = "ATmega644A", .signature = Sig(0x96, 0x09), .flashSize = 65536, .eepromSize = 2048,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0x99, 0xFF, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega164,
     .driver = &Atmega164, .page = 256, .eepromPage = 8},
    {.name = "ATmega8", .signature = Sig(0x93, 0x07), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 3, .factoryLockFuse = {0xE1, 0xD9, 0xFF}, .calibrationCount = 4, .bitNames = kAtmega8,
     .driver = &Atmega8, .page = 64, .eepromPage = 4},
    {.name = "ATmega8515", .signature = Sig(0x93, 0x06), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 3, .factoryLockFuse = {0xE1, 0xD9, 0xFF}, .calibrationCount = 4, .bitNames = kAtmega8515,
     .driver = &Atmega8515, .page = 64, .eepromPage = 4},
    {.name = "ATmega8535", .signature = Sig(0x93, 0x08), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 3, .factoryLockFuse = {0xE1, 0xD9, 0xFF}, .calibrationCount = 4, .bitNames = kAtmega8535,
     .driver = &Atmega8515, .page = 64, .eepromPage = 4},
    {.name = "ATmega88", .signature = Sig(0x93, 0x0A), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xF9, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega88,
     .driver = &Atmega48, .page = 64, .eepromPage = 4},
    {.name = "ATmega88P", .signature = Sig(0x93, 0x0F), .flashSize = 8192, .eepromSize = 512,
     .lockFuseCount = 4, .factoryLockFuse = {0x62, 0xDF, 0xF9, 0xFF}, .calibrationCount = 1, .bitNames = kAtmega88,
     .driver = &Atmega48, .page = 64, .eepromPage = 4},
};

// A wrong row fails the build at the rule it breaks, and the compiler names the row: the error
// is "in instantiation of RowFits<Name<...>{"ATtiny13"}, ...>" followed by the rule's line.
// Reaching RowBreaksRule during the check is what stops the build; it has no other use.
bool RowBreaksRule(std::string_view) { return false; }

constexpr bool FitsTogether(const ChipRow& c)
{
    if (c.signature == 0 || c.driver == nullptr || c.name.empty())
        return RowBreaksRule("a row has a name, a signature and a driver unit");
    if (c.flashSize == 0 || c.flashSize > kFlashImageSize || c.flashSize % 16 != 0)
        return RowBreaksRule("the flash fits the record's image in whole 16-byte lines");
    if (c.eepromSize == 0 || c.eepromSize > kEepromImageSize || c.eepromSize % 16 != 0)
        return RowBreaksRule("the EEPROM fits the record's image in whole 16-byte lines");
    if (c.lockFuseCount < 2 || c.lockFuseCount > c.factoryLockFuse.size())
        return RowBreaksRule("a chip has 2 to 4 lock and fuse slots");
    if (c.bitNames.size() != c.lockFuseCount) return RowBreaksRule("every lock and fuse slot has its bit names");
    if ((c.family == Classic) != (c.page == 0 && c.family != Serial))
        return RowBreaksRule("the parallel chips without a flash page are the classic ones, and only they");
    if (c.page != 0 && c.flashSize % c.page != 0) return RowBreaksRule("the flash is whole pages");
    if (c.eepromPage != 0 && c.eepromSize % c.eepromPage != 0) return RowBreaksRule("the EEPROM is whole pages");
    if (c.family == Serial && c.eepromPage != 0 && c.eepromPage != 4)
        return RowBreaksRule("a serial chip's EEPROM page is 4 bytes, the page its loads commit");
    if (c.family == Classic && c.eepromPage != 0) return RowBreaksRule("the classic chips have no EEPROM page");
    if (c.calibrationUnread && c.family != Serial)
        return RowBreaksRule("only a serial chip leaves calibration bytes unread: the parallel units all read them");
    if ((c.calibrationBy != nullptr || c.calibrationUnread) && c.calibrationCount == 0)
        return RowBreaksRule("a chip without calibration bytes says nothing of reading them");
    return true;
}

// The row's name as a template argument, so that the compiler's error shows it.
template <std::size_t N>
struct RowName {
    char text[N]{};
    constexpr RowName(std::string_view name)
    {
        for (std::size_t i = 0; i + 1 < N; ++i) text[i] = name[i];
    }
};

template <RowName name, std::size_t I>
struct RowFits {
    static_assert(FitsTogether(kChips[I]));
    static constexpr bool value = true;
};

template <std::size_t I>
constexpr bool RowAt()
{
    return RowFits<RowName<kChips[I].name.size() + 1>(kChips[I].name), I>::value;
}

template <std::size_t... I>
constexpr bool EveryRowFits(std::index_sequence<I...>)
{
    return (RowAt<I>() && ...);
}
static_assert(EveryRowFits(std::make_index_sequence<std::size(kChips)>()));

constexpr bool EveryChipOnce()
{
    for (std::size_t i = 0; i < std::size(kChips); ++i)
        for (std::size_t j = i + 1; j < std::size(kChips); ++j)
            if (kChips[i].signature == kChips[j].signature || kChips[i].name == kChips[j].name) return false;
    return true;
}
static_assert(EveryChipOnce());

}  // namespace

std::span<const ChipRow> Catalogue() { return kChips; }

const ChipRow* FindChip(std::int32_t signature)
{
    if (signature == 0) return nullptr;
    for (const ChipRow& row : kChips)
        if (row.signature == signature) return &row;
    return nullptr;
}

Target TargetOf(const Chip& chip)
{
    if (const ChipRow* row = FindChip(chip.signature)) return TargetOf(*row);
    return {.signature = chip.signature, .flashSize = chip.flashSize, .eepromSize = chip.eepromSize};
}

const ChipRow* FindChipByName(std::string_view name)
{
    for (const ChipRow& row : kChips)
        if (row.name == name) return &row;
    return nullptr;
}

}  // namespace quillon
