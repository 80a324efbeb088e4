// The four hex views' documents of the flash and EEPROM images: building them for the selected
// chip, copying an image into a view and a view back into its image, and the ID and chip name boxes.
#pragma once

#include <cstdint>
#include <string>

#include "chips/MemoryKind.h"
#include "images/HexRows.h"
#include "images/Workspace.h"

namespace quillon {

// Indexes into ViewSet::view.
enum ViewIndex : int { RichEdit1 = 0, RichEdit2 = 1, RichEdit3 = 2, RichEdit4 = 3 };

// The view of that kind on the active page: RichEdit1/RichEdit3 on Page1, RichEdit2/RichEdit4
// on Page2.
int ActiveView(const ViewSet& views, MemoryKind kind);

// Rebuilds the view with `size` bytes, every one 0xFF; the caret ends at the end.
void BuildEmptyView(ViewSet& views, int view, std::uint32_t size);

// Copies the first chip-size bytes of that kind's image into the view's document, which keeps
// its size: bytes past its end are left out. Caret to the first digit.
void FillViewFromImage(const Workspace& ws, int view, MemoryKind kind);

// Copies the view's bytes back into the first chip-size bytes of that kind's image.
// Does nothing while no chip is selected. Caret to the first digit.
void StoreViewToImage(const Workspace& ws, int view, MemoryKind kind);

// The active page's view of that kind, as the read, write, verify and file commands use it.
inline void FillActiveView(const Workspace& ws, MemoryKind kind)
{
    FillViewFromImage(ws, ActiveView(ws.views, kind), kind);
}
inline void StoreActiveView(const Workspace& ws, MemoryKind kind)
{
    StoreViewToImage(ws, ActiveView(ws.views, kind), kind);
}

// "01 90 1E" for the signature bytes 1E 90 01 at addresses 0, 1, 2.
std::string IdBoxText(std::int32_t signature);
void ShowSignature(const Workspace& ws);

// What a chip selection does to the window: rebuilds RichEdit1 to RichEdit4 empty, as large as
// the chip's memories, and shows the chip's name and signature.
void RefreshViewsForChip(const Workspace& ws);

}  // namespace quillon
