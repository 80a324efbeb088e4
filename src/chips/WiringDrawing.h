// How to connect a chip, drawn from its pin list: the package with its pin numbers, and on every
// pin the programming uses, the signal and the gateway line that drives it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "chips/Pinouts.h"
#include "core/Drawing.h"

namespace quillon {

// "BS1/PAGEL" for a pin that takes two signals, otherwise the signal's name.
std::string PinLabel(const PinUse& use);

drawing::Drawing WiringDrawing(std::string_view chip, const Pinout& pinout);

// Empty when the chip has no pin list.
std::optional<drawing::Drawing> WiringDrawingFor(std::string_view chip);

}  // namespace quillon
