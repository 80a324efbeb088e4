// Which package pin of each chip carries which programming signal, and which gateway line
// drives it: the facts a user needs to wire a socket, one layout shared by every chip with the
// same pins. Plain data beside the chip table, keyed by the chip's name.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quillon {

enum class Signal : std::uint8_t {
    None,
    // High-voltage parallel programming
    Data0, Data1, Data2, Data3, Data4, Data5, Data6, Data7,
    RdyBsy, Bs1, Bs2, Xa0, Xa1, Oe, Wr, Pagel, Xtal1,
    ResetHv,  // RESET, switched to +12 V to enter programming mode
    // Serial programming
    Sck, Mosi, Miso, Reset,
    // Supply, both methods
    Vcc, Avcc, Gnd,
};

enum class ProgrammingMode : std::uint8_t { Parallel, Serial };

// Dual: two rows, pin 1 top left, counting down the left and up the right (DIP, SOIC).
// Quad: four rows, pin 1 top of the left side, counting anticlockwise (TQFP).
enum class PackageShape : std::uint8_t { Dual, Quad };

struct PinUse {
    std::uint8_t pin = 0;
    std::string_view pad;          // the pin's name in the datasheet's pin list: "PB0", "RESET", "VCC"
    Signal signal = Signal::None;  // what the gateway's line on this pin does
    Signal also = Signal::None;    // a second signal the chip takes on the same pin
};

struct Pinout {
    std::string_view package;  // "DIP-28", "TQFP-64"
    PackageShape shape = PackageShape::Dual;
    std::uint8_t pinCount = 0;
    ProgrammingMode mode = ProgrammingMode::Parallel;
    std::span<const PinUse> pins;  // the used pins only, in pin order
};

struct ChipPinout {
    std::string_view chip;  // as the chip table names it
    const Pinout* pinout = nullptr;
};

// Every chip's pins, in the chip table's order.
std::span<const ChipPinout> ChipPinouts();

// Null when the chip has no pin list.
const Pinout* FindPinout(std::string_view chip);

// "DATA0", "RDY/BSY", "RESET/+12 V", "SCK".
std::string_view SignalName(Signal signal);

// The gateway line a signal is wired to: "PB0", "PC1", "+5 V", "GND", "SPI SCK".
std::string_view GatewayLine(Signal signal);

}  // namespace quillon
