// Qt key events as the platform-neutral virtual-key numbers the hex editing keys are defined on:
// letters and digits by their upper-case ASCII code, keypad digits 0x60-0x69, arrows 0x25-0x28.
#pragma once

#include <cstdint>
#include <optional>

#include "images/VirtualKey.h"

class QKeyEvent;

namespace quillon::ui {

// The code of a Qt key (Qt::Key) with its keypad flag; nullopt for keys without one
// (media keys, dead keys and the like), which the views ignore.
std::optional<std::uint16_t> VirtualKeyFor(int qtKey, bool keypad);
std::optional<std::uint16_t> VirtualKeyFor(const QKeyEvent& event);

}  // namespace quillon::ui
