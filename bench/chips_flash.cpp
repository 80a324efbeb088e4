// A full flash read and write of the largest parallel chip (ATmega2560) and of a serial chip
// (ATtiny85) through the simulated gateway paced like a 250000-baud 8N2 line without adapter
// latency, with the delay value at 0.
//
// The iteration time is the line time the run takes (the simulator's clock: every byte each way
// at 11 bits, plus every sleep). Counters:
//   ideal_s  wire time of the bytes exchanged plus the programming waits the chip needs
//            (page and erase times of the chip; the serial chips' fixed page wait of 5 ms)
//   ratio    line time / ideal_s
//   cpu_s    the wall time the program and the simulator spent computing; on a real line it
//            overlaps the transfer, so a real run takes at most line time + cpu_s
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "chips/MemoryWalk.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "model/SimDevice.h"

namespace quillon {
namespace {

constexpr double kSerialPageWaitMs = 5.0;
constexpr double kSerialEraseWaitMs = 9.0;
constexpr double kSerialSyncMs = 20.0;
constexpr double kParallelEntryMs = 2.0;  // the two 1 ms settling sleeps of a power-up

struct Run {
    std::shared_ptr<sim::SimDevice> device;
    std::unique_ptr<Session> ctx;
    const ChipRow* entry = nullptr;
    std::uint64_t bytes = 0;

    explicit Run(const std::string& chip)
    {
        sim::Faults faults;
        faults.pace = true;
        device = std::make_shared<sim::SimDevice>(sim::MakeSocketChip(chip), faults);
        auto d = device;
        ctx = std::make_unique<Session>([d](const std::string&) -> OpenedPort {
            return {std::make_unique<sim::SimTransport>(d), OpenFailure::None};
        });
        ctx->bus.sleep = [d](int ms) { d->Sleep(ms); };
        ctx->bus.delay = 0;
        ctx->bus.link.OpenPort("sim:");
        SelectChip(*ctx, FindChipByName(chip)->signature);
        entry = FindChip(ctx->chip.signature);
        Count();
    }

    // Adds up the bytes of the trace so far and drops it, so a whole memory fits in memory.
    void Count()
    {
        for (const auto& e : device->Trace().Events())
            if (e.kind != sim::TraceEvent::Kind::Sleep) bytes += e.bytes.size();
        device->Trace().Clear();
    }
    double NowMs() const { return device->Model().Now(); }
    const sim::ChipDescription& Chip() const { return device->Chip()->Description(); }
    bool Serial() const { return entry->family == Family::Serial; }
};

WalkProgress CountAsItGoes(Run& r)
{
    return [&r](std::uint32_t, std::uint32_t) { r.Count(); };
}

bool ReadFlash(Run& r)
{
    Session& ctx = *r.ctx;
    const bool ok = ReadMemory(ctx.bus, *r.entry, TargetOf(ctx.chip), MemoryKind::Program,
                               ChipMemory(ctx.chip, MemoryKind::Program), CountAsItGoes(r))
                        .Done();
    r.Count();
    return ok;
}

bool WriteFlash(Run& r)
{
    Session& ctx = *r.ctx;
    for (std::uint32_t i = 0; i < ctx.chip.flashSize; ++i) ctx.chip.flash[i] = static_cast<std::uint8_t>(i * 7);
    const bool ok = WriteMemory(ctx.bus, *r.entry, TargetOf(ctx.chip), MemoryKind::Program,
                                ChipMemory(ctx.chip, MemoryKind::Program), CountAsItGoes(r))
                        .Done();
    r.Count();
    return ok;
}

// The waits the run cannot do without, besides moving its bytes.
double RequiredWaitsMs(const Run& r, bool write)
{
    const double entries = write ? 2 : 1;
    double ms = entries * (r.Serial() ? kSerialSyncMs : kParallelEntryMs);
    if (write) {
        const double pages = static_cast<double>(r.ctx->chip.flashSize) / r.entry->page;
        ms += r.Serial() ? kSerialEraseWaitMs + pages * kSerialPageWaitMs
                         : r.Chip().times.erase + pages * r.Chip().times.flash;
    }
    return ms;
}

void Flash(benchmark::State& state, const std::string& chip, bool write)
{
    double line = 0, ideal = 0, cpu = 0;
    for (auto _ : state) {
        Run r(chip);
        const double start = r.NowMs();
        r.bytes = 0;
        const auto wallStart = std::chrono::steady_clock::now();
        const bool ok = write ? WriteFlash(r) : ReadFlash(r);
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
        if (!ok) {
            state.SkipWithError("the driver failed");
            return;
        }
        line = (r.NowMs() - start) / 1000.0;
        ideal = (static_cast<double>(r.bytes) * sim::kByteTimeMs + RequiredWaitsMs(r, write)) / 1000.0;
        cpu = wall.count();
        state.SetIterationTime(line);
    }
    state.counters["ideal_s"] = ideal;
    state.counters["ratio"] = line / ideal;
    state.counters["cpu_s"] = cpu;
}

BENCHMARK_CAPTURE(Flash, read_ATmega2560, std::string("ATmega2560"), false)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Flash, write_ATmega2560, std::string("ATmega2560"), true)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Flash, read_ATtiny85, std::string("ATtiny85"), false)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(Flash, write_ATtiny85, std::string("ATtiny85"), true)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quillon

BENCHMARK_MAIN();
