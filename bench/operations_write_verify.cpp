// "Write Program" followed by "Verify Program" of the largest parallel chip (ATmega2560) and of
// a serial chip (ATtiny85), through tavro-sim on a pseudo-terminal paced like a 250000-baud 8N2
// line, over the real serial link, with the delay value at 0; the 8 KiB program also behind an
// adapter with a 1 ms latency timer and a gateway input of 32 bytes, its verify one read at a
// time beside the default answers in flight.
//
// The time is the wall time of the two commands. Counters:
//   bytes    bytes on the wire, both ways
//   waits_s  the programming waits the commands slept (fixed waits and ready polls)
//   bound_s  the wire time of those bytes at 11 bits each, plus the waits
//   ratio    wall time / bound_s; the target is at most 1.25 for the whole memory and 1.2 for
//            the 8 KiB program's fast path, whose bytes are only those of its pages, and 1.0 for
//            it behind the 1 ms adapter with the default answers in flight
// and where the wall time went, adding up to it:
//   wire_s     the wire time of the bytes (bound_s without the waits)
//   latency_s  time the program waited on the transport (its writes wait for the line) beyond
//              wire_s: the adapter's latency and the turnarounds it causes
//   chip_s     waits_s
//   own_s      the rest: the program's own time
#include <benchmark/benchmark.h>

#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "CountingTransport.h"
#include "chips/Catalogue.h"
#include "chips/MemoryWalk.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "gateway/Link.h"
#include "operations/Connection.h"
#include "operations/MemoryCommands.h"
#include "support/TavroSimProcess.h"

namespace quillon {
namespace {

using bench::kByteSeconds;

// What is written: the whole flash, or a program of `programBytes` at address 0 with the rest
// erased; `fast` skips the blank pages and compares only the program's bytes, as quillon-cli does
// unless --whole-memory.
struct Job {
    std::string chip;
    std::uint32_t programBytes = 0;  // 0: the whole flash
    bool fast = false;
    // A compiled program (a fixture's flash as avr-objcopy extracts it) instead of made-up bytes.
    std::string program;
    int inFlight = 1;  // answers in flight of the verify (kAutoAnswersInFlight: the default)
    int adapterLatencyUs = 0;  // with a latency, the gateway's input holds 32 bytes
};

std::vector<std::uint8_t> FixtureFlash(const std::string& name)
{
    std::ifstream in(std::string(QUILLON_BINARY_DIR) + "/fixtures/avr/" + name + ".flash.bin", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteVerify(benchmark::State& state, const Job& job)
{
    const std::string& chip = job.chip;
    // tavro-sim paces the line with short sleeps; the default 50 us timer slack would add to
    // every one of them, an error of the simulator's clock and not of the program. The slack is
    // inherited by the simulator started below.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    double wall = 0, bound = 0, waits = 0, waited = 0;
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        std::vector<std::string> simOptions{"--chip", chip, "--pace"};
        if (job.adapterLatencyUs > 0)
            simOptions.insert(simOptions.end(), {"--adapter-latency-us", std::to_string(job.adapterLatencyUs),
                                                 "--input-buffer", "32"});
        test::TavroSimProcess gateway(simOptions);
        bench::WireTraffic count;
        Session ctx([&count](const std::string& path) {
            OpenedPort opened = OpenSerialPort(path);
            if (opened.transport)
                opened.transport = std::make_unique<bench::CountingTransport>(std::move(opened.transport), count, true);
            return opened;
        });
        double sleptMs = 0;
        ctx.bus.sleep = [&sleptMs](int ms) {
            sleptMs += ms;
            RealSleep(ms);
        };
        ctx.bus.delay = 0;
        if (gateway.Path().empty() || !Connect(ctx, gateway.Path())) {
            state.SkipWithError("tavro-sim did not serve a terminal");
            return;
        }
        SelectChip(ctx, FindChipByName(chip)->signature);
        const std::vector<std::uint8_t> compiled = job.program.empty() ? std::vector<std::uint8_t>{} : FixtureFlash(job.program);
        if (!job.program.empty() && compiled.empty()) {
            state.SkipWithError("the AVR fixture was not built (avr-gcc missing?)");
            return;
        }
        const auto program = static_cast<std::uint32_t>(
            !compiled.empty() ? compiled.size() : job.programBytes == 0 ? ctx.chip.flashSize : job.programBytes);
        for (std::uint32_t i = 0; i < ctx.chip.flashSize; ++i)
            ctx.chip.flash[i] = i < program ? (compiled.empty() ? static_cast<std::uint8_t>(i * 7 + (i >> 9)) : compiled[i])
                                            : 0xFF;
        ctx.answersInFlight = job.inFlight;
        ctx.skipBlankPages = job.fast;
        if (job.fast) {
            std::vector<std::uint8_t> covered(ctx.chip.flashSize, 0);
            std::fill(covered.begin(), covered.begin() + program, 1);
            ctx.coveredProgram = std::move(covered);
        }
        count = {};
        sleptMs = 0;

        const auto start = std::chrono::steady_clock::now();
        const bool ok = WriteProgram(ctx, [](const Question&) { return true; }) && VerifyProgram(ctx);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (!ok) {
            auto lines = ctx.bus.log.Lines();
            std::string why = "a command failed:";
            for (std::size_t i = lines.size() > 4 ? lines.size() - 4 : 0; i < lines.size(); ++i)
                why += " | " + lines[i];
            state.SkipWithError(why.c_str());
            return;
        }
        wall = elapsed.count();
        bytes = count.sent + count.received;
        waited = count.waitedS;
        waits = sleptMs / 1000.0;
        bound = static_cast<double>(bytes) * kByteSeconds + waits;
        state.SetIterationTime(wall);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["waits_s"] = waits;
    state.counters["bound_s"] = bound;
    state.counters["ratio"] = wall / bound;
    const double wire = bound - waits;
    state.counters["wire_s"] = wire;
    state.counters["latency_s"] = std::max(0.0, waited - wire);
    state.counters["chip_s"] = waits;
    state.counters["own_s"] = wall - std::max(waited, wire) - waits;
}

BENCHMARK_CAPTURE(WriteVerify, ATtiny85, Job{"ATtiny85"})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(WriteVerify, ATmega2560, Job{"ATmega2560"})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
// An 8 KiB program in the ATmega2560: the fast path against the full passes.
BENCHMARK_CAPTURE(WriteVerify, ATmega2560_8KiB_fast, Job{"ATmega2560", 8192, true})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(WriteVerify, ATmega2560_8KiB_full, Job{"ATmega2560", 8192, false})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
// A real compiled program of about 8 KiB: the fast path, its verify one read at a time and with
// answers in flight.
BENCHMARK_CAPTURE(WriteVerify, ATmega2560_app8k_fast, Job{"ATmega2560", 0, true, "app8k"})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(WriteVerify, ATmega2560_app8k_fast_in_flight_16, Job{"ATmega2560", 0, true, "app8k", 16})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
// Behind a 1 ms adapter: the verify one read at a time, and with the default answers in flight.
BENCHMARK_CAPTURE(WriteVerify, ATmega2560_8KiB_fast_1ms_in_flight_1,
                  Job{"ATmega2560", 8192, true, "", 1, 1000})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(WriteVerify, ATmega2560_8KiB_fast_1ms_default,
                  Job{"ATmega2560", 8192, true, "", kAutoAnswersInFlight, 1000})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
// The same program written and verified over the whole memory, as the window does by default.
BENCHMARK_CAPTURE(WriteVerify, ATmega2560_app8k_full, Job{"ATmega2560", 0, false, "app8k"})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quillon

BENCHMARK_MAIN();
