// A document's bytes as the 80-column hex dump rows the views show, the pictures record and a
// text export writes: "00000010: 0C 94 ... 00   |   ..." in the 8-bit code page.
#pragma once

#include <cstddef>
#include <string>

#include "images/HexText.h"
#include "images/MemoryDocument.h"

namespace quillon {

// Rows a document shows: only whole rows of sixteen bytes.
inline std::size_t RowCount(const MemoryDocument& document)
{
    return document.Size() / kBytesPerLine;
}

// The character the character column shows for a byte with its marks.
constexpr char ShownChar(std::uint8_t byte, std::uint8_t marks)
{
    const char shown = CharForByte(byte);
    if ((marks & kShownUpperCase) && shown >= 'a' && shown <= 'z') return static_cast<char>(shown - 'a' + 'A');
    return shown;
}

// Writes row `row` (which must be below RowCount) as kLineWidth characters to out.
void RenderRow(const MemoryDocument& document, std::size_t row, char* out);
std::string RowText(const MemoryDocument& document, std::size_t row);

// Every row, joined by CR LF with none after the last: the text a view shows as a whole.
std::string DocumentText(const MemoryDocument& document);

// The text of a document of `size` bytes, every byte 0xFF.
std::string EmptyViewText(std::uint32_t size);

}  // namespace quillon
