#include "chips/Dispatch.h"

#include "chips/Units.h"

namespace quillon {

namespace {

constexpr std::int32_t Sig(std::uint8_t b1, std::uint8_t b2) { return 0x1E | (b1 << 8) | (b2 << 16); }

using enum Family;
using enum EepromWrite;
using namespace units;

// Page sizes are the chips' own: the ATtiny45 and ATtiny85 program 64-byte pages, so their
// pages are committed every 64 bytes like their datasheets' 32-word pages need.
const DispatchEntry kTable[] = {
    {Sig(0x90, 0x01), &At90s1200, Classic, 2, 0, Byte, nullptr},
    {Sig(0x91, 0x01), &At90s2313, Classic, 2, 0, Byte, nullptr},
    {Sig(0x92, 0x01), &At90s4414, Classic, 2, 0, Byte, nullptr},
    {Sig(0x93, 0x01), &At90s4414, Classic, 2, 0, Byte, nullptr},
    {Sig(0x92, 0x02), &At90s4434, Classic, 2, 0, Byte, nullptr},
    {Sig(0x93, 0x03), &At90s4434, Classic, 2, 0, Byte, nullptr},
    {Sig(0x91, 0x05), &At90s2333, Classic, 2, 0, Byte, nullptr},
    {Sig(0x92, 0x03), &At90s2333, Classic, 2, 0, Byte, nullptr},

    {Sig(0x91, 0x0A), &Attiny2313, Paged, 2, 32, Byte, &Attiny2313},
    {Sig(0x91, 0x0C), &Attiny261, Paged, 2, 32, Byte, &Attiny261},
    {Sig(0x92, 0x08), &Attiny261, Paged, 2, 64, Byte, &Attiny261},
    {Sig(0x93, 0x0D), &Attiny261, Paged, 2, 64, Byte, &Attiny261},
    {Sig(0x95, 0x81), &At90can32, Paged, 2, 256, Byte, &At90can32},
    {Sig(0x96, 0x81), &At90can32, Paged, 2, 256, Byte, &At90can32},
    {Sig(0x97, 0x81), &At90can32, Paged, 2, 256, Byte, &At90can32},
    {Sig(0x96, 0x01), &Atmega603, Paged, 2, 256, Byte, nullptr},
    {Sig(0x97, 0x01), &Atmega603, Paged, 2, 256, Byte, nullptr},
    {Sig(0x92, 0x05), &Atmega48, Paged, 2, 64, Byte, &Atmega48},
    {Sig(0x93, 0x0A), &Atmega48, Paged, 2, 64, Byte, &Atmega48},
    {Sig(0x94, 0x06), &Atmega48, Paged, 2, 128, Byte, &Atmega48},
    {Sig(0x93, 0x07), &Atmega8, Paged, 2, 64, Byte, &Atmega8},
    {Sig(0x93, 0x06), &Atmega8515, Paged, 2, 64, Byte, &Atmega8515},
    {Sig(0x93, 0x08), &Atmega8515, Paged, 2, 64, Byte, &Atmega8515},
    {Sig(0x94, 0x03), &Atmega16, Paged, 2, 128, Byte, &Atmega16},
    {Sig(0x95, 0x02), &Atmega16, Paged, 2, 128, Byte, &Atmega16},
    {Sig(0x94, 0x01), &Atmega161, Paged, 2, 128, Byte, nullptr},
    {Sig(0x94, 0x04), &Atmega162, Paged, 2, 128, Byte, &Atmega163},  // entry and read of the ATmega163
    {Sig(0x94, 0x02), &Atmega163, Paged, 2, 128, Byte, &Atmega163},
    {Sig(0x94, 0x0A), &Atmega164, Paged, 2, 128, Byte, &Atmega164},
    {Sig(0x95, 0x08), &Atmega164, Paged, 2, 128, Byte, &Atmega164},
    {Sig(0x96, 0x0A), &Atmega164, Paged, 2, 256, Byte, &Atmega164},
    {Sig(0x94, 0x05), &Atmega169, Paged, 2, 128, Byte, &Atmega169},
    {Sig(0x95, 0x01), &Atmega323, Paged, 2, 128, Byte, &Atmega323},
    {Sig(0x96, 0x02), &Atmega64, Paged, 2, 256, Byte, &Atmega64},
    {Sig(0x97, 0x02), &Atmega64, Paged, 2, 256, Byte, &Atmega64},
    {Sig(0x96, 0x08), &Atmega640, Paged, 2, 256, Byte, &Atmega640},
    {Sig(0x97, 0x03), &Atmega640, Paged, 2, 256, Byte, &Atmega640},
    {Sig(0x97, 0x04), &Atmega640, Paged, 2, 256, Byte, &Atmega640},
    {Sig(0x98, 0x01), &Atmega640, Paged, 2, 256, Byte, &Atmega640},
    {Sig(0x98, 0x02), &Atmega640, Paged, 2, 256, Byte, &Atmega640},

    {Sig(0x91, 0x02), &At90s2323, Serial, 1, 0, Byte, nullptr},
    {Sig(0x91, 0x03), &At90s2343, Serial, 1, 0, Byte, nullptr},
    {Sig(0x90, 0x05), &Attiny12, Serial, 1, 0, Byte, &Attiny12},
    {Sig(0x90, 0x06), &Attiny15, Serial, 1, 0, Byte, &Attiny15},
    {Sig(0x91, 0x06), &Attiny22, Serial, 1, 0, Byte, nullptr},
    {Sig(0x90, 0x07), &Attiny13, Serial, 1, 32, Page4, &Attiny13},
    {Sig(0x91, 0x08), &Attiny25, Serial, 1, 32, Page4, &Attiny25},
    {Sig(0x92, 0x06), &Attiny25, Serial, 1, 64, Page4, &Attiny25},
    {Sig(0x93, 0x0B), &Attiny25, Serial, 1, 64, Page4, &Attiny25},
    {Sig(0x91, 0x09), &Attiny26, Serial, 1, 32, Byte, &Attiny26},
};

}  // namespace

const DispatchEntry* FindDispatch(std::int32_t signature)
{
    if (signature == 0) return nullptr;
    for (const auto& entry : kTable)
        if (entry.signature == signature) return &entry;
    return nullptr;
}

std::span<const DispatchEntry> DispatchTable() { return kTable; }

}  // namespace quillon
