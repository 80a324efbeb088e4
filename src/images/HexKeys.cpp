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

bool IsModifierKey(std::uint16_t key)
{
    switch (key) {
    case VkShift: case VkControl: case 0x12: case 0x14: case 0x5B: case 0x5C: case 0x90: case 0x91:
        return true;
    default:
        return false;
    }
}

namespace {

constexpr long kHex = static_cast<long>(kHexColumn);
constexpr long kHexEnd = static_cast<long>(kHexColumnEnd);
constexpr long kChars = static_cast<long>(kCharColumn);
constexpr long kEnd = static_cast<long>(kLineEnd);

// Home, End, Page Up, Page Down.
bool IsPageOrEndKey(std::uint16_t key)
{
    return key >= 0x21 && key <= 0x24;
}

// The characters the character column shows as themselves: printable ASCII.
bool IsStorableCharacter(char32_t c)
{
    return c >= 0x20 && c < 0x7F;
}

}  // namespace

ViewKeyOutcome ViewKeyDown(const MemoryDocument& document, std::size_t caret, const ViewKey& key)
{
    ViewKeyOutcome out;
    std::uint16_t code = key.code;
    if (IsArrowKey(code) || IsModifierKey(code) || key.command) return out;
    const bool typed = key.text >= 0x20 && key.text != 0x7F;
    const bool editing = !typed && (code == VkBackspace || code == VkDelete || IsPageOrEndKey(code));
    if (!editing && !typed) return out;
    out.handled = true;

    const std::size_t textSize = ViewTextLength(RowCount(document));
    caret = std::min(caret, textSize);
    out.caret = caret;
    if (RowCount(document) == 0) return out;
    const long last = static_cast<long>(RowCount(document) - 1);
    long line = static_cast<long>(caret / kLineStride);
    long col = static_cast<long>(caret % kLineStride);
    // Between CR and LF is no place for a caret; take it as the end of the line.
    if (col > kEnd) col = kEnd;

    auto row = [&] { return RowEditor(document, line); };
    auto place = [&] {
        out.caret = std::min(static_cast<std::size_t>(line) * kLineStride + static_cast<std::size_t>(col), textSize);
    };

    if (editing && code == VkBackspace) {
        --col;
        // As typing skips the gap after a byte, so does Backspace, into the byte's low digit.
        if (col > kHex && col < kHexEnd && !IsDigitColumn(col)) --col;
        if (col < kHex) {
            col = kHexEnd;
            line = line - 1 < 0 ? last : line - 1;
        } else if (col < kHexEnd) {
            if (IsDigitColumn(col)) row().SetDigit(col, 0xF, out.edits);
        } else if (col < kChars) {
            col = kEnd;
            line = line - 1 < 0 ? last : line - 1;
        } else {
            row().SetByte(col, 0xFF, 0, out.edits);
        }
        place();
        return out;
    }

    if (editing) {
        // One place on, as every key moved the caret before typing learnt to skip the gaps;
        // Delete clears what it leaves.
        if (col >= kEnd) {
            col = kChars - 1;
            line = line + 1 > last ? 0 : line + 1;
        } else if (col >= kChars) {
            if (code == VkDelete) row().SetByte(col, 0xFF, 0, out.edits);
        } else if (col >= kHexEnd) {
            col = kHex - 1;
            line = line + 1 > last ? 0 : line + 1;
        } else if (col < kHex) {
            col = kHex - 1;
        } else if (code == VkDelete && IsDigitColumn(col)) {
            row().SetDigit(col, 0xF, out.edits);
        }
        ++col;
        place();
        return out;
    }

    if (col >= kChars) {
        // The character column takes the character typed, whatever it is.
        if (!IsStorableCharacter(key.text)) return out;
        if (col >= kEnd) {
            if (line == last) return out;
            ++line;
            col = kChars;
        }
        row().SetByte(col, static_cast<std::uint8_t>(key.text), 0, out.edits);
        ++col;
        place();
        return out;
    }

    // Everywhere else a hex digit fills the next digit of a byte; other characters do nothing.
    const int digit = key.text < 0x80 ? HexDigitValue(static_cast<char>(key.text)) : -1;
    if (digit < 0) return out;
    if (col < kHex) {
        col = kHex;
    } else if (col >= kHexEnd) {
        if (line == last) return out;
        ++line;
        col = kHex;
    } else if (!IsDigitColumn(col)) {
        ++col;
    }
    row().SetDigit(col, digit, out.edits);
    ++col;
    if (col < kHexEnd && !IsDigitColumn(col)) ++col;
    place();
    return out;
}

void ApplyEdits(MemoryDocument& document, const ViewKeyOutcome& outcome)
{
    document.Apply(outcome.edits);
}

IdBoxKeyOutcome IdBoxKeyDown(std::string_view text, std::size_t caret, std::uint16_t key)
{
    IdBoxKeyOutcome out;
    if (IsArrowKey(key) || IsModifierKey(key)) return out;
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
