#include "chips/Pinouts.h"

#include <algorithm>

namespace quillon {

namespace {

using enum Signal;
using enum ProgrammingMode;
using enum PackageShape;

// The pins below are written from each chip's datasheet: the pin-out drawing for the pad names,
// the parallel programming section's pin name mapping (or the serial downloading section) for
// the signals. Where a chip comes in several packages, the one drawn is the through-hole one, and
// the 64- and 100-pin chips, which come only as quad flat packages, in TQFP.

// ---- serial programming

// ATtiny12/13/15/25/45/85: RESET is the sixth pin of port B.
constexpr PinUse kDip8Tiny[] = {
    {1, "PB5", Reset}, {4, "GND", Gnd}, {5, "PB0", Mosi}, {6, "PB1", Miso}, {7, "PB2", Sck}, {8, "VCC", Vcc},
};
// AT90S2323/2343, ATtiny22: RESET is a pin of its own.
constexpr PinUse kDip8At90s[] = {
    {1, "RESET", Reset}, {4, "GND", Gnd}, {5, "PB0", Mosi}, {6, "PB1", Miso}, {7, "PB2", Sck}, {8, "VCC", Vcc},
};
// ATtiny24/44/84: the USI on port A.
constexpr PinUse kDip14Tiny[] = {
    {1, "VCC", Vcc}, {4, "PB3", Reset}, {7, "PA6", Mosi}, {8, "PA5", Miso}, {9, "PA4", Sck}, {14, "GND", Gnd},
};
// ATtiny26: the USI on port B, an analog supply pair besides the digital one.
constexpr PinUse kDip20Tiny26[] = {
    {1, "PB0", Mosi}, {2, "PB1", Miso}, {3, "PB2", Sck},  {5, "VCC", Vcc},
    {6, "GND", Gnd},  {10, "PB7", Reset}, {15, "AVCC", Avcc}, {16, "GND", Gnd},
};

// ---- high-voltage parallel programming

// AT90S1200/2313: byte select and XTAL action on port D, no page latch.
constexpr PinUse kDip20At90s[] = {
    {1, "RESET", ResetHv}, {3, "PD1", RdyBsy}, {5, "XTAL1", Xtal1}, {6, "PD2", Oe},     {7, "PD3", Wr},
    {8, "PD4", Bs1},       {9, "PD5", Xa0},    {10, "GND", Gnd},    {11, "PD6", Xa1},   {12, "PB0", Data0},
    {13, "PB1", Data1},    {14, "PB2", Data2}, {15, "PB3", Data3},  {16, "PB4", Data4}, {17, "PB5", Data5},
    {18, "PB6", Data6},    {19, "PB7", Data7}, {20, "VCC", Vcc},
};
// ATtiny2313/4313: BS1 doubles as PAGEL and XA1 as BS2.
constexpr PinUse kDip20Tiny2313[] = {
    {1, "PA2", ResetHv}, {2, "PD0", RdyBsy},   {3, "PD1", Oe},     {5, "PA0", Xtal1},  {6, "PD2", Wr},
    {7, "PD3", Bs1, Pagel}, {8, "PD4", Xa0},   {9, "PD5", Xa1, Bs2}, {10, "GND", Gnd}, {12, "PB0", Data0},
    {13, "PB1", Data1},  {14, "PB2", Data2},   {15, "PB3", Data3}, {16, "PB4", Data4}, {17, "PB5", Data5},
    {18, "PB6", Data6},  {19, "PB7", Data7},   {20, "VCC", Vcc},
};
// ATtiny261/461/861: the control lines on port B, the data bus on port A.
constexpr PinUse kDip20Tiny261[] = {
    {1, "PB0", Wr},      {2, "PB1", Xa0},     {3, "PB2", Xa1, Bs2}, {4, "PB3", Bs1, Pagel}, {5, "VCC", Vcc},
    {6, "GND", Gnd},     {7, "PB4", Xtal1},   {8, "PB5", Oe},       {9, "PB6", RdyBsy},     {10, "PB7", ResetHv},
    {11, "PA7", Data7},  {12, "PA6", Data6},  {13, "PA5", Data5},   {14, "PA4", Data4},     {15, "AVCC", Avcc},
    {16, "AGND", Gnd},   {17, "PA3", Data3},  {18, "PA2", Data2},   {19, "PA1", Data1},     {20, "PA0", Data0},
};
// AT90S2333/4433: the data bus split over ports B and C, no page latch.
constexpr PinUse kDip28At90s[] = {
    {1, "RESET", ResetHv}, {3, "PD1", RdyBsy},  {4, "PD2", Oe},      {5, "PD3", Wr},      {6, "PD4", Bs1},
    {7, "VCC", Vcc},       {8, "GND", Gnd},     {9, "XTAL1", Xtal1}, {11, "PD5", Xa0},    {12, "PD6", Xa1},
    {14, "PB0", Data0},    {15, "PB1", Data1},  {16, "PB2", Data2},  {17, "PB3", Data3},  {18, "PB4", Data4},
    {19, "PB5", Data5},    {20, "AVCC", Avcc},  {22, "AGND", Gnd},   {23, "PC0", Data6},  {24, "PC1", Data7},
};
// ATmega8 and ATmega48/88/168/328: as the AT90S4433, with PAGEL and BS2; RESET and XTAL1 are
// port pins.
constexpr PinUse kDip28Mega[] = {
    {1, "PC6", ResetHv}, {3, "PD1", RdyBsy}, {4, "PD2", Oe},     {5, "PD3", Wr},      {6, "PD4", Bs1},
    {7, "VCC", Vcc},     {8, "GND", Gnd},    {9, "PB6", Xtal1},  {11, "PD5", Xa0},    {12, "PD6", Xa1},
    {13, "PD7", Pagel},  {14, "PB0", Data0}, {15, "PB1", Data1}, {16, "PB2", Data2},  {17, "PB3", Data3},
    {18, "PB4", Data4},  {19, "PB5", Data5}, {20, "AVCC", Avcc}, {22, "GND", Gnd},    {23, "PC0", Data6},
    {24, "PC1", Data7},  {25, "PC2", Bs2},
};
// AT90S4414/8515: port B carries the data, the supply sits at the package's corners.
constexpr PinUse kDip40At90s8515[] = {
    {1, "PB0", Data0},   {2, "PB1", Data1},   {3, "PB2", Data2}, {4, "PB3", Data3},    {5, "PB4", Data4},
    {6, "PB5", Data5},   {7, "PB6", Data6},   {8, "PB7", Data7}, {9, "RESET", ResetHv}, {11, "PD1", RdyBsy},
    {12, "PD2", Oe},     {13, "PD3", Wr},     {14, "PD4", Bs1},  {15, "PD5", Xa0},     {16, "PD6", Xa1},
    {19, "XTAL1", Xtal1}, {20, "GND", Gnd},   {40, "VCC", Vcc},
};
// ATmega161: as the AT90S8515, with PAGEL.
constexpr PinUse kDip40Mega161[] = {
    {1, "PB0", Data0},   {2, "PB1", Data1},   {3, "PB2", Data2}, {4, "PB3", Data3},    {5, "PB4", Data4},
    {6, "PB5", Data5},   {7, "PB6", Data6},   {8, "PB7", Data7}, {9, "RESET", ResetHv}, {11, "PD1", RdyBsy},
    {12, "PD2", Oe},     {13, "PD3", Wr},     {14, "PD4", Bs1},  {15, "PD5", Xa0},     {16, "PD6", Xa1},
    {17, "PD7", Pagel},  {19, "XTAL1", Xtal1}, {20, "GND", Gnd}, {40, "VCC", Vcc},
};
// ATmega8515/162: as the ATmega161, with BS2 on PA0.
constexpr PinUse kDip40Mega8515[] = {
    {1, "PB0", Data0},   {2, "PB1", Data1},   {3, "PB2", Data2}, {4, "PB3", Data3},    {5, "PB4", Data4},
    {6, "PB5", Data5},   {7, "PB6", Data6},   {8, "PB7", Data7}, {9, "RESET", ResetHv}, {11, "PD1", RdyBsy},
    {12, "PD2", Oe},     {13, "PD3", Wr},     {14, "PD4", Bs1},  {15, "PD5", Xa0},     {16, "PD6", Xa1},
    {17, "PD7", Pagel},  {19, "XTAL1", Xtal1}, {20, "GND", Gnd}, {39, "PA0", Bs2},     {40, "VCC", Vcc},
};
// AT90S4434/8535: supply in the middle of the rows, an analog supply pair, no page latch.
constexpr PinUse kDip40At90s8535[] = {
    {1, "PB0", Data0},  {2, "PB1", Data1},   {3, "PB2", Data2},   {4, "PB3", Data3},     {5, "PB4", Data4},
    {6, "PB5", Data5},  {7, "PB6", Data6},   {8, "PB7", Data7},   {9, "RESET", ResetHv}, {10, "VCC", Vcc},
    {11, "GND", Gnd},   {13, "XTAL1", Xtal1}, {15, "PD1", RdyBsy}, {16, "PD2", Oe},      {17, "PD3", Wr},
    {18, "PD4", Bs1},   {19, "PD5", Xa0},    {20, "PD6", Xa1},    {30, "AVCC", Avcc},    {31, "AGND", Gnd},
};
// ATmega16/32, ATmega163/323, ATmega8535 and ATmega164/324/644/1284: as the AT90S8535, with
// PAGEL and BS2.
constexpr PinUse kDip40Mega[] = {
    {1, "PB0", Data0},   {2, "PB1", Data1},    {3, "PB2", Data2},   {4, "PB3", Data3},     {5, "PB4", Data4},
    {6, "PB5", Data5},   {7, "PB6", Data6},    {8, "PB7", Data7},   {9, "RESET", ResetHv}, {10, "VCC", Vcc},
    {11, "GND", Gnd},    {13, "XTAL1", Xtal1}, {15, "PD1", RdyBsy}, {16, "PD2", Oe},       {17, "PD3", Wr},
    {18, "PD4", Bs1},    {19, "PD5", Xa0},     {20, "PD6", Xa1},    {21, "PD7", Pagel},    {30, "AVCC", Avcc},
    {31, "GND", Gnd},    {40, "PA0", Bs2},
};
// ATmega103/603: one fuse byte, so no BS2; an analog ground of its own.
constexpr PinUse kTqfp64Mega103[] = {
    {10, "PB0", Data0},  {11, "PB1", Data1},   {12, "PB2", Data2}, {13, "PB3", Data3},     {14, "PB4", Data4},
    {15, "PB5", Data5},  {16, "PB6", Data6},   {17, "PB7", Data7}, {20, "RESET", ResetHv}, {21, "VCC", Vcc},
    {22, "GND", Gnd},    {24, "XTAL1", Xtal1}, {26, "PD1", RdyBsy}, {27, "PD2", Oe},       {28, "PD3", Wr},
    {29, "PD4", Bs1},    {30, "PD5", Xa0},     {31, "PD6", Xa1},   {32, "PD7", Pagel},     {52, "VCC", Vcc},
    {53, "GND", Gnd},    {63, "AGND", Gnd},    {64, "AVCC", Avcc},
};
// ATmega64/128, ATmega1281/2561 and AT90CAN32/64/128: the ATmega103's pins with BS2.
constexpr PinUse kTqfp64Mega[] = {
    {10, "PB0", Data0},  {11, "PB1", Data1},   {12, "PB2", Data2}, {13, "PB3", Data3},     {14, "PB4", Data4},
    {15, "PB5", Data5},  {16, "PB6", Data6},   {17, "PB7", Data7}, {20, "RESET", ResetHv}, {21, "VCC", Vcc},
    {22, "GND", Gnd},    {24, "XTAL1", Xtal1}, {26, "PD1", RdyBsy}, {27, "PD2", Oe},       {28, "PD3", Wr},
    {29, "PD4", Bs1},    {30, "PD5", Xa0},     {31, "PD6", Xa1},   {32, "PD7", Pagel},     {51, "PA0", Bs2},
    {52, "VCC", Vcc},    {53, "GND", Gnd},     {63, "GND", Gnd},   {64, "AVCC", Avcc},
};
// ATmega169: as the ATmega128, its RESET pin being the sixth pin of port G.
constexpr PinUse kTqfp64Mega169[] = {
    {10, "PB0", Data0},  {11, "PB1", Data1},   {12, "PB2", Data2}, {13, "PB3", Data3},   {14, "PB4", Data4},
    {15, "PB5", Data5},  {16, "PB6", Data6},   {17, "PB7", Data7}, {20, "PG5", ResetHv}, {21, "VCC", Vcc},
    {22, "GND", Gnd},    {24, "XTAL1", Xtal1}, {26, "PD1", RdyBsy}, {27, "PD2", Oe},     {28, "PD3", Wr},
    {29, "PD4", Bs1},    {30, "PD5", Xa0},     {31, "PD6", Xa1},   {32, "PD7", Pagel},   {51, "PA0", Bs2},
    {52, "VCC", Vcc},    {53, "GND", Gnd},     {63, "GND", Gnd},   {64, "AVCC", Avcc},
};
// ATmega640/1280/2560: the same signals on the 100-pin package, with four supply pairs.
constexpr PinUse kTqfp100Mega[] = {
    {10, "VCC", Vcc},    {11, "GND", Gnd},     {19, "PB0", Data0}, {20, "PB1", Data1},     {21, "PB2", Data2},
    {22, "PB3", Data3},  {23, "PB4", Data4},   {24, "PB5", Data5}, {25, "PB6", Data6},     {26, "PB7", Data7},
    {30, "RESET", ResetHv}, {31, "VCC", Vcc},  {32, "GND", Gnd},   {34, "XTAL1", Xtal1},   {44, "PD1", RdyBsy},
    {45, "PD2", Oe},     {46, "PD3", Wr},      {47, "PD4", Bs1},   {48, "PD5", Xa0},       {49, "PD6", Xa1},
    {50, "PD7", Pagel},  {61, "VCC", Vcc},     {62, "GND", Gnd},   {78, "PA0", Bs2},       {80, "VCC", Vcc},
    {81, "GND", Gnd},    {99, "GND", Gnd},     {100, "AVCC", Avcc},
};

constexpr Pinout kSerialDip8Tiny{"DIP-8", Dual, 8, Serial, kDip8Tiny};
constexpr Pinout kSerialDip8At90s{"DIP-8", Dual, 8, Serial, kDip8At90s};
constexpr Pinout kSerialDip14Tiny{"DIP-14", Dual, 14, Serial, kDip14Tiny};
constexpr Pinout kSerialDip20Tiny26{"DIP-20", Dual, 20, Serial, kDip20Tiny26};
constexpr Pinout kParallelDip20At90s{"DIP-20", Dual, 20, Parallel, kDip20At90s};
constexpr Pinout kParallelDip20Tiny2313{"DIP-20", Dual, 20, Parallel, kDip20Tiny2313};
constexpr Pinout kParallelDip20Tiny261{"DIP-20", Dual, 20, Parallel, kDip20Tiny261};
constexpr Pinout kParallelDip28At90s{"DIP-28", Dual, 28, Parallel, kDip28At90s};
constexpr Pinout kParallelDip28Mega{"DIP-28", Dual, 28, Parallel, kDip28Mega};
constexpr Pinout kParallelDip40At90s8515{"DIP-40", Dual, 40, Parallel, kDip40At90s8515};
constexpr Pinout kParallelDip40Mega161{"DIP-40", Dual, 40, Parallel, kDip40Mega161};
constexpr Pinout kParallelDip40Mega8515{"DIP-40", Dual, 40, Parallel, kDip40Mega8515};
constexpr Pinout kParallelDip40At90s8535{"DIP-40", Dual, 40, Parallel, kDip40At90s8535};
constexpr Pinout kParallelDip40Mega{"DIP-40", Dual, 40, Parallel, kDip40Mega};
constexpr Pinout kParallelTqfp64Mega103{"TQFP-64", Quad, 64, Parallel, kTqfp64Mega103};
constexpr Pinout kParallelTqfp64Mega{"TQFP-64", Quad, 64, Parallel, kTqfp64Mega};
constexpr Pinout kParallelTqfp64Mega169{"TQFP-64", Quad, 64, Parallel, kTqfp64Mega169};
constexpr Pinout kParallelTqfp100Mega{"TQFP-100", Quad, 100, Parallel, kTqfp100Mega};

constexpr ChipPinout kChips[] = {
    {"AT90S1200", &kParallelDip20At90s},
    {"AT90S2313", &kParallelDip20At90s},
    {"AT90S2323", &kSerialDip8At90s},
    {"AT90S2333", &kParallelDip28At90s},
    {"AT90S2343", &kSerialDip8At90s},
    {"AT90S4414", &kParallelDip40At90s8515},
    {"AT90S4433", &kParallelDip28At90s},
    {"AT90S4434", &kParallelDip40At90s8535},
    {"AT90S8515", &kParallelDip40At90s8515},
    {"AT90S8535", &kParallelDip40At90s8535},
    {"AT90CAN32", &kParallelTqfp64Mega},
    {"AT90CAN64", &kParallelTqfp64Mega},
    {"AT90CAN128", &kParallelTqfp64Mega},
    {"ATtiny12", &kSerialDip8Tiny},
    {"ATtiny13", &kSerialDip8Tiny},
    {"ATtiny15", &kSerialDip8Tiny},
    {"ATtiny22", &kSerialDip8At90s},
    {"ATtiny2313", &kParallelDip20Tiny2313},
    {"ATtiny24", &kSerialDip14Tiny},
    {"ATtiny25", &kSerialDip8Tiny},
    {"ATtiny26", &kSerialDip20Tiny26},
    {"ATtiny261", &kParallelDip20Tiny261},
    {"ATtiny4313", &kParallelDip20Tiny2313},
    {"ATtiny44", &kSerialDip14Tiny},
    {"ATtiny45", &kSerialDip8Tiny},
    {"ATtiny461", &kParallelDip20Tiny261},
    {"ATtiny84", &kSerialDip14Tiny},
    {"ATtiny85", &kSerialDip8Tiny},
    {"ATtiny861", &kParallelDip20Tiny261},
    {"ATmega103", &kParallelTqfp64Mega103},
    {"ATmega128", &kParallelTqfp64Mega},
    {"ATmega1280", &kParallelTqfp100Mega},
    {"ATmega1281", &kParallelTqfp64Mega},
    {"ATmega1284", &kParallelDip40Mega},
    {"ATmega1284P", &kParallelDip40Mega},
    {"ATmega16", &kParallelDip40Mega},
    {"ATmega161", &kParallelDip40Mega161},
    {"ATmega162", &kParallelDip40Mega8515},
    {"ATmega163", &kParallelDip40Mega},
    {"ATmega164", &kParallelDip40Mega},
    {"ATmega164A", &kParallelDip40Mega},
    {"ATmega168", &kParallelDip28Mega},
    {"ATmega168P", &kParallelDip28Mega},
    {"ATmega169", &kParallelTqfp64Mega169},
    {"ATmega2560", &kParallelTqfp100Mega},
    {"ATmega2561", &kParallelTqfp64Mega},
    {"ATmega32", &kParallelDip40Mega},
    {"ATmega323", &kParallelDip40Mega},
    {"ATmega324", &kParallelDip40Mega},
    {"ATmega324A", &kParallelDip40Mega},
    {"ATmega324PA", &kParallelDip40Mega},
    {"ATmega328", &kParallelDip28Mega},
    {"ATmega328P", &kParallelDip28Mega},
    {"ATmega48", &kParallelDip28Mega},
    {"ATmega48P", &kParallelDip28Mega},
    {"ATmega603", &kParallelTqfp64Mega103},
    {"ATmega64", &kParallelTqfp64Mega},
    {"ATmega640", &kParallelTqfp100Mega},
    {"ATmega644", &kParallelDip40Mega},
    {"ATmega644A", &kParallelDip40Mega},
    {"ATmega8", &kParallelDip28Mega},
    {"ATmega8515", &kParallelDip40Mega8515},
    {"ATmega8535", &kParallelDip40Mega},
    {"ATmega88", &kParallelDip28Mega},
    {"ATmega88P", &kParallelDip28Mega},
};

constexpr bool Uses(const Pinout& p, Signal s)
{
    for (const PinUse& use : p.pins)
        if (use.signal == s || use.also == s) return true;
    return false;
}

// A wrong layout fails the build: pins in order, on the package, each once; every signal the
// programming method needs present, and no signal of the other method.
constexpr bool LayoutHolds(const Pinout& p)
{
    if (p.pinCount == 0 || p.pins.empty()) return false;
    if (p.shape == Dual && p.pinCount % 2 != 0) return false;
    if (p.shape == Quad && p.pinCount % 4 != 0) return false;
    int previous = 0;
    for (const PinUse& use : p.pins) {
        if (use.pin <= previous || use.pin > p.pinCount || use.pad.empty() || use.signal == None) return false;
        previous = use.pin;
    }
    if (!Uses(p, Vcc) || !Uses(p, Gnd)) return false;
    constexpr Signal kParallel[] = {Data0, Data1, Data2, Data3, Data4, Data5, Data6, Data7, RdyBsy,
                                    Bs1,   Xa0,   Xa1,   Oe,    Wr,    Xtal1, ResetHv};
    constexpr Signal kSerial[] = {Sck, Mosi, Miso, Reset};
    for (Signal s : kParallel)
        if (Uses(p, s) != (p.mode == Parallel)) return false;
    for (Signal s : kSerial)
        if (Uses(p, s) != (p.mode == Serial)) return false;
    // Each data line, control line and programming line once; only supply pins repeat.
    for (int s = static_cast<int>(Data0); s <= static_cast<int>(Reset); ++s) {
        int count = 0;
        for (const PinUse& use : p.pins) count += (use.signal == Signal(s)) + (use.also == Signal(s));
        if (count > 1) return false;
    }
    return true;
}

constexpr bool EveryLayoutHolds()
{
    for (const ChipPinout& c : kChips)
        if (c.pinout == nullptr || !LayoutHolds(*c.pinout)) return false;
    for (std::size_t i = 0; i < std::size(kChips); ++i)
        for (std::size_t j = i + 1; j < std::size(kChips); ++j)
            if (kChips[i].chip == kChips[j].chip) return false;
    return true;
}
static_assert(EveryLayoutHolds());

}  // namespace

std::span<const ChipPinout> ChipPinouts() { return kChips; }

const Pinout* FindPinout(std::string_view chip)
{
    const auto* found = std::find_if(std::begin(kChips), std::end(kChips),
                                     [&](const ChipPinout& c) { return c.chip == chip; });
    return found == std::end(kChips) ? nullptr : found->pinout;
}

std::string_view SignalName(Signal signal)
{
    switch (signal) {
    case None: return "";
    case Data0: return "DATA0";
    case Data1: return "DATA1";
    case Data2: return "DATA2";
    case Data3: return "DATA3";
    case Data4: return "DATA4";
    case Data5: return "DATA5";
    case Data6: return "DATA6";
    case Data7: return "DATA7";
    case RdyBsy: return "RDY/BSY";
    case Bs1: return "BS1";
    case Bs2: return "BS2";
    case Xa0: return "XA0";
    case Xa1: return "XA1";
    case Oe: return "OE";
    case Wr: return "WR";
    case Pagel: return "PAGEL";
    case Xtal1: return "XTAL1";
    case ResetHv: return "RESET/+12 V";
    case Sck: return "SCK";
    case Mosi: return "MOSI";
    case Miso: return "MISO";
    case Reset: return "RESET";
    case Vcc: return "VCC";
    case Avcc: return "AVCC";
    case Gnd: return "GND";
    }
    return "";
}

// The socket wiring the gateway documents: the data bus on port B, the control lines on ports C
// and D, the two supply switches on port C, XTAL1 and PAGEL from its pulse outputs, and the SPI
// unit's own lines for the serial chips.
std::string_view GatewayLine(Signal signal)
{
    switch (signal) {
    case None: return "";
    case Data0: return "PB0";
    case Data1: return "PB1";
    case Data2: return "PB2";
    case Data3: return "PB3";
    case Data4: return "PB4";
    case Data5: return "PB5";
    case Data6: return "PB6";
    case Data7: return "PB7";
    case RdyBsy: return "PC0";
    case Bs1: return "PC1";
    case Xa1: return "PC4";
    case Oe: return "PD2";
    case Wr: return "PD4";
    case Xa0: return "PD6";
    case Bs2: return "PD7";
    case Pagel: return "PAGEL pulse";
    case Xtal1: return "XTAL1 pulse";
    case ResetHv: return "+12 V (PC3)";
    case Sck: return "SPI SCK";
    case Mosi: return "SPI MOSI";
    case Miso: return "SPI MISO";
    case Reset: return "SPI RESET";
    case Vcc: return "+5 V (PC2)";
    case Avcc: return "+5 V (PC2)";
    case Gnd: return "GND";
    }
    return "";
}

}  // namespace quillon
