#include "images/HexKeys.h"

#include <algorithm>

#include "images/HexText.h"

namespace quillon {

namespace {

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsArrow(std::uint16_t key)
{
    return key >= VkLeft && key <= VkDown;
}

// Collects the edits of one key against the original text, so a later edit can read the digit
// an earlier one just wrote.
class EditList {
public:
    explicit EditList(std::string_view text) : text_(text) {}

    bool Fits(std::size_t position, std::size_t length) const
    {
        return position + length <= text_.size();
    }
    char At(std::size_t position) const
    {
        for (const TextEdit& e : edits_)
            if (position >= e.position && position < e.position + e.text.size())
                return e.text[position - e.position];
        return position < text_.size() ? text_[position] : '\0';
    }
    void Put(std::size_t position, std::string replacement)
    {
        if (!Fits(position, replacement.size())) return;
        for (TextEdit& e : edits_)
            if (e.position == position && e.text.size() == replacement.size()) {
                e.text = std::move(replacement);
                return;
            }
        edits_.push_back({position, std::move(replacement)});
    }
    std::vector<TextEdit> Take()
    {
        std::sort(edits_.begin(), edits_.end(),
                  [](const TextEdit& a, const TextEdit& b) { return a.position < b.position; });
        // A digit and its neighbour written by one key come out as one two-character edit.
        std::vector<TextEdit> merged;
        for (TextEdit& e : edits_) {
            if (!merged.empty() &&
                merged.back().position + merged.back().text.size() == e.position)
                merged.back().text += e.text;
            else
                merged.push_back(std::move(e));
        }
        return merged;
    }

private:
    std::string_view text_;
    std::vector<TextEdit> edits_;
};

// After a digit of byte `index` on `lineStart`'s line changed: show the byte's new value in the
// character column.
void RefreshByteChar(EditList& edits, std::size_t lineStart, std::size_t index)
{
    std::size_t digits = lineStart + kHexColumn + 3 * index;
    int high = HexDigitValue(edits.At(digits));
    int low = HexDigitValue(edits.At(digits + 1));
    if (high < 0 || low < 0) return;
    edits.Put(lineStart + kCharColumn + index,
              std::string(1, CharForByte(static_cast<std::uint8_t>(high << 4 | low))));
}

bool IsDigitColumn(long col)
{
    return col >= static_cast<long>(kHexColumn) && col < static_cast<long>(kHexColumnEnd) &&
           (col - static_cast<long>(kHexColumn)) % 3 != 2;
}

}  // namespace

bool IsHexDigitKey(std::uint16_t key)
{
    return HexDigitValue(static_cast<char>(key & 0xFF)) >= 0;
}

KeyOutcome ViewKeyDown(std::string_view text, std::size_t caret, std::uint16_t key,
                       std::uint32_t viewSize)
{
    KeyOutcome out;
    if (IsArrow(key)) return out;
    out.handled = true;

    caret = std::min(caret, text.size());
    const long last = viewSize == 0 ? 0 : static_cast<long>((viewSize - 1) / kBytesPerLine);
    long line = static_cast<long>(caret / kLineStride);
    long col = static_cast<long>(caret % kLineStride);
    // Between CR and LF is no place for a caret; take it as the end of the line.
    if (col > static_cast<long>(kLineEnd)) col = kLineEnd;

    EditList edits(text);
    auto lineStart = [&] { return static_cast<std::size_t>(line) * kLineStride; };

    if (key == VkBackspace) {
        --col;
        if (col < static_cast<long>(kHexColumn)) {
            col = kHexColumnEnd;
            line = line - 1 < 0 ? last : line - 1;
        } else if (col < static_cast<long>(kHexColumnEnd)) {
            if (IsDigitColumn(col)) {
                edits.Put(lineStart() + static_cast<std::size_t>(col), "F");
                RefreshByteChar(edits, lineStart(), static_cast<std::size_t>(col - kHexColumn) / 3);
            }
        } else if (col < static_cast<long>(kCharColumn)) {
            col = kLineEnd;
            line = line - 1 < 0 ? last : line - 1;
        } else {
            const auto index = static_cast<std::size_t>(col) - kCharColumn;
            edits.Put(lineStart() + static_cast<std::size_t>(col), std::string(1, '\xFF'));
            edits.Put(lineStart() + kHexColumn + 3 * index, "FF");
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
            const auto index = static_cast<std::size_t>(col) - kCharColumn;
            edits.Put(lineStart() + static_cast<std::size_t>(col),
                      std::string(1, UpperAscii(static_cast<char>(code))));
            std::string digits(2, ' ');
            PutHexByte(digits.data(), code);
            edits.Put(lineStart() + kHexColumn + 3 * index, std::move(digits));
        } else if (col >= static_cast<long>(kHexColumnEnd)) {
            col = kHexColumn - 1;
            line = line + 1 > last ? 0 : line + 1;
        } else if (col < static_cast<long>(kHexColumn)) {
            col = kHexColumn - 1;
        } else if (IsHexDigitKey(key) && IsDigitColumn(col)) {
            edits.Put(lineStart() + static_cast<std::size_t>(col),
                      std::string(1, UpperAscii(static_cast<char>(key & 0xFF))));
            RefreshByteChar(edits, lineStart(), static_cast<std::size_t>(col - kHexColumn) / 3);
        }
        ++col;
    }
    out.edits = edits.Take();
    out.caret = std::min(static_cast<std::size_t>(line) * kLineStride + static_cast<std::size_t>(col),
                         text.size());
    return out;
}

KeyOutcome IdBoxKeyDown(std::string_view text, std::size_t caret, std::uint16_t key)
{
    KeyOutcome out;
    if (IsArrow(key)) return out;
    out.handled = true;

    constexpr long kEnd = 8;
    long p = static_cast<long>(std::min<std::size_t>(caret, kEnd));
    EditList edits(text);
    if (key == VkBackspace) {
        --p;
        if (p < 0)
            p = kEnd;
        else if (p % 3 != 2)
            edits.Put(static_cast<std::size_t>(p), "F");
    } else {
        if (key == VkDelete) key = 'F';
        if (p > kEnd - 1)
            p = -1;
        else if (IsHexDigitKey(key) && p % 3 != 2)
            edits.Put(static_cast<std::size_t>(p),
                      std::string(1, UpperAscii(static_cast<char>(key & 0xFF))));
        ++p;
    }
    out.edits = edits.Take();
    out.caret = std::min(static_cast<std::size_t>(p), text.size());
    return out;
}

void ApplyEdits(std::string& text, const KeyOutcome& outcome)
{
    for (const TextEdit& e : outcome.edits)
        if (e.position + e.text.size() <= text.size())
            text.replace(e.position, e.text.size(), e.text);
}

}  // namespace quillon
