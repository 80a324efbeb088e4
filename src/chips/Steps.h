// Building blocks shared by the driver families: a packet with its failure text, the logged
// frame of an operation and the store-or-compare of a byte read from the chip.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "chips/Driver.h"
#include "gateway/Bus.h"
#include "gateway/Commands.h"
#include "gateway/Step.h"
#include "log/Log.h"

namespace quillon {

// One gateway step: the packet and the text its failed send logs.
struct Step {
    Packet packet;
    std::string_view text;
};

inline bool Send(Bus& bus, const Step& step) { return SendStep(bus, step.packet, step.text); }

// Answers in flight: a packet ending in ReadPINB, its answer byte left owed.
inline bool SendOwing(Bus& bus, const Step& step) { return SendOwingStep(bus, step.packet, step.text, kPinbAnswer); }

// A packet ending in ReadPINB and its one answer byte.
inline std::optional<std::uint8_t> ReadBus(Bus& bus, const Step& step)
{
    return ReadBusStep(bus, step.packet, step.text);
}

// A position outside the images' range, or fewer bytes than the operation moves, is refused
// rather than sent with a made-up address or read past the caller's bytes.
inline bool InFlash(std::int32_t pos, std::size_t bytes, std::uint32_t width = 1)
{
    return pos >= 0 && static_cast<std::uint32_t>(pos) + width <= kFlashImageSize && bytes >= width;
}
inline bool InEeprom(std::int32_t pos, std::size_t bytes)
{
    return pos >= 0 && static_cast<std::uint32_t>(pos) < kEepromImageSize && bytes >= 1;
}

// A read operation either fills the caller's byte or checks it; a difference is no failure of the link
// and so logs nothing and leaves the port open.
inline bool StoreOrCompare(std::uint8_t& imageByte, std::uint8_t value, ReadMode mode, std::size_t at = 0)
{
    if (!mode.verify) {
        imageByte = value;
        return true;
    }
    if (mode.seen != nullptr) mode.seen[at] = value;
    return imageByte == value;
}
// The old chips give their fuse and lock bits in one byte: fuse bits in bits 0 and 5, LB1 in
// bit 7 and LB2 in bit 6. The record keeps the fuse byte with its absent bits 1 and the lock
// bits in bits 1 and 2 of the lock slot.
inline void StoreCombinedFuseLock(FuseSlots slots, std::uint8_t combined)
{
    slots[0] = combined | 0xDE;
    slots[1] = 0xFF;
    if (!(combined & 0x80)) slots[1] &= ~0x02;
    if (!(combined & 0x40)) slots[1] &= ~0x04;
}

// The frame of a logged operation: "Trying to" + what, the body, then `done` on success.
template <class Body>
bool Logged(Bus& bus, std::string_view what, Body&& body, std::string_view done = " with success.")
{
    bus.log.LogMessage(LogTrying, what);
    if (!body()) return false;
    bus.log.LogMessage(LogFinished, done);
    return true;
}

}  // namespace quillon
