#include "chips/BitNames.h"

#include "chips/ChipTable.h"

namespace quillon {

std::span<const SlotNames> BitNamesFor(std::int32_t signature)
{
    const ChipRow* row = FindChip(signature);
    return row ? row->bitNames : std::span<const SlotNames>{};
}

}  // namespace quillon
