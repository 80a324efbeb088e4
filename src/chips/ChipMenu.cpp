#include "chips/ChipMenu.h"

namespace quillon {

namespace {

struct GroupCaption {
    MenuGroup group;
    std::string_view caption;
};

constexpr GroupCaption kGroups[] = {
    {MenuGroup::At90, "AT90..."},
    {MenuGroup::Tiny, "AVR tiny"},
    {MenuGroup::Mega, "AVR mega"},
};

// The AT90C8534 has always been offered greyed at the head of its submenu, although no unit
// programs it; users know the menu by it.
constexpr std::string_view kUnsupportedAt90 = "AT90C8534";

}  // namespace

std::vector<ChipMenuGroup> ChipMenu()
{
    std::vector<ChipMenuGroup> menu;
    for (const GroupCaption& g : kGroups) {
        ChipMenuGroup& group = menu.emplace_back(ChipMenuGroup{g.caption, {}});
        if (g.group == MenuGroup::At90) group.items.push_back({kUnsupportedAt90, nullptr, false});
        for (const ChipRow& row : Catalogue())
            // The serial chips are offered too, with a tooltip saying how they are programmed.
            if (row.Group() == g.group) group.items.push_back({row.name, &row, true, row.family == Family::Serial});
    }
    return menu;
}

}  // namespace quillon
