// What a production run costs per chip beyond the gateway's own time, for a 256 KiB program
// (ATmega2560, every byte given by the file) with a 4-byte serial number in the EEPROM: the check
// that the job's files are unchanged (their SHA-256 again), the record store (the row, the number
// taken in its own transaction, the result with 40 log lines, each committed to disk), and the
// chip's two images with the number patched in. The target is under 20 ms per chip.
//
// JobCheck: reading and checking the job once at the start of a run (both files loaded twice to
// learn which bytes they give, everything hashed).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "production/Job.h"
#include "production/ProductionRun.h"
#include "production/RecordStore.h"
#include "support/ScratchFolder.h"

namespace quillon::production {
namespace {

// A job with a 256 KiB Intel HEX program in a folder of its own.
class BigJob {
public:
    BigJob()
    {
        std::ofstream hex(dir_ / "big.hex");
        char line[80];
        for (unsigned addr = 0; addr < 0x40000; addr += 32) {
            if ((addr & 0xFFFF) == 0) {
                const unsigned seg = addr >> 4;
                std::snprintf(line, sizeof line, ":02000002%04X%02X\n", seg & 0xFFFF,
                              (0x100 - ((4 + (seg >> 8) + (seg & 0xFF)) & 0xFF)) & 0xFF);
                hex << line;
            }
            unsigned sum = 32 + ((addr >> 8) & 0xFF) + (addr & 0xFF);
            std::snprintf(line, sizeof line, ":20%04X00", addr & 0xFFFF);
            hex << line;
            for (unsigned i = 0; i < 32; ++i) {
                const unsigned b = (addr + i * 7) & 0xFF;
                sum += b;
                std::snprintf(line, sizeof line, "%02X", b);
                hex << line;
            }
            std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
            hex << line;
        }
        hex << ":00000001FF\n";
        hex.close();
        std::ofstream(dir_ / "job.toml") << "name = \"big\"\nchip = \"ATmega2560\"\nprogram = \"big.hex\"\n"
                                            "fuses = \"FF D8 FD\"\nlock = \"FC\"\n[serial]\nmemory = \"eeprom\"\n"
                                            "address = 0x10\nlength = 4\nfirst = 1\n";
    }
    std::string Path(const std::string& name) const { return dir_ / name; }

private:
    test::ScratchFolder dir_{"quillon-bench-production"};
};

void JobCheck(benchmark::State& state)
{
    BigJob files;
    for (auto _ : state) {
        const production::JobCheck check = ReadJob(files.Path("job.toml"));
        if (!check.job) {
            state.SkipWithError(check.error.c_str());
            return;
        }
        benchmark::DoNotOptimize(check.job->hash);
    }
}
BENCHMARK(JobCheck)->Unit(benchmark::kMillisecond);

void PerChip(benchmark::State& state)
{
    BigJob files;
    const production::JobCheck check = ReadJob(files.Path("job.toml"));
    std::string error;
    auto store = OpenRecordStore(files.Path("records.sqlite"), error);
    if (!check.job || !store) {
        state.SkipWithError((check.error + error).c_str());
        return;
    }
    const Job& job = *check.job;
    std::vector<std::string> log(40, "Programming the flash page at 0x3FF00: Finished. 256 bytes written");
    ChipRecord start;
    start.station = StationName();
    start.pid = ::getpid();
    start.port = "/dev/ttyUSB0";
    start.jobName = job.name;
    start.jobHash = job.hash;
    for (auto _ : state) {
        if (std::string changed = CheckJobUnchanged(job); !changed.empty()) {
            state.SkipWithError(changed.c_str());
            return;
        }
        start.started = UtcNow();
        const std::optional<std::int64_t> id = store->Begin(start, error);
        const std::optional<std::uint64_t> serial = id ? store->TakeSerial(*id, job.name, *job.serial, error) : std::nullopt;
        if (!serial) {
            state.SkipWithError(error.c_str());
            return;
        }
        const ChipImage program = ImageForChip(job, true, serial);
        const ChipImage data = ImageForChip(job, false, serial);
        benchmark::DoNotOptimize(program.bytes.data());
        benchmark::DoNotOptimize(data.bytes.data());
        ChipEnd end;
        end.finished = UtcNow();
        end.signature = "1E 98 01";
        end.result = kPassed;
        end.fuses = "FF D8 FD FC";
        end.durationMs = 30000;
        end.log = log;
        if (!store->Finish(*id, end, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
}
BENCHMARK(PerChip)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillon::production

BENCHMARK_MAIN();
