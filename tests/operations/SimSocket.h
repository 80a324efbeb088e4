// A context whose port is open on the simulated gateway with one chip in its socket, on virtual
// time, with the packets it wrote and a way to make the gateway hang up after some packets.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chips/Catalogue.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "gateway/Transport.h"
#include "model/ChipDescription.h"
#include "model/Gateway.h"
#include "model/SocketChip.h"

namespace quillon::test {

struct Wire {
    sim::Gateway gateway;
    std::vector<std::vector<std::uint8_t>> packets;
    long hangUpAfter = -1;  // writes fail once this many packets went through
};

class WireTransport final : public Transport {
public:
    explicit WireTransport(std::shared_ptr<Wire> wire) : wire_(std::move(wire)) {}
    bool Write(std::span<const std::uint8_t> bytes) override
    {
        if (wire_->hangUpAfter >= 0 && static_cast<long>(wire_->packets.size()) >= wire_->hangUpAfter)
            return false;
        wire_->packets.emplace_back(bytes.begin(), bytes.end());
        wire_->gateway.Feed(bytes);
        return true;
    }
    std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds) override
    {
        auto& out = wire_->gateway.Output();
        std::size_t n = std::min(buffer.size(), out.size());
        for (std::size_t i = 0; i < n; ++i) {
            buffer[i] = out.front();
            out.pop_front();
        }
        return n;
    }

private:
    std::shared_ptr<Wire> wire_;
};

// `chip` sits in the socket (none for an empty name) and, unless told otherwise, is selected as
// if chosen from the menu, with the port open.
class SimSocket {
public:
    explicit SimSocket(const std::string& chip, bool select = true) : wire(std::make_shared<Wire>())
    {
        const sim::ChipDescription* description = sim::FindChipDescription(chip);
        EXPECT_TRUE(description != nullptr || chip.empty()) << chip;
        if (description) wire->gateway.InsertChip(std::make_unique<sim::SocketChip>(*description));
        ctx.bus.link.SetOpener([w = wire](const std::string&) {
            return OpenedPort{std::make_unique<WireTransport>(w), OpenFailure::None};
        });
        ctx.bus.sleep = [w = wire](int ms) { w->gateway.Advance(ms); };
        ctx.bus.delay = 0;
        ctx.bus.link.OpenPort("sim");
        EXPECT_TRUE(ctx.bus.link.IsOpen());
        if (const ChipRow* entry = FindChipByName(chip); entry && select) SelectChip(ctx, entry->signature);
        wire->packets.clear();
    }

    sim::SocketChip& Chip() { return *wire->gateway.Chip(); }

    std::shared_ptr<Wire> wire;
    Session ctx;
};

}  // namespace quillon::test
