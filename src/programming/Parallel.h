// High-voltage parallel programming primitives (Avrfunctions): the ready poll, the six load
// steps, entering and leaving programming mode and the signature read.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillon {

class Bus;

// RDY/BSY poll: true when ready; false after a logged gateway failure (port closed) or, with
// the port open, after logging that the chip stayed busy for 50 polls.
bool WaitReady(Bus& bus);

bool LoadCommand(Bus& bus, std::uint8_t command);
bool LoadAddressLow(Bus& bus, std::uint8_t address);
bool LoadAddressHigh(Bus& bus, std::uint8_t address);
bool LoadAddressExtended(Bus& bus, std::uint8_t address);
bool LoadDataLow(Bus& bus, std::uint8_t data);
bool LoadDataHigh(Bus& bus, std::uint8_t data);

enum class PowerUp {
    BuiltIn,  // the gateway's own EnterHVPPrgMode_AVR sequence
    Stepped,  // +5 V, six XTAL1 pulses, +12 V, driven by the program
};

// Failure texts of each packet of an entry sequence. Drivers log their own wording.
struct EntryTexts {
    std::string_view bus;        // SetDDRB 0, SetPORTB 0
    std::string_view portC;      // SetDDRC 0x32, SetPORTC 0
    std::string_view portD;      // SetDDRD 0xFC, SetPORTD 0
    std::string_view powerUp;    // Pulse EnterHVPPrgMode_AVR (built-in)
    std::string_view plus5V;     // SetDDRC 0x36 (stepped)
    std::string_view xtalPulse;  // Pulse GiveXtalPosPulse, six times (stepped)
    std::string_view plus12V;    // SetDDRC 0x3E, SetPORTC 0x08 (stepped)
    std::string_view work;       // SetPORTD PD_WORK
};

// The hexadecimal wording of the primitive's own entry.
inline constexpr EntryTexts kHexEntryTexts{
    .bus = " 0x0B 0x0 0x0D 0x0",
    .portC = " 0x0F 0x32 0x11 0x0",
    .portD = " 0x13 0xFC 0x15 0x0",
    .powerUp = " 0x1D 0x0",
    .plus5V = " enable +5V",
    .xtalPulse = " GiveXTALPosPulse",
    .plus12V = " enable +12V",
    .work = " 0x15 0x14(PD_WORK)",
};

// Logs "Trying to enter Programming Mode", runs the sequence and logs its success.
bool EnterProgMode(Bus& bus, PowerUp powerUp = PowerUp::BuiltIn,
                   const EntryTexts& texts = kHexEntryTexts);
bool ExitProgMode(Bus& bus);
std::int32_t ReadSignature(Bus& bus);  // 0 on failure

// Switches both supplies of the socket off without a log line: ends parallel and serial
// programming mode alike. False after a logged gateway failure.
bool PowerDownSocket(Bus& bus);

}  // namespace quillon
