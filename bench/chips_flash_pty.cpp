// A full flash read of an ATtiny85 (and a 32 KiB stretch of an ATmega2560's) through the real
// serial link to tavro-sim on a pseudo-terminal, paced in real time like a 250000-baud 8N2 line
// in each direction, behind an adapter whose latency timer is 1 ms or 16 ms, with a gateway
// input of 32 bytes, the program sleeping for real and the delay value at 0; one read at a time
// (in flight 1, the exchange as it always was) beside the default (in flight 0: automatic,
// within what the gateway's input is known to hold). The iteration time is the wall time.
// Counters:
//   ideal_s    wire time of the bytes exchanged (11 bits each, both directions added: half
//              duplex) plus the serial sync of the entry
//   duplex_s   wire time of the busier direction plus the sync: what a full-duplex exchange with
//              answers in flight could reach
//   ratio_duplex  wall time / duplex_s
//   lost_bytes bytes the gateway's full input lost (tavro-sim counts them)
// and where the wall time went, adding up to it:
//   wire_s     duplex_s
//   latency_s  time the program waited for the gateway (in reads, and holding packets back for
//              its input) beyond wire_s: the adapter's latency and the turnarounds it causes
//   chip_s     the chip's programming waits the program slept (none in a read)
//   own_s      the rest: the program's own time
// Only the read is measured here: a terminal takes written bytes at once, so the program's
// waits after a page overlap the transfer of the bytes before them, which a drained serial line
// does not allow, and a write would look faster than the line can be (operations_write_verify
// paces its writes). A whole ATmega2560 takes over an hour one answer at a time behind a 16 ms
// adapter, so its figures are for its first 32 KiB; the ratios are those of the whole memory.
#include <benchmark/benchmark.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "CountingTransport.h"
#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "chips/MemoryWalk.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "support/TavroSimProcess.h"

namespace quillon {
namespace {

constexpr double kByteMs = bench::kByteSeconds * 1000.0;

// state.range(0): the adapter's latency timer in microseconds; state.range(1): answers in flight
// (0: the default, automatic within the gateway's input). The gateway's input holds 32 bytes:
// counter lost_bytes says how many it lost.
void Flash(benchmark::State& state, const std::string& chip, std::size_t bytes = 0)
{
    const auto adapterLatencyUs = state.range(0);
    const int inFlight = static_cast<int>(state.range(1));
    double ideal = 0;
    for (auto _ : state) {
        // tavro-sim paces the line with short sleeps, and inherits this timer slack: the default
        // 50 us would be an error of the simulator's clock, not of the program.
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
        const std::string lostFile = "/tmp/quillon-bench-lost-" + std::to_string(::getpid());
        test::TavroSimProcess sim({"--chip", chip, "--pace", "--adapter-latency-us", std::to_string(adapterLatencyUs),
                                   "--input-buffer", "32", "--save-lost", lostFile});
        if (sim.Path().empty()) {
            state.SkipWithError("tavro-sim did not start");
            return;
        }
        bench::WireTraffic traffic;
        Session ctx([&traffic](const std::string& path) {
            OpenedPort port = OpenSerialPort(path);
            if (port.transport) port.transport = std::make_unique<bench::CountingTransport>(std::move(port.transport), traffic);
            return port;
        });
        double sleptMs = 0;
        ctx.bus.sleep = [&sleptMs](int ms) {
            sleptMs += ms;
            RealSleep(ms);
        };
        ctx.bus.delay = 0;
        ctx.bus.link.OpenPort(sim.Path());
        SelectChip(ctx, FindChipByName(chip)->signature);
        const ChipRow& entry = *FindChip(ctx.chip.signature);
        traffic = {};
        sleptMs = 0;

        auto memory = ChipMemory(ctx.chip, MemoryKind::Program);
        if (bytes > 0) memory = memory.first(std::min(bytes, memory.size()));
        const auto start = std::chrono::steady_clock::now();
        const bool ok =
            ReadMemory(ctx.bus, entry, TargetOf(ctx.chip), MemoryKind::Program, memory, {}, {.answersInFlight = inFlight})
                .Done();
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        if (!ok) {
            state.SkipWithError("the driver failed");
            return;
        }
        constexpr double kSyncMs = 20.0;
        const std::uint64_t sent = traffic.sent, received = traffic.received;
        ideal = (static_cast<double>(sent + received) * kByteMs + kSyncMs) / 1000.0;
        state.SetIterationTime(wall.count());
        state.counters["ideal_s"] = ideal;
        const double duplex = (static_cast<double>(std::max(sent, received)) * kByteMs + kSyncMs) / 1000.0;
        state.counters["duplex_s"] = duplex;
        const double chipS = sleptMs / 1000.0;
        state.counters["wire_s"] = duplex;
        state.counters["latency_s"] = std::max(0.0, traffic.waitedS - duplex);
        state.counters["chip_s"] = chipS;
        state.counters["own_s"] = wall.count() - std::max(traffic.waitedS, duplex) - chipS;
        state.counters["ratio"] = wall.count() / ideal;
        sim.Stop();
        long lost = -1;
        std::ifstream(lostFile) >> lost;
        std::remove(lostFile.c_str());
        state.counters["lost_bytes"] = static_cast<double>(lost);
        state.counters["ratio_duplex"] = wall.count() / state.counters["duplex_s"];
    }
}

BENCHMARK_CAPTURE(Flash, read_ATtiny85, std::string("ATtiny85"))
    ->ArgNames({"latency_us", "in_flight"})
    ->ArgsProduct({{1000, 16000}, {1, 0}})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Flash, read_ATmega2560_32KiB, std::string("ATmega2560"), std::size_t{32768})
    ->ArgNames({"latency_us", "in_flight"})
    ->ArgsProduct({{1000, 16000}, {1, 0}})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
// The whole memory with the default, to show the stretch speaks for it.
BENCHMARK_CAPTURE(Flash, read_ATmega2560, std::string("ATmega2560"))
    ->ArgNames({"latency_us", "in_flight"})
    ->ArgsProduct({{1000, 16000}, {0}})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quillon

BENCHMARK_MAIN();
