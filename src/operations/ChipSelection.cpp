#include "operations/ChipSelection.h"

#include "chips/Catalogue.h"
#include "operations/Session.h"

namespace quillon {

bool SelectChip(Session& session, std::int32_t signature)
{
    Log& log = session.bus.log;
    if (signature == 0) {
        log.LogMessage(LogNoChip, "");
        return false;
    }
    const ChipRow* entry = FindChip(signature);
    if (!entry) {
        log.LogMessage(LogSelectedChip, " unknown");
        return false;
    }
    FillChipRecord(session.chip, *entry);
    log.LogMessage(LogSelectedChip, " " + session.chip.name);
    ResetImages(session.chip);
    return true;
}

}  // namespace quillon
