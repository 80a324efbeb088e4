// What every chip command shares: the lookup of the selected chip's driver unit with its log
// lines for no chip and an unknown chip, and the hexadecimal texts of its result lines.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

struct Context;
struct ChipRow;

// The unit of the selected chip, or null after logging "No chip selected" (signature 0) or
// "Selected chip is  unknown" (a signature no unit serves).
const ChipRow* LookUpUnit(Context& ctx);

// An address as upper-case hex digits, at least four and as many as it needs: a difference
// above 64 KiB must not be reported at an address below it.
std::string AddressDigits(std::uint32_t address);

std::string ByteDigits(std::uint8_t value);  // two upper-case hex digits

}  // namespace quillon
