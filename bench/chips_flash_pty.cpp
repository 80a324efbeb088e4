// A full flash read of an ATtiny85 through the real serial link to tavro-sim on a
// pseudo-terminal, paced in real time like a 250000-baud 8N2 line without adapter latency, with
// the program sleeping for real and the delay value at 0. The iteration time is the wall time.
// Counters:
//   ideal_s  wire time of the bytes exchanged (11 bits each) plus the serial sync of the entry
//   ratio    wall time / ideal_s
// Only the read is measured here: a terminal takes written bytes at once, so the program's
// waits after a page overlap the transfer of the bytes before them, which a drained serial line
// does not allow, and a write would look faster than the line can be. The ATmega2560's full
// flash takes minutes on such a line; the writes and the ATmega2560 are measured on the paced
// in-process simulator in chips_flash.
#include <benchmark/benchmark.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "chips/MemoryWalk.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "support/TavroSimProcess.h"

namespace quillon {
namespace {

constexpr double kByteMs = 0.044;

// Counts the bytes that pass through the real transport.
class CountingTransport final : public Transport {
public:
    CountingTransport(std::unique_ptr<Transport> inner, std::uint64_t& bytes) : inner_(std::move(inner)), bytes_(bytes) {}
    bool Write(std::span<const std::uint8_t> b) override
    {
        bytes_ += b.size();
        return inner_->Write(b);
    }
    std::size_t Read(std::span<std::uint8_t> b, std::chrono::milliseconds timeout) override
    {
        const std::size_t n = inner_->Read(b, timeout);
        bytes_ += n;
        return n;
    }

private:
    std::unique_ptr<Transport> inner_;
    std::uint64_t& bytes_;
};

void Flash(benchmark::State& state, const std::string& chip)
{
    double ideal = 0;
    for (auto _ : state) {
        // tavro-sim paces the line with short sleeps, and inherits this timer slack: the default
        // 50 us would be an error of the simulator's clock, not of the program.
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
        test::TavroSimProcess sim({"--chip", chip, "--pace"});
        if (sim.Path().empty()) {
            state.SkipWithError("tavro-sim did not start");
            return;
        }
        std::uint64_t bytes = 0;
        Session ctx([&bytes](const std::string& path) {
            OpenedPort port = OpenSerialPort(path);
            if (port.transport) port.transport = std::make_unique<CountingTransport>(std::move(port.transport), bytes);
            return port;
        });
        ctx.bus.delay = 0;
        ctx.bus.link.OpenPort(sim.Path());
        SelectChip(ctx, FindChipByName(chip)->signature);
        const ChipRow& entry = *FindChip(ctx.chip.signature);
        bytes = 0;

        const auto start = std::chrono::steady_clock::now();
        const bool ok = ReadMemory(ctx.bus, entry, TargetOf(ctx.chip), MemoryKind::Program,
                                   ChipMemory(ctx.chip, MemoryKind::Program))
                            .Done();
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        if (!ok) {
            state.SkipWithError("the driver failed");
            return;
        }
        constexpr double kSyncMs = 20.0;
        ideal = (static_cast<double>(bytes) * kByteMs + kSyncMs) / 1000.0;
        state.SetIterationTime(wall.count());
        state.counters["ideal_s"] = ideal;
        state.counters["ratio"] = wall.count() / ideal;
    }
}

BENCHMARK_CAPTURE(Flash, read_ATtiny85, std::string("ATtiny85"))->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quillon

BENCHMARK_MAIN();
