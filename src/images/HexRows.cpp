#include "images/HexRows.h"

#include <cstring>

namespace quillon {

namespace {

// Between the hex column and the characters: "   |   ".
constexpr char kBar[] = "   |   ";

void PutAddress(char* out, std::size_t address)
{
    for (int i = 7; i >= 0; --i) {
        out[i] = kUpperHexDigits[address & 0x0F];
        address >>= 4;
    }
}

}  // namespace

void RenderRow(const MemoryDocument& document, std::size_t row, char* out)
{
    const std::size_t first = row * kBytesPerLine;
    PutAddress(out, first);
    out[8] = ':';
    out[9] = ' ';
    const std::uint8_t* bytes = document.Bytes().data() + first;
    for (std::size_t b = 0; b < kBytesPerLine; ++b) {
        char* digits = out + kHexColumn + 3 * b;
        PutHexByte(digits, bytes[b]);
        digits[2] = ' ';
        out[kCharColumn + b] = ShownChar(bytes[b], document.MarksAt(first + b));
    }
    // The last byte's separator and the bar fill the gap up to the characters.
    std::memcpy(out + kHexColumnEnd, kBar, sizeof kBar - 1);
}

std::string RowText(const MemoryDocument& document, std::size_t row)
{
    std::string text(kLineWidth, ' ');
    RenderRow(document, row, text.data());
    return text;
}

std::string DocumentText(const MemoryDocument& document)
{
    const std::size_t rows = RowCount(document);
    std::string text(ViewTextLength(rows), '\0');
    for (std::size_t row = 0; row < rows; ++row) {
        char* line = text.data() + row * kLineStride;
        RenderRow(document, row, line);
        if (row + 1 < rows) {
            line[kLineEnd] = '\r';
            line[kLineEnd + 1] = '\n';
        }
    }
    return text;
}

std::string EmptyViewText(std::uint32_t size)
{
    return DocumentText(MemoryDocument(size));
}

}  // namespace quillon
