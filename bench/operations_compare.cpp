// Compare Program of a 262144-byte flash (ATmega2560) against Read Program of the same memory,
// through tavro-sim on a pseudo-terminal paced like a real line, with the delay value at 0.
// The compare is a read plus a comparison in memory; the target is at most 1.05 x the read.
//
// Counters: ranges  the differing ranges the compare found (three are planted)
#include <benchmark/benchmark.h>

#include <sys/prctl.h>

#include <chrono>
#include <string>
#include <vector>

#include "chips/Catalogue.h"
#include "operations/ChipSelection.h"
#include "operations/Compare.h"
#include "operations/Connection.h"
#include "operations/MemoryCommands.h"
#include "operations/Session.h"
#include "support/TavroSimProcess.h"

namespace quillon {
namespace {

enum class Pass { Read, Compare };

void WholeFlash(benchmark::State& state, Pass pass)
{
    // tavro-sim paces the line with short sleeps; the default timer slack would add to each.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    std::size_t ranges = 0;
    for (auto _ : state) {
        test::TavroSimProcess gateway({"--chip", "ATmega2560", "--pace"});
        Session session;
        session.bus.delay = 0;
        if (gateway.Path().empty() || !Connect(session, gateway.Path())) {
            state.SkipWithError("tavro-sim did not serve a terminal");
            return;
        }
        SelectChip(session, FindChipByName("ATmega2560")->signature);
        // The simulated chip is erased: the user's bytes differ from it in three places.
        std::vector<std::uint8_t> mine(session.chip.flashSize, 0xFF);
        mine[0x10] = 0;
        mine[0x20000] = 0;
        mine[0x3FFFF] = 0;

        const auto start = std::chrono::steady_clock::now();
        Comparison comparison;
        const Result result = pass == Pass::Read ? ReadProgram(session)
                                                 : CompareMemory(session, MemoryKind::Program, mine, comparison);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        const bool ok = pass == Pass::Read ? result.Succeeded() : comparison.ranges.size() == 3;
        if (!ok) {
            state.SkipWithError(("the command failed: " + result.Words()).c_str());
            return;
        }
        ranges = comparison.ranges.size();
        state.SetIterationTime(elapsed.count());
    }
    state.counters["ranges"] = static_cast<double>(ranges);
}

BENCHMARK_CAPTURE(WholeFlash, Read, Pass::Read)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(WholeFlash, Compare, Pass::Compare)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quillon

BENCHMARK_MAIN();
