#include "core/Failure.h"

#include <cstdio>

namespace quillon {

std::string DifferenceText(const ByteDifference& difference)
{
    char text[64];
    std::snprintf(text, sizeof text, "0x%04X: the chip holds 0x%02X, the file 0x%02X",
                  static_cast<unsigned>(difference.address), static_cast<unsigned>(difference.chip),
                  static_cast<unsigned>(difference.file));
    return text;
}

}  // namespace quillon
