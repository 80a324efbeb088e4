#include "images/HexKeys.h"

#include <algorithm>

#include "images/HexRows.h"

namespace quillon {

namespace {

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsDigitColumn(long col)
{
    return col >= static_cast<long>(kHexColumn) && col < static_cast<long>(kHexColumnEnd) &&
           (col - static_cast<long>(kHexColumn)) % 3 != 2;
}

// The byte edits of one key on one row of a document.
class RowEditor {
public:
    RowEditor(const MemoryDocument& document, long row)
        : document_(document), row_(row), shownBytes_(RowCount(document) * kBytesPerLine)
    {
    }

    // Column `col` is a digit of the hex column: that half of its byte becomes `digit`.
    void SetDigit(long col, int digit, std::vector<ByteEdit>& edits) const
    {
        const long offset = col - static_cast<long>(kHexColumn);
        const auto address = Address(offset / 3);
        if (address >= shownBytes_) return;
        const std::uint8_t old = document_.At(address);
        const auto value = static_cast<std::uint8_t>(
            offset % 3 == 0 ? (digit << 4 | (old & 0x0F)) : ((old & 0xF0) | digit));
        edits.push_back({address, value, 0});
    }

    // Column `col` is in the character column: its byte becomes `value`.
    void SetByte(long col, std::uint8_t value, std::uint8_t marks, std::vector<ByteEdit>& edits) const
    {
        const auto address = Address(col - static_cast<long>(kCharColumn));
        if (address >= shownBytes_) return;
        edits.push_back({address, value, marks});
    }

private:
    std::size_t Address(long index) const
    {
        return static_cast<std::size_t>(row_) * kBytesPerLine + static_cast<std::size_t>(index);
    }

    const MemoryDocument& document_;
    long row_;
    std::size_t shownBytes_;
};

}  // namespace

bool IsHexDigitKey(std::uint16_t key)
{
    return HexDigitValue(static_cast<char>(key & 0xFF)) >= 0;
}

ViewKeyOutcome ViewKeyDown(const MemoryDocument& document, std::size_t caret, std::uint16_t key)
{
    ViewKeyOutcome out;
    if (IsArrowKey(key)) return out;
    out.handled = true;

    const std::size_t textSize = ViewTextLength(RowCount(document));
    caret = std::min(caret, textSize);
    const std::size_t size = document.Size();
    const long last = size == 0 ? 0 : static_cast<long>((size - 1) / kBytesPerLine);
    long line = static_cast<long>(caret / kLineStride);
    long col = static_cast<long>(caret % kLineStride);
    // Between CR and LF is no place for a caret; take it as the end of the line.
    if (col > static_cast<long>(kLineEnd)) col = kLineEnd;

    auto row = [&] { return RowEditor(document, line); };

    if (key == VkBackspace) {
        --col;
        if (col < static_cast<long>(kHexColumn)) {
            col = kHexColumnEnd;
            line = line - 1 < 0 ? last : line - 1;
        } else if (col < static_cast<long>(kHexColumnEnd)) {
            if (IsDigitColumn(col)) row().SetDigit(col, 0xF, out.edits);
        } else if (col < static_cast<long>(kCharColumn)) {
            col = kLineEnd;
            line = line - 1 < 0 ? last : line - 1;
        } else {
            row().SetByte(col, 0xFF, 0, out.edits);
        }
    } else {
        if (key == VkDelete) {
            if (col >= static_cast<long>(kHexColumn) && col < static_cast<long>(kHexColumnEnd))
                key = 'F';
            else if (col >= static_cast<long>(kCharColumn))
                key = 0xFF;
        }
        if (col >= static_cast<long>(kLineEnd)) {
            col = kCharColumn - 1;
            line = line + 1 > last ? 0 : line + 1;
        } else if (col >= static_cast<long>(kCharColumn)) {
            // Every key writes here, modifiers too: the byte is the key code itself, while the
            // column shows it upper-cased.
            const auto code = static_cast<std::uint8_t>(std::max<std::uint16_t>(key, 0x1F) & 0xFF);
            const bool upper = UpperAscii(static_cast<char>(code)) != static_cast<char>(code);
            row().SetByte(col, code, upper ? kShownUpperCase : 0, out.edits);
        } else if (col >= static_cast<long>(kHexColumnEnd)) {
            col = kHexColumn - 1;
            line = line + 1 > last ? 0 : line + 1;
        } else if (col < static_cast<long>(kHexColumn)) {
            col = kHexColumn - 1;
        } else if (IsHexDigitKey(key) && IsDigitColumn(col)) {
            row().SetDigit(col, HexDigitValue(static_cast<char>(key & 0xFF)), out.edits);
        }
        ++col;
    }
    out.caret = std::min(static_cast<std::size_t>(line) * kLineStride + static_cast<std::size_t>(col), textSize);
    return out;
}

void ApplyEdits(MemoryDocument& document, const ViewKeyOutcome& outcome)
{
    document.Apply(outcome.edits);
}

IdBoxKeyOutcome IdBoxKeyDown(std::string_view text, std::size_t caret, std::uint16_t key)
{
    IdBoxKeyOutcome out;
    if (IsArrowKey(key)) return out;
    out.handled = true;

    constexpr long kEnd = 8;
    long p = static_cast<long>(std::min<std::size_t>(caret, kEnd));
    auto put = [&](long position, char c) {
        if (static_cast<std::size_t>(position) < text.size())
            out.edits.push_back({static_cast<std::size_t>(position), std::string(1, c)});
    };
    if (key == VkBackspace) {
        --p;
        if (p < 0)
            p = kEnd;
        else if (p % 3 != 2)
            put(p, 'F');
    } else {
        if (key == VkDelete) key = 'F';
        if (p > kEnd - 1)
            p = -1;
        else if (IsHexDigitKey(key) && p % 3 != 2)
            put(p, UpperAscii(static_cast<char>(key & 0xFF)));
        ++p;
    }
    out.caret = std::min(static_cast<std::size_t>(p), text.size());
    return out;
}

void ApplyEdits(std::string& text, const IdBoxKeyOutcome& outcome)
{
    for (const TextEdit& e : outcome.edits)
        if (e.position + e.text.size() <= text.size()) text.replace(e.position, e.text.size(), e.text);
}

}  // namespace quillon
