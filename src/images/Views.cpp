#include "images/Views.h"

#include <algorithm>
#include <cstring>

#include "images/HexText.h"
#include "images/ProgressGuard.h"

namespace quillon {

namespace {

// Bulk transfers move the progress bar once per this many bytes.
constexpr std::uint32_t kProgressBlock = 1024;

// Everything of a line after its address: ": FF FF ... FF   |   " and sixteen 0xFF characters.
constexpr std::array<char, kLineWidth - 8> kEmptyTail = [] {
    std::array<char, kLineWidth - 8> tail{};
    tail.fill(' ');
    tail[0] = ':';
    for (std::size_t b = 0; b < kBytesPerLine; ++b) {
        tail[kHexColumn - 8 + 3 * b] = 'F';
        tail[kHexColumn - 8 + 3 * b + 1] = 'F';
        tail[kCharColumn - 8 + b] = static_cast<char>(0xFF);
    }
    tail[60 - 8] = '|';
    return tail;
}();

void PutAddress(char* out, std::uint32_t address)
{
    for (int i = 7; i >= 0; --i) {
        out[i] = kUpperHexDigits[address & 0x0F];
        address >>= 4;
    }
}

void Notify(ViewSet& views, int view)
{
    if (views.changed) views.changed(view);
}

bool ValidView(int view)
{
    return view >= 0 && view < 4;
}

// The chip's bytes of that kind that this view's text has room for.
std::size_t BytesInView(const HexView& v, std::size_t chipBytes)
{
    std::size_t lines = (v.text.size() + 2) / kLineStride;
    return std::min(chipBytes, lines * kBytesPerLine);
}

}  // namespace

int ActiveView(const ViewSet& views, MemoryKind kind)
{
    bool page2 = views.activePage == 1;
    if (kind == MemoryKind::Program) return page2 ? RichEdit2 : RichEdit1;
    return page2 ? RichEdit4 : RichEdit3;
}

std::string EmptyViewText(std::uint32_t viewSize)
{
    std::size_t lines = LineCount(viewSize);
    std::string text(lines * kLineStride, '\0');
    char* p = text.data();
    for (std::size_t line = 0; line < lines; ++line, p += kLineStride) {
        PutAddress(p, static_cast<std::uint32_t>(line * kBytesPerLine));
        std::memcpy(p + 8, kEmptyTail.data(), kEmptyTail.size());
        p[kLineEnd] = '\r';
        p[kLineEnd + 1] = '\n';
    }
    text.resize(ViewTextLength(lines));
    return text;
}

void BuildEmptyView(ViewSet& views, int view)
{
    if (!ValidView(view)) return;
    HexView& v = views.view[static_cast<std::size_t>(view)];
    v.text = EmptyViewText(v.shownSize);
    v.text.shrink_to_fit();
    v.caret = v.text.size();
    Notify(views, view);
}

void FillViewFromImage(const Workspace& ws, int view, MemoryKind kind)
{
    if (!ValidView(view)) return;
    HexView& v = ws.views.view[static_cast<std::size_t>(view)];
    std::span<const std::uint8_t> image = ChipMemory(ws.chip, kind);
    const auto size = static_cast<std::uint32_t>(image.size());
    const std::size_t count = BytesInView(v, image.size());
    ProgressGuard progress(ws.progress);
    char* text = v.text.data();
    for (std::size_t k = 0; k < count; ++k) {
        std::uint8_t b = image[k];
        PutHexByte(text + HexPosition(k), b);
        text[CharPosition(k)] = CharForByte(b);
        if (k % kProgressBlock == 0) progress.SetFraction(static_cast<std::uint32_t>(k + 1), size);
    }
    v.caret = std::min<std::size_t>(kHexColumn, v.text.size());
    progress.Free();
    Notify(ws.views, view);
}

void StoreViewToImage(const Workspace& ws, int view, MemoryKind kind)
{
    if (ws.chip.signature == 0 || !ValidView(view)) return;
    HexView& v = ws.views.view[static_cast<std::size_t>(view)];
    std::span<std::uint8_t> image = ChipMemory(ws.chip, kind);
    const auto size = static_cast<std::uint32_t>(image.size());
    const std::size_t count = BytesInView(v, image.size());
    ProgressGuard progress(ws.progress);
    const char* text = v.text.data();
    for (std::size_t k = 0; k < count; ++k) {
        const char* digits = text + HexPosition(k);
        int high = HexDigitValue(digits[0]);
        int low = HexDigitValue(digits[1]);
        // The editor writes nothing but digits into the hex column; should anything else get
        // there, the image keeps its byte rather than taking a made-up value.
        if (high >= 0 && low >= 0) image[k] = static_cast<std::uint8_t>(high << 4 | low);
        if (k % kProgressBlock == 0) progress.SetFraction(static_cast<std::uint32_t>(k + 1), size);
    }
    v.caret = std::min<std::size_t>(kHexColumn, v.text.size());
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
    auto& views = ws.views.view;
    // A view never shows more than its image holds.
    const auto flash = static_cast<std::uint32_t>(ChipMemory(ws.chip, MemoryKind::Program).size());
    const auto eeprom = static_cast<std::uint32_t>(ChipMemory(ws.chip, MemoryKind::Data).size());
    views[RichEdit1].shownSize = flash;
    views[RichEdit2].shownSize = flash;
    views[RichEdit3].shownSize = eeprom;
    views[RichEdit4].shownSize = eeprom;
    for (int view : {RichEdit1, RichEdit2, RichEdit3, RichEdit4}) BuildEmptyView(ws.views, view);
    ws.views.chipNameBox = ws.chip.name;
    ShowSignature(ws);
}

}  // namespace quillon
