// What the simulated socket knows about each chip, written from the chips' datasheets: sizes,
// page organisation, fuse and lock bits, calibration bytes and how the chip is programmed.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace quillon::sim {

// How the chip is reached through the socket.
enum class Method : std::uint8_t {
    ClassicParallel,  // high-voltage parallel, one word or byte per WR pulse (AT90S)
    PagedParallel,    // high-voltage parallel with a flash page buffer loaded by PAGEL
    Serial,           // SPI programming only (8-pin parts), or SPI plus parallel (ATtiny26)
};

// The serial instruction sets differ between generations of chips.
enum class SerialDialect : std::uint8_t {
    None,
    At90s23x3,  // AT90S2323/2343, ATtiny22: byte-wise flash, combined fuse/lock read 0x58
    Tiny12,     // ATtiny12/15: byte-wise flash, fuse byte in I4, lock bits in I2 (1111 1211)
    Tiny13,     // ATtiny13, ATtiny25/45/85, ATtiny26: flash pages, fuses and lock in I4
};

// How fuse and lock bits appear on the data bus after the read command 0x04.
enum class FuseReadLayout : std::uint8_t {
    Selected,       // BS1/BS2 pick fuse low (00), lock (10 = BS1), fuse high (11), extended (01)
    Combined,       // one byte with BS1 = 1: bit 7 LB1, bit 6 LB2, bit 5 SPIEN, bit 0 RCEN/FSTRT
};

struct FuseByte {
    bool present = false;
    std::uint8_t mask = 0;      // bits the chip implements; the others read as 1
    std::uint8_t factory = 0xFF;
};

// Programming times in ms (what RDY/BSY shows after the pulse or instruction).
struct ProgrammingTimes {
    double flash = 4.5;   // one page, or one byte of the word-at-a-time parts
    double eeprom = 9.0;  // one byte or one EEPROM page
    double erase = 9.0;
    double fuse = 4.5;    // fuse or lock byte
};

struct BitRef {
    std::int8_t fuse = -1;  // 0 low, 1 high, 2 extended; -1 none
    std::uint8_t bit = 0;
};

struct ChipDescription {
    std::string_view name;
    std::array<std::uint8_t, 3> signature{};
    Method method = Method::PagedParallel;
    std::uint32_t flashBytes = 0;
    std::uint32_t eepromBytes = 0;
    std::uint16_t flashPageWords = 0;   // 0: programmed one byte/word at a time
    std::uint8_t eepromPageBytes = 0;   // 0: programmed one byte at a time
    std::array<FuseByte, 3> fuses{};    // low (or the only fuse byte), high, extended
    std::uint8_t lockMask = 0x03;       // implemented lock bits of the lock byte (0 = programmed)
    std::uint8_t calibrationCount = 0;
    std::array<std::uint8_t, 4> calibration{};  // values the factory wrote
    FuseReadLayout fuseRead = FuseReadLayout::Selected;
    bool sharedPagelBs1 = false;  // BS1 doubles as PAGEL and XA1 as BS2
    bool longPulses = false;      // erase and fuse need the gateway's long WR pulses; no RDY/BSY
    bool parallelToo = false;     // a serial-family chip that also has a parallel interface
    SerialDialect dialect = SerialDialect::None;
    ProgrammingTimes times{};
    BitRef eesave{};  // programmed EESAVE keeps the EEPROM through a chip erase
    BitRef spien{};   // SPIEN cannot be changed in serial programming mode

    std::uint32_t FlashWords() const { return flashBytes / 2; }
    bool HasParallel() const { return method != Method::Serial || parallelToo; }
    bool HasSerial() const { return dialect != SerialDialect::None; }
};

// All chips the socket can hold.
std::span<const ChipDescription> AllChipDescriptions();

// By name, ignoring case ("atmega8" finds the ATmega8); null when unknown.
const ChipDescription* FindChipDescription(std::string_view name);

}  // namespace quillon::sim
