// The Chip Select menu as the chip table gives it: its submenus in order, each with its items'
// captions, whether they can be chosen and the chip they select.
#pragma once

#include <string_view>
#include <vector>

#include "chips/ChipTable.h"

namespace quillon {

struct ChipMenuItem {
    std::string_view caption;
    const ChipRow* chip = nullptr;  // null: a name shown greyed with no chip behind it
    bool enabled = false;
    bool serial = false;  // programmed through the gateway's serial socket
};

struct ChipMenuGroup {
    std::string_view caption;
    std::vector<ChipMenuItem> items;
};

std::vector<ChipMenuGroup> ChipMenu();

}  // namespace quillon
