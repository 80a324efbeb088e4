// Qt key events as the platform-neutral virtual-key numbers the hex editing keys are defined on:
// letters and digits by their upper-case ASCII code, keypad digits 0x60-0x69, arrows 0x25-0x28.
#pragma once

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace quillon::ui {

inline constexpr std::uint16_t kVkBack = 0x08;
inline constexpr std::uint16_t kVkLeft = 0x25;
inline constexpr std::uint16_t kVkUp = 0x26;
inline constexpr std::uint16_t kVkRight = 0x27;
inline constexpr std::uint16_t kVkDown = 0x28;
inline constexpr std::uint16_t kVkDelete = 0x2E;

// The code of a Qt key (Qt::Key) with its keypad flag; nullopt for keys without one
// (media keys, dead keys and the like), which the views ignore.
std::optional<std::uint16_t> VirtualKeyFor(int qtKey, bool keypad);
std::optional<std::uint16_t> VirtualKeyFor(const QKeyEvent& event);

inline bool IsArrow(std::uint16_t vk) { return vk >= kVkLeft && vk <= kVkDown; }

}  // namespace quillon::ui
