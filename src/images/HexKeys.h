// The editing keys of the hex views and the ID box: given the bytes (or the ID box's text), the
// caret and a key, what changes and where the caret goes. Typing only ever overwrites; nothing
// is inserted or removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "images/MemoryDocument.h"
#include "images/VirtualKey.h"

namespace quillon {

// The caret of a hex view is a position in the document's text (see DocumentText): row * 82 +
// column, columns 0 to 80 and 81 between the CR and the LF.
struct ViewKeyOutcome {
    // false: a key the view leaves alone (the arrows, which the control moves the caret by;
    // modifier keys on their own; Ctrl, Alt and Meta chords, function keys, Escape, Tab, Enter
    // and Insert, which belong to the window's shortcuts and the focus chain).
    bool handled = false;
    std::vector<ByteEdit> edits;   // at most one byte per key
    std::size_t caret = 0;         // new caret, nothing selected (only when handled)
};

// A key as the views take it: its virtual-key code, the character it types (0 when it types
// none) and whether Ctrl, Alt or Meta was held.
struct ViewKey {
    std::uint16_t code = 0;
    char32_t text = 0;
    bool command = false;
};

// True for codes whose low 8 bits are one of "0123456789abcdefABCDEF": the digit keys, the
// letters A to F and the keypad's 1 to 6 (0x61 to 0x66).
bool IsHexDigitKey(std::uint16_t key);

// True for the keys that only modify others: Shift, Ctrl, Alt, Caps Lock, the Windows keys,
// Num Lock and Scroll Lock.
bool IsModifierKey(std::uint16_t key);

// Key down in the hex view of the document:
// - a hex digit typed in the hex column (or before it, or between the columns) fills the next
//   digit of a byte, the caret skipping the gaps between bytes; at the end of a row it stays
//   after the last digit, and the next digit goes to the next row;
// - a character typed in the character column stores its code (case kept), and the caret moves
//   on; at the end of a row the next character goes to the next row;
// - Backspace turns the digit left of the caret into F (the whole byte into 0xFF in the
//   character column), Delete the one under it, and they move the caret as they always have;
// - Home, End, Page Up and Page Down move the caret one place, as they always have;
// - any other typed character is swallowed without effect.
ViewKeyOutcome ViewKeyDown(const MemoryDocument& document, std::size_t caret, const ViewKey& key);

void ApplyEdits(MemoryDocument& document, const ViewKeyOutcome& outcome);

// Replace text.size() characters at position with text (never a change of length).
struct TextEdit {
    std::size_t position = 0;
    std::string text;
    bool operator==(const TextEdit&) const = default;
};

struct IdBoxKeyOutcome {
    bool handled = false;
    std::vector<TextEdit> edits;   // in ascending position, not overlapping
    std::size_t caret = 0;
};

// Key down in the 8-character ID box ("1E 90 01"). Modifier keys on their own are not handled.
IdBoxKeyOutcome IdBoxKeyDown(std::string_view text, std::size_t caret, std::uint16_t key);

void ApplyEdits(std::string& text, const IdBoxKeyOutcome& outcome);

}  // namespace quillon
