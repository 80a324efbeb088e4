#include "images/Views.h"

#include <algorithm>

#include "images/HexText.h"
#include "images/ProgressGuard.h"

namespace quillon {

namespace {

// Bulk transfers move the progress bar once per this many bytes.
constexpr std::uint32_t kProgressBlock = 1024;

void Notify(ViewSet& views, int view)
{
    if (views.changed) views.changed(view);
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

int ActiveView(const ViewSet& views, MemoryKind kind)
{
    bool page2 = views.activePage == 1;
    if (kind == MemoryKind::Program) return page2 ? RichEdit2 : RichEdit1;
    return page2 ? RichEdit4 : RichEdit3;
}

void BuildEmptyView(ViewSet& views, int view, std::uint32_t size)
{
    if (!ValidView(view)) return;
    HexView& v = views.view[static_cast<std::size_t>(view)];
    v.document.Reset(size);
    v.caret = ViewTextLength(RowCount(v.document));
    Notify(views, view);
}

void FillViewFromImage(const Workspace& ws, int view, MemoryKind kind)
{
    if (!ValidView(view)) return;
    HexView& v = ws.views.view[static_cast<std::size_t>(view)];
    std::span<const std::uint8_t> image = ChipMemory(ws.chip, kind);
    const std::size_t count = std::min(image.size(), v.document.Size());
    ProgressGuard progress(ws.progress);
    v.document.Assign(image.first(count));
    ReportTransfer(progress, count, static_cast<std::uint32_t>(image.size()));
    v.caret = FirstDigit(v.document);
    progress.Free();
    Notify(ws.views, view);
}

void StoreViewToImage(const Workspace& ws, int view, MemoryKind kind)
{
    if (ws.chip.signature == 0 || !ValidView(view)) return;
    HexView& v = ws.views.view[static_cast<std::size_t>(view)];
    std::span<std::uint8_t> image = ChipMemory(ws.chip, kind);
    const std::size_t count = std::min(image.size(), v.document.Size());
    ProgressGuard progress(ws.progress);
    std::copy_n(v.document.Bytes().begin(), count, image.begin());
    ReportTransfer(progress, count, static_cast<std::uint32_t>(image.size()));
    v.caret = FirstDigit(v.document);
    progress.Free();
    Notify(ws.views, view);
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

void ShowSignature(const Workspace& ws)
{
    ws.views.idBox = IdBoxText(ws.chip.signature);
    Notify(ws.views, -1);
}

void RefreshViewsForChip(const Workspace& ws)
{
    // A view never shows more than its image holds.
    const auto flash = static_cast<std::uint32_t>(ChipMemory(ws.chip, MemoryKind::Program).size());
    const auto eeprom = static_cast<std::uint32_t>(ChipMemory(ws.chip, MemoryKind::Data).size());
    BuildEmptyView(ws.views, RichEdit1, flash);
    BuildEmptyView(ws.views, RichEdit2, flash);
    BuildEmptyView(ws.views, RichEdit3, eeprom);
    BuildEmptyView(ws.views, RichEdit4, eeprom);
    ws.views.chipNameBox = ws.chip.name;
    ShowSignature(ws);
}

}  // namespace quillon
