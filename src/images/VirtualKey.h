// The virtual-key codes the editing keys are defined on, whatever the platform's key events:
// letters and digits by their upper-case ASCII code, keypad digits 0x60-0x69.
#pragma once

#include <cstdint>

namespace quillon {

// The codes the editor tells apart by name; every other code is an "any other key".
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
    VkKeypad0 = 0x60,
};

constexpr bool IsArrowKey(std::uint16_t key)
{
    return key >= VkLeft && key <= VkDown;
}

}  // namespace quillon
