// The operation commands of the main window over a whole memory of the selected chip: read,
// verify, write, erase and the calibration read. Each logs its steps and returns how it ended;
// it succeeds exactly when it logged its success line.
#pragma once

#include "core/Result.h"
#include "operations/Confirmation.h"

namespace quillon {

struct Session;

Result ReadProgram(Session& session);    // "Read Program"
Result ReadData(Session& session);       // "Read Data"
Result VerifyProgram(Session& session);  // "Verify Program"
Result VerifyData(Session& session);     // "Verify Data"

// These ask first; any answer but Yes ends them at once, refused, with nothing done.
Result WriteProgram(Session& session, const Confirm& confirm);  // "Write Program"
Result WriteData(Session& session, const Confirm& confirm);     // "Write Data"
Result ChipErase(Session& session, const Confirm& confirm);     // "Chip Erase"

Result ReadCalibration(Session& session);  // "Read Calibration"

}  // namespace quillon
