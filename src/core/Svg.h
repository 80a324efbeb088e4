// A drawing as an SVG document: every shape one element, texts as real text so a reader can
// search and copy the pin numbers and signal names.
#pragma once

#include <string>

#include "core/Drawing.h"

namespace quillon::drawing {

std::string ToSvg(const Drawing& drawing);

}  // namespace quillon::drawing
