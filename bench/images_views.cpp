// The hex views of the largest chip (262144 bytes of flash, 16384 lines): building, filling and
// storing a view's document, one key, and the memory the four documents take together.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "images/HexKeys.h"
#include "images/Views.h"

namespace {

using namespace quillon;

constexpr std::uint32_t kLargestFlash = 262144;
constexpr std::uint32_t kLargestEeprom = 4096;

// The chip record and the window's four views.
struct Largest {
    std::unique_ptr<Chip> chipStorage = std::make_unique<Chip>();  // 320 KiB: off the stack
    Chip& chip = *chipStorage;
    ViewSet views;
};

std::unique_ptr<Largest> LargestChip()
{
    auto ctx = std::make_unique<Largest>();
    ctx->chip.name = "Largest";
    ctx->chip.signature = 0x01981E;
    ctx->chip.flashSize = kLargestFlash;
    ctx->chip.eepromSize = kLargestEeprom;
    std::mt19937 random(1);
    for (auto& b : ctx->chip.flash) b = static_cast<std::uint8_t>(random());
    RefreshViewsForChip(ctx->views, ctx->chip);
    return ctx;
}

void BuildEmptyView(benchmark::State& state)
{
    auto ctx = LargestChip();
    for (auto _ : state) {
        quillon::BuildEmptyView(ctx->views, ViewIndex(0, MemoryKind::Program), kLargestFlash);
        benchmark::DoNotOptimize(ctx->views.view[ViewIndex(0, MemoryKind::Program)].document.Bytes().data());
    }
}
BENCHMARK(BuildEmptyView)->Unit(benchmark::kMillisecond);

void FillViewFromImage(benchmark::State& state)
{
    auto ctx = LargestChip();
    for (auto _ : state) {
        quillon::FillViewFromImage(ctx->views, ctx->chip, ViewIndex(0, MemoryKind::Program), MemoryKind::Program);
        benchmark::DoNotOptimize(ctx->views.view[ViewIndex(0, MemoryKind::Program)].document.Bytes().data());
    }
}
BENCHMARK(FillViewFromImage)->Unit(benchmark::kMillisecond);

void StoreViewToImage(benchmark::State& state)
{
    auto ctx = LargestChip();
    quillon::FillViewFromImage(ctx->views, ctx->chip, ViewIndex(0, MemoryKind::Program), MemoryKind::Program);
    for (auto _ : state) {
        quillon::StoreViewToImage(ctx->views, ctx->chip, ViewIndex(0, MemoryKind::Program), MemoryKind::Program);
        benchmark::DoNotOptimize(ctx->chip.flash.data());
    }
}
BENCHMARK(StoreViewToImage)->Unit(benchmark::kMillisecond);

// One key near the end of the largest view, with its edits applied in place.
void KeyInLargestView(benchmark::State& state)
{
    auto ctx = LargestChip();
    MemoryDocument& document = ctx->views.view[ViewIndex(0, MemoryKind::Program)].document;
    const std::size_t caret = (16383 * 82) + 40;
    for (auto _ : state) {
        ViewKeyOutcome out = ViewKeyDown(document, caret, ViewKey{.code = 'A', .text = U'A'});
        ApplyEdits(document, out);
        benchmark::DoNotOptimize(out.caret);
    }
}
BENCHMARK(KeyInLargestView)->Unit(benchmark::kMicrosecond);

// Not a time: the bytes the four views of the largest chip hold, as the "view_bytes" counter.
void FourViewsMemory(benchmark::State& state)
{
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto ctx = LargestChip();
        bytes = 0;
        for (const HexView& v : ctx->views.view) bytes += 2 * v.document.Size();  // bytes and marks
    }
    state.counters["view_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(FourViewsMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
