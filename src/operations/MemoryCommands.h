// The operation commands of the main window over a whole memory of the selected chip: read,
// verify, write, erase and the calibration read. Each logs its steps and tells whether it
// ended with its success line.
#pragma once

#include "operations/Confirmation.h"

namespace quillon {

struct Context;

bool ReadProgram(Context& ctx);    // "Read Program"
bool ReadData(Context& ctx);       // "Read Data"
bool VerifyProgram(Context& ctx);  // "Verify Program"
bool VerifyData(Context& ctx);     // "Verify Data"

// These ask first; any answer but Yes ends them at once with nothing done and false.
bool WriteProgram(Context& ctx, const Confirm& confirm);  // "Write Program"
bool WriteData(Context& ctx, const Confirm& confirm);     // "Write Data"
bool ChipErase(Context& ctx, const Confirm& confirm);     // "Chip Erase"

bool ReadCalibration(Context& ctx);  // "Read Calibration"

}  // namespace quillon
