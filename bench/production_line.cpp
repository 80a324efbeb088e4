// A production line of 8 gateways against one gateway alone, in the same run: tavro-sim processes
// on pseudo-terminals, each paced like a 250000-baud line behind a USB adapter with a 1 ms latency
// timer, each with a tray of ATtiny2313s; a job that fills the whole 2 KiB flash, puts a 4-byte
// serial number in the EEPROM and writes the fuses and the lock byte; one SQLite record store,
// a connection per gateway. The operator is instant: every gateway that waits starts at once.
//
// Counters:
//   one_per_min   chips a minute with one gateway (measured before and after the line)
//   line_per_min  chips a minute with all 8 (from the first start to the last chip's record)
//   speedup       line_per_min / one_per_min (the target is 7 or more)
//   cpu_ms_chip   this program's own CPU time (user + system, every thread) per chip on the line;
//                 the simulators are processes of their own and not counted
//   cpu_ms_one    the same with one gateway
// The machine's other load shows in the wall times; the CPU figures are less affected.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "images/IntelHex.h"
#include "production/Job.h"
#include "production/Line.h"
#include "support/ScratchFolder.h"
#include "support/TavroSimProcess.h"

namespace quillon::production {
namespace {

constexpr int kChipsPerGateway = 3;

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Phase {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    long chips = 0;
    std::string error;
};

Phase RunLine(const test::ScratchFolder& dir, const Job& job, int gateways)
{
    Phase phase;
    std::vector<std::unique_ptr<test::TavroSimProcess>> sims;
    LineSettings settings;
    settings.records = dir / "records.sqlite";
    settings.count = kChipsPerGateway;
    for (int i = 0; i < gateways; ++i) {
        sims.push_back(std::make_unique<test::TavroSimProcess>(std::vector<std::string>{
            "--chip", "ATtiny2313", "--supply", "100", "--pace", "--adapter-latency-us", "1000"}));
        if (sims.back()->Path().empty()) {
            phase.error = "tavro-sim did not start";
            return phase;
        }
        settings.ports.push_back(sims.back()->Path());
    }
    Line line(job, settings);
    if (std::string e = line.Open(); !e.empty()) {
        phase.error = e;
        return phase;
    }
    const double cpuBefore = CpuSeconds();
    const auto began = std::chrono::steady_clock::now();
    line.Start();
    while (!line.Ended())
        if (line.WaitForWaiting(std::chrono::milliseconds(5))) line.Next();
    line.Wait();
    phase.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    phase.cpuSeconds = CpuSeconds() - cpuBefore;
    for (std::size_t g = 0; g < line.Size(); ++g) {
        const GatewayStatus s = line.Status(g);
        phase.chips += s.passed;
        if (s.state == GatewayState::Stopped) phase.error = s.port + ": " + s.reason;
    }
    if (phase.error.empty() && !line.AllWell()) phase.error = "not every chip passed";
    return phase;
}

void EightGateways(benchmark::State& state)
{
    test::ScratchFolder dir{"quillon-bench-line"};
    {
        std::vector<std::uint8_t> firmware(2048);
        for (unsigned a = 0; a < firmware.size(); ++a)
            firmware[a] = static_cast<std::uint8_t>((a & ~15u) * 5 + (a & 15u) * 11 + 3);
        std::ofstream(dir / "fw.hex") << WriteIntelHex(firmware, false) << "\n";
    }
    std::ofstream(dir / "job.toml") << "name = \"bench\"\nchip = \"ATtiny2313\"\nprogram = \"fw.hex\"\n"
                                       "fuses = \"E4 DF FF\"\nlock = \"FC\"\n[serial]\nmemory = \"eeprom\"\n"
                                       "address = 0x10\nlength = 4\nfirst = 1\n";
    const JobCheck check = ReadJob(dir / "job.toml");
    if (!check.job) {
        state.SkipWithError(check.error.c_str());
        return;
    }
    for (auto _ : state) {
        // One gateway before and after the line, so that the machine's load as it changes and
        // whatever warms up on the first chips weigh on both sides alike.
        const Phase before = RunLine(dir, *check.job, 1);
        const Phase eight = before.error.empty() ? RunLine(dir, *check.job, 8) : Phase{};
        const Phase after = eight.error.empty() ? RunLine(dir, *check.job, 1) : Phase{};
        if (!before.error.empty() || !eight.error.empty() || !after.error.empty()) {
            state.SkipWithError((before.error + eight.error + after.error).c_str());
            return;
        }
        Phase one;
        one.chips = before.chips + after.chips;
        one.wallSeconds = before.wallSeconds + after.wallSeconds;
        one.cpuSeconds = before.cpuSeconds + after.cpuSeconds;
        const double onePerMin = 60.0 * static_cast<double>(one.chips) / one.wallSeconds;
        const double linePerMin = 60.0 * static_cast<double>(eight.chips) / eight.wallSeconds;
        state.counters["one_per_min"] = onePerMin;
        state.counters["line_per_min"] = linePerMin;
        state.counters["speedup"] = linePerMin / onePerMin;
        state.counters["cpu_ms_chip"] = 1000.0 * eight.cpuSeconds / static_cast<double>(eight.chips);
        state.counters["cpu_ms_one"] = 1000.0 * one.cpuSeconds / static_cast<double>(one.chips);
    }
}
BENCHMARK(EightGateways)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace quillon::production

BENCHMARK_MAIN();
