// Intel HEX and raw binary files of the largest chip (262144 bytes of flash) through the File
// menu's commands, beside srec_cat converting the same image between the two formats.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "operations/Session.h"
#include "images/FileCommands.h"
#include "images/IntelHex.h"
#include "images/Views.h"
#include "support/ScratchFolder.h"

namespace {

using namespace quillon;
namespace fs = std::filesystem;

constexpr std::uint32_t kLargestFlash = 262144;

// A session with the window's views beside it, so that a command is measured with the copies the
// window makes around it.
struct WindowSide {
    Session session;
    ViewSet views;

    // As Save from the window: the active view into the image, then the file.
    bool Save(const std::string& path, int filter)
    {
        StoreActiveView(views, session.chip, MemoryKind::Program);
        return SaveProgramFile(session, path, filter).Succeeded();
    }
    // As Load from the window: the file into the image, then the image into the active view.
    bool Load(const std::string& path)
    {
        FileLoad load;
        const bool ok = LoadMemoryFile(session, path, MemoryKind::Program, &load).Succeeded();
        if (load.program) FillActiveView(views, session.chip, MemoryKind::Program);
        return ok;
    }
};

std::unique_ptr<WindowSide> LargestChip()
{
    auto ctx = std::make_unique<WindowSide>();
    Chip& chip = ctx->session.chip;
    chip.name = "Largest";
    chip.signature = 0x01981E;
    chip.flashSize = kLargestFlash;
    chip.eepromSize = 4096;
    std::mt19937 random(1);
    for (auto& b : chip.flash) b = static_cast<std::uint8_t>(random());
    RefreshViewsForChip(ctx->views, chip);
    quillon::FillViewFromImage(ctx->views, chip, ViewIndex(0, MemoryKind::Program), MemoryKind::Program);
    return ctx;
}

void HexSave(benchmark::State& state)
{
    auto ctx = LargestChip();
    test::ScratchFolder dir;
    for (auto _ : state)
        if (!ctx->Save(dir / "p.hex", FilterHex)) state.SkipWithError("save failed");
}
BENCHMARK(HexSave)->Unit(benchmark::kMillisecond);

void HexLoad(benchmark::State& state)
{
    auto ctx = LargestChip();
    test::ScratchFolder dir;
    ctx->Save(dir / "p.hex", FilterHex);
    for (auto _ : state)
        if (!ctx->Load(dir / "p.hex")) state.SkipWithError("load failed");
}
BENCHMARK(HexLoad)->Unit(benchmark::kMillisecond);

void BinSave(benchmark::State& state)
{
    auto ctx = LargestChip();
    test::ScratchFolder dir;
    for (auto _ : state)
        if (!ctx->Save(dir / "p.bin", FilterBin)) state.SkipWithError("save failed");
}
BENCHMARK(BinSave)->Unit(benchmark::kMillisecond);

void BinLoad(benchmark::State& state)
{
    auto ctx = LargestChip();
    test::ScratchFolder dir;
    ctx->Save(dir / "p.bin", FilterBin);
    for (auto _ : state)
        if (!ctx->Load(dir / "p.bin")) state.SkipWithError("load failed");
}
BENCHMARK(BinLoad)->Unit(benchmark::kMillisecond);

// The format code alone, without files and views.
void HexWriteInMemory(benchmark::State& state)
{
    auto ctx = LargestChip();
    for (auto _ : state) benchmark::DoNotOptimize(WriteIntelHex(ctx->session.chip.flash, true));
}
BENCHMARK(HexWriteInMemory)->Unit(benchmark::kMillisecond);

void HexReadInMemory(benchmark::State& state)
{
    auto ctx = LargestChip();
    const std::string text = WriteIntelHex(ctx->session.chip.flash, true);
    for (auto _ : state) benchmark::DoNotOptimize(ReadIntelHex(text, ctx->session.chip.flash));
}
BENCHMARK(HexReadInMemory)->Unit(benchmark::kMillisecond);

// srec_cat on the same image, process start included, as the reference point.
void SrecCat(benchmark::State& state, const char* from, const char* to)
{
    auto ctx = LargestChip();
    test::ScratchFolder dir;
    ctx->Save(dir / "p.hex", FilterHex);
    ctx->Save(dir / "p.bin", FilterBin);
    const std::string command = std::string("srec_cat ") + (dir / (from[0] == 'b' ? "p.bin" : "p.hex")) +
                                " -" + (from[0] == 'b' ? "binary" : "intel") + " -o " +
                                (dir / (to[0] == 'b' ? "out.bin" : "out.hex")) + " -" +
                                (to[0] == 'b' ? "binary" : "intel") + " >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("srec_cat failed");
}
BENCHMARK_CAPTURE(SrecCat, BinaryToHex, "bin", "hex")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SrecCat, HexToBinary, "hex", "bin")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
