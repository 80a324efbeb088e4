// Selecting the chip to work on: from the Chip Select menu, the command line or an autosearch.
#pragma once

#include <cstdint>

namespace quillon {

struct Session;

// Selects the catalogue entry with that signature: fills the record, blanks the images and logs
// "Selected chip is  <name>". 0 logs "No chip selected", an unknown signature "Selected chip is
// unknown"; both leave everything as it was. True when a chip was selected: a front end then
// rebuilds its views for the new chip.
bool SelectChip(Session& session, std::int32_t signature);

}  // namespace quillon
