// The fuses in words on the command line: explain-fuses and fuse-settings (no gateway needed),
// the fields under each byte read-fuses shows, and write-fuses by field name or preset.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "cli/Options.h"
#include "cli/Output.h"
#include "core/Result.h"
#include "operations/Confirmation.h"

namespace quillon {
struct ChipRow;
struct Session;
}  // namespace quillon

namespace quillon::cli {

// Each fuse slot's fields in words, filled into the slots read-fuses reports (slot order).
void AddFieldWords(const ChipRow& row, std::span<const std::uint8_t> bytes, std::vector<SlotReport>& slots);

// Exit statuses: 0 done, 2 the chip or the bytes were wrong.
int ExplainFuses(const Options& options, Output& output);
int ShowFuseSettings(const Options& options, Output& output);

// write-fuses clock=KEY bod=KEY ... and --preset NAME: the chip's bytes are read first; the
// fields not named keep what the chip has.
Result WriteFuseSettings(Session& session, const Command& command, const Options& options, const Confirm& confirm,
                         Output& output);

}  // namespace quillon::cli
