// A chip of the catalogue in a socket on a scripted gateway, connected, with the unit the
// operations would pick for it. Its waits go to the wire's expectation list instead of the clock,
// so a trace expected with ExpectWords pins the gaps as well as the bytes.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "UnitSocket.h"
#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "support/Marks.h"
#include "support/PacketWords.h"
#include "support/ScriptedTransport.h"

namespace quillon::test {

struct WiredChip {
    std::shared_ptr<ScriptedWire> wire = std::make_shared<ScriptedWire>();
    UnitSocket socket{ScriptedOpener(wire)};

    explicit WiredChip(std::string_view chipName, int delay = 2)
    {
        const ChipRow* row = FindChipByName(chipName);
        EXPECT_NE(row, nullptr) << chipName;
        if (row) socket.Select(*row);
        socket.bus.delay = delay;
        socket.bus.sleep = [w = wire](int ms) { w->Slept(ms); };
        wire->pending = {0x00};  // the handshake's answer
        socket.bus.link.OpenPort("scripted");
        EXPECT_TRUE(socket.bus.link.IsOpen());
        Restart();
    }

    // Forgets what was sent and logged so far; failWriteNumber counts from here.
    void Restart()
    {
        wire->written.clear();
        wire->pending.clear();
        wire->writes = 0;
        log.Reset();
    }

    void Expect(const std::vector<std::string>& words) { ExpectWords(*wire, words); }

    const ChipRow& row() const { return *FindChip(socket.chip.signature); }
    const Driver& driver() const { return *row().driver; }

    // The log lines written since the last Restart.
    std::vector<std::string> Lines() const { return log.Lines(); }

    LogMark log{socket.bus.log};
};

}  // namespace quillon::test
