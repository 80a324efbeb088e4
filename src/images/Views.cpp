#include "images/Views.h"

#include <algorithm>

#include "images/HexText.h"

namespace quillon {

namespace {

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

}  // namespace

int ActiveView(const ViewSet& views, MemoryKind kind)
{
    return ViewIndex(views.activePage, kind);
}

void BuildEmptyView(ViewSet& views, int view, std::uint32_t size)
{
    if (!ValidView(view)) return;
    HexView& v = views.view[static_cast<std::size_t>(view)];
    v.document.Reset(size);
    v.caret = ViewTextLength(RowCount(v.document));
    Notify(views, view);
}

void FillViewFromImage(ViewSet& views, const Chip& chip, int view, MemoryKind kind)
{
    if (!ValidView(view)) return;
    HexView& v = views.view[static_cast<std::size_t>(view)];
    std::span<const std::uint8_t> image = ChipMemory(chip, kind);
    const std::size_t count = std::min(image.size(), v.document.Size());
    v.document.Assign(image.first(count));
    v.caret = FirstDigit(v.document);
    Notify(views, view);
}

void StoreViewToImage(ViewSet& views, Chip& chip, int view, MemoryKind kind)
{
    if (chip.signature == 0 || !ValidView(view)) return;
    HexView& v = views.view[static_cast<std::size_t>(view)];
    std::span<std::uint8_t> image = ChipMemory(chip, kind);
    const std::size_t count = std::min(image.size(), v.document.Size());
    std::copy_n(v.document.Bytes().begin(), count, image.begin());
    v.caret = FirstDigit(v.document);
    Notify(views, view);
}

std::string IdBoxText(std::int32_t signature)
{
    auto s = static_cast<std::uint32_t>(signature);
    std::string text(8, ' ');
    // In the datasheets' order, the byte at address 0 first, as the log writes it.
    PutHexByte(&text[0], static_cast<std::uint8_t>(s));
    PutHexByte(&text[3], static_cast<std::uint8_t>(s >> 8));
    PutHexByte(&text[6], static_cast<std::uint8_t>(s >> 16));
    return text;
}

void ShowSignature(ViewSet& views, const Chip& chip)
{
    views.idBox = IdBoxText(chip.signature);
    Notify(views, -1);
}

void RefreshViewsForChip(ViewSet& views, const Chip& chip)
{
    // A view never shows more than its image holds.
    const auto flash = static_cast<std::uint32_t>(ChipMemory(chip, MemoryKind::Program).size());
    const auto eeprom = static_cast<std::uint32_t>(ChipMemory(chip, MemoryKind::Data).size());
    for (const int page : {0, 1}) BuildEmptyView(views, ViewIndex(page, MemoryKind::Program), flash);
    for (const int page : {0, 1}) BuildEmptyView(views, ViewIndex(page, MemoryKind::Data), eeprom);
    views.chipNameBox = chip.name;
    ShowSignature(views, chip);
}

}  // namespace quillon
