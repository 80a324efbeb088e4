// The editing keys of the hex views and the ID box: given the bytes (or the ID box's text), the
// caret and a virtual-key code, what changes and where the caret goes. Typing only ever
// overwrites; nothing is inserted or removed.
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
    bool handled = false;          // false: an arrow key, left to the control to move the caret
    std::vector<ByteEdit> edits;   // at most one byte per key
    std::size_t caret = 0;         // new caret, nothing selected (only when handled)
};

// True for codes whose low 8 bits are one of "0123456789abcdefABCDEF": the digit keys, the
// letters A to F and the keypad's 1 to 6 (0x61 to 0x66).
bool IsHexDigitKey(std::uint16_t key);

// Key down in the hex view of the document.
ViewKeyOutcome ViewKeyDown(const MemoryDocument& document, std::size_t caret, std::uint16_t key);

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

// Key down in the 8-character ID box ("01 90 1E").
IdBoxKeyOutcome IdBoxKeyDown(std::string_view text, std::size_t caret, std::uint16_t key);

void ApplyEdits(std::string& text, const IdBoxKeyOutcome& outcome);

}  // namespace quillon
