// A session whose port is open on the simulated gateway with one chip in its socket, on virtual
// time, with the packets it wrote and a way to make the gateway hang up after some packets.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chips/Catalogue.h"
#include "model/SimDevice.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "support/Marks.h"

namespace quillon::test {

// `chip` sits in the socket (none for an empty name) and, unless told otherwise, is selected as
// if chosen from the menu, with the port open.
class SimSocket {
public:
    explicit SimSocket(const std::string& chip, bool select = true)
        : device(std::make_shared<sim::SimDevice>(chip.empty() ? nullptr : sim::MakeSocketChip(chip), sim::Faults{}))
    {
        EXPECT_TRUE(device->Chip() != nullptr || chip.empty()) << chip;
        ctx.bus.link.SetOpener([d = device](const std::string&) {
            return OpenedPort{std::make_unique<sim::SimTransport>(d), OpenFailure::None};
        });
        ctx.bus.sleep = [d = device](int ms) { d->Sleep(ms); };
        ctx.bus.delay = 0;
        ctx.bus.link.OpenPort("sim");
        EXPECT_TRUE(ctx.bus.link.IsOpen());
        if (const ChipRow* entry = FindChipByName(chip); entry && select) SelectChip(ctx, entry->signature);
        device->Trace().Clear();
        packets_.Reset();
    }

    sim::SocketChip& Chip() { return *device->Chip(); }
    // The packets written since the socket was set up.
    std::vector<sim::Bytes> Packets() const { return device->Trace().Packets(); }
    // Writes fail once this many packets went through since the socket was set up.
    void HangUpAfter(int packets) { packets_.HangUpAfter(packets); }

    std::shared_ptr<sim::SimDevice> device;
    Session ctx;

private:
    PacketMark packets_{*device};
};

}  // namespace quillon::test
