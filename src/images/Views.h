// The four hex views' documents of the flash and EEPROM images: building them for the selected
// chip, copying an image into a view and a view back into its image, and the ID and chip name boxes.
// The window owns them; the chip record's images are where they meet the commands.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "chips/Chip.h"
#include "chips/MemoryKind.h"
#include "images/HexRows.h"
#include "images/MemoryDocument.h"

namespace quillon {

// One hex view: the bytes it shows and edits, and where the last build, fill or store put the
// caret (the window moves its caret there when it is told the view changed; typing keeps its own
// caret, see images/HexKeys.h).
struct HexView {
    MemoryDocument document;
    std::size_t caret = 0;
};

// The main window's views, one per page and memory (see ViewIndex).
struct ViewSet {
    std::array<HexView, 4> view;
    int activePage = 0;  // 0 = Page1, 1 = Page2
    std::string chipNameBox = "None";
    std::string idBox = "FF FF FF";
    // Told which view (0..3) changed its bytes, and when the chip name or ID box changed (-1).
    std::function<void(int view)> changed;
};

// The index into ViewSet::view of the view of `memory` on `page` (0 = Page1, 1 = Page2): the two
// flash views first, then the two EEPROM views.
constexpr int ViewIndex(int page, MemoryKind memory)
{
    return (memory == MemoryKind::Data ? 2 : 0) + (page == 1 ? 1 : 0);
}

// The view of that kind on the active page.
int ActiveView(const ViewSet& views, MemoryKind kind);

// Rebuilds the view with `size` bytes, every one 0xFF; the caret ends at the end.
void BuildEmptyView(ViewSet& views, int view, std::uint32_t size);

// Copies the first chip-size bytes of that kind's image into the view's document, which keeps
// its size: bytes past its end are left out. Caret to the first digit.
void FillViewFromImage(ViewSet& views, const Chip& chip, int view, MemoryKind kind);

// Copies the view's bytes back into the first chip-size bytes of that kind's image.
// Does nothing while no chip is selected. Caret to the first digit.
void StoreViewToImage(ViewSet& views, Chip& chip, int view, MemoryKind kind);

// The active page's view of that kind: what a write, verify or save takes into the image before
// it runs, and what shows the image after a read or load.
inline void FillActiveView(ViewSet& views, const Chip& chip, MemoryKind kind)
{
    FillViewFromImage(views, chip, ActiveView(views, kind), kind);
}
inline void StoreActiveView(ViewSet& views, Chip& chip, MemoryKind kind)
{
    StoreViewToImage(views, chip, ActiveView(views, kind), kind);
}

// "1E 90 01" for the signature bytes 1E 90 01 at addresses 0, 1, 2.
std::string IdBoxText(std::int32_t signature);
void ShowSignature(ViewSet& views, const Chip& chip);

// What a chip selection does to the window: rebuilds the four views empty, as large as the chip's
// memories, and shows the chip's name and signature.
void RefreshViewsForChip(ViewSet& views, const Chip& chip);

}  // namespace quillon
