#include "images/Views.h"

#include <algorithm>

#include "images/HexText.h"
#include "images/ProgressGuard.h"

namespace quillon {

namespace {

// Bulk transfers move the progress bar once per this many bytes.
constexpr std::uint32_t kProgressBlock = 1024;

void Notify(Context& ctx, int view)
{
    if (ctx.viewChanged) ctx.viewChanged(view);
}

bool ValidView(int view)
{
    return view >= 0 && view < 4;
}

// The caret a fill or store leaves: the first digit, or the end of an empty view.
std::size_t FirstDigit(const MemoryDocument& document)
{
    return std::min<std::size_t>(kHexColumn, ViewTextLength(RowCount(document)));
}

// The progress of a transfer of `count` bytes out of `size`, told as it always was.
void ReportTransfer(ProgressGuard& progress, std::size_t count, std::uint32_t size)
{
    for (std::size_t k = 0; k < count; k += kProgressBlock)
        progress.SetFraction(static_cast<std::uint32_t>(k + 1), size);
}

}  // namespace

int ActiveView(const Context& ctx, MemoryKind kind)
{
    bool page2 = ctx.views.activePage == 1;
    if (kind == MemoryKind::Program) return page2 ? RichEdit2 : RichEdit1;
    return page2 ? RichEdit4 : RichEdit3;
}

void BuildEmptyView(Context& ctx, int view, std::uint32_t size)
{
    if (!ValidView(view)) return;
    HexView& v = ctx.views.view[static_cast<std::size_t>(view)];
    v.document.Reset(size);
    v.caret = ViewTextLength(RowCount(v.document));
    Notify(ctx, view);
}

void FillViewFromImage(Context& ctx, int view, MemoryKind kind)
{
    if (!ValidView(view)) return;
    HexView& v = ctx.views.view[static_cast<std::size_t>(view)];
    std::span<const std::uint8_t> image = ChipMemory(ctx.chip, kind);
    const std::size_t count = std::min(image.size(), v.document.Size());
    ProgressGuard progress(ctx.progress);
    v.document.Assign(image.first(count));
    ReportTransfer(progress, count, static_cast<std::uint32_t>(image.size()));
    v.caret = FirstDigit(v.document);
    progress.Free();
    Notify(ctx, view);
}

void StoreViewToImage(Context& ctx, int view, MemoryKind kind)
{
    if (ctx.chip.signature == 0 || !ValidView(view)) return;
    HexView& v = ctx.views.view[static_cast<std::size_t>(view)];
    std::span<std::uint8_t> image = ChipMemory(ctx.chip, kind);
    const std::size_t count = std::min(image.size(), v.document.Size());
    ProgressGuard progress(ctx.progress);
    std::copy_n(v.document.Bytes().begin(), count, image.begin());
    ReportTransfer(progress, count, static_cast<std::uint32_t>(image.size()));
    v.caret = FirstDigit(v.document);
    progress.Free();
    Notify(ctx, view);
}

std::string IdBoxText(std::int32_t signature)
{
    auto s = static_cast<std::uint32_t>(signature);
    std::string text(8, ' ');
    PutHexByte(&text[0], static_cast<std::uint8_t>(s >> 16));
    PutHexByte(&text[3], static_cast<std::uint8_t>(s >> 8));
    PutHexByte(&text[6], static_cast<std::uint8_t>(s));
    return text;
}

void ShowSignature(Context& ctx)
{
    ctx.views.idBox = IdBoxText(ctx.chip.signature);
    Notify(ctx, -1);
}

void RefreshViewsForChip(Context& ctx)
{
    // A view never shows more than its image holds.
    const auto flash = static_cast<std::uint32_t>(ChipMemory(ctx.chip, MemoryKind::Program).size());
    const auto eeprom = static_cast<std::uint32_t>(ChipMemory(ctx.chip, MemoryKind::Data).size());
    BuildEmptyView(ctx, RichEdit1, flash);
    BuildEmptyView(ctx, RichEdit2, flash);
    BuildEmptyView(ctx, RichEdit3, eeprom);
    BuildEmptyView(ctx, RichEdit4, eeprom);
    ctx.views.chipNameBox = ctx.chip.name;
    ShowSignature(ctx);
}

void AttachViews(Context& ctx)
{
    ctx.refreshViews = RefreshViewsForChip;
}

}  // namespace quillon
