// The editing keys of the hex views and the ID box: given the text, the caret and a virtual-key
// code, which characters change and where the caret goes. Typing only ever overwrites characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Virtual-key codes the editor tells apart; every other code is an "any other key".
enum VirtualKey : std::uint16_t {
    VkBackspace = 0x08,
    VkEnter = 0x0D,
    VkShift = 0x10,
    VkControl = 0x11,
    VkSpace = 0x20,
    VkLeft = 0x25,
    VkUp = 0x26,
    VkRight = 0x27,
    VkDown = 0x28,
    VkDelete = 0x2E,
};

// Replace text.size() characters at position with text (never a change of length).
struct TextEdit {
    std::size_t position = 0;
    std::string text;
    bool operator==(const TextEdit&) const = default;
};

struct KeyOutcome {
    bool handled = false;          // false: an arrow key, left to the control to move the caret
    std::vector<TextEdit> edits;   // in ascending position, not overlapping
    std::size_t caret = 0;         // new caret, nothing selected (only when handled)
};

// True for codes whose low 8 bits are one of "0123456789abcdefABCDEF": the digit keys, the
// letters A to F and the keypad's 1 to 6 (0x61 to 0x66).
bool IsHexDigitKey(std::uint16_t key);

// Key down in a hex view whose text has the 80-column line format and shows viewSize bytes.
KeyOutcome ViewKeyDown(std::string_view text, std::size_t caret, std::uint16_t key,
                       std::uint32_t viewSize);

// Key down in the 8-character ID box ("01 90 1E").
KeyOutcome IdBoxKeyDown(std::string_view text, std::size_t caret, std::uint16_t key);

// Applies the edits to the text the outcome was computed from.
void ApplyEdits(std::string& text, const KeyOutcome& outcome);

}  // namespace quillon
