// A bus and chip record as the operations hold them, with the port open on the simulated gateway
// and the same chip in its socket, on virtual time: what a unit of the catalogue sends, what the
// silicon answers, and the gateway's faults counted from a mark the test sets.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "UnitSocket.h"
#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "support/Marks.h"
#include "support/SimHarness.h"

namespace quillon::test {

class SimUnitSocket {
public:
    explicit SimUnitSocket(std::string_view chipName, int delay = 2) : sim(chipName)
    {
        sim.Wire(unit.bus);
        unit.bus.delay = delay;
        unit.bus.link.OpenPort("sim:");
        EXPECT_TRUE(unit.bus.link.IsOpen()) << chipName;
        row_ = FindChipByName(chipName);
        EXPECT_NE(row_, nullptr) << chipName;
        if (row_) unit.Select(*row_);
        Mark();
    }

    const Driver& driver() const { return *FindChip(unit.chip.signature)->driver; }

    // From here on: no packets, no log lines, and the faults below count packets from here.
    void Mark()
    {
        sim.ClearTrace();
        log_.Reset();
        packets_.Reset();
    }
    void HangUpAfter(int packets) { packets_.HangUpAfter(packets); }
    void FallSilentAfter(int packets) { packets_.FallSilentAfter(packets); }
    int PacketsSinceMark() const { return packets_.PacketsSince(); }
    std::vector<std::string> Lines() const { return log_.Lines(); }
    // The packets written since the mark (in hex, "11 08 15 14") and the sleeps ("sleep 2"), in
    // order; the answers and any packet the gateway refused are left out.
    std::vector<std::string> Wire()
    {
        std::vector<std::string> out;
        for (const sim::TraceEvent& e : sim.trace().Events()) {
            if (e.kind == sim::TraceEvent::Kind::Packet && !e.failed) out.push_back(sim::Hex(e.bytes));
            if (e.kind == sim::TraceEvent::Kind::Sleep) out.push_back("sleep " + std::to_string(e.sleepMs));
        }
        return out;
    }

    SimHarness sim;
    UnitSocket unit{PortOpener{}};

private:
    const ChipRow* row_ = nullptr;
    LogMark log_{unit.bus.log};
    PacketMark packets_{sim.device()};
};

}  // namespace quillon::test
