// Building blocks shared by the driver families: a packet with its failure text, the logged
// frame of an operation and the store-or-compare of a byte read from the chip.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/Context.h"
#include "gateway/Commands.h"
#include "gateway/Step.h"
#include "log/Log.h"

namespace quillon {

// One gateway step: the packet and the text its failed send logs.
struct Step {
    Packet packet;
    std::string_view text;
};

inline bool Send(Context& ctx, const Step& step) { return SendStep(ctx, step.packet, step.text); }

// A packet ending in ReadPINB and its one answer byte.
inline std::optional<std::uint8_t> ReadBus(Context& ctx, const Step& step)
{
    return ReadBusStep(ctx, step.packet, step.text);
}

// A read operation either fills the image or checks it; a difference is no failure of the link
// and so logs nothing and leaves the port open.
inline bool StoreOrCompare(std::uint8_t& imageByte, std::uint8_t value, bool verify)
{
    if (verify) return imageByte == value;
    imageByte = value;
    return true;
}

// The frame of a logged operation: "Trying to" + what, the body, then `done` on success.
template <class Body>
bool Logged(Context& ctx, std::string_view what, Body&& body, std::string_view done = " with success.")
{
    ctx.log.LogMessage(LogTrying, what);
    if (!body()) return false;
    ctx.log.LogMessage(LogFinished, done);
    return true;
}

}  // namespace quillon
