// A fake gateway with a chip selected from the catalogue, and the driver and dispatch entry the
// operations would pick for it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "FakeGateway.h"
#include "chips/Catalogue.h"
#include "chips/ChipTable.h"

namespace quillon::test {

struct ChipBench : FakeBench {
    explicit ChipBench(std::string_view chipName, int delay = 2)
    {
        const ChipRow* entry = FindChipByName(chipName);
        EXPECT_NE(entry, nullptr) << chipName;
        if (entry) ctx.Select(*entry);
        ctx.bus.delay = delay;
        Clear();
    }
    const ChipRow& dispatch() const { return *FindChip(ctx.chip.signature); }
    const Driver& driver() const { return *dispatch().driver; }
    std::vector<std::string> Trace() const { return Decode(*wire); }
};

}  // namespace quillon::test
