// The Lock & Fuses dialog as plain data: four groups of eight boxes over the chip's lock and
// fuse slots, and its three commands. A window renders this model; the command line uses it too.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "chips/Chip.h"
#include "core/Result.h"
#include "operations/Confirmation.h"

namespace quillon {

struct Session;

// One check box: checked means the bit is 0 (programmed).
struct FuseBox {
    std::string caption;
    bool visible = false;
    bool checked = false;
    bool enabled = true;
};

// One group box over one slot; box[b] is bit b.
struct FuseGroup {
    std::string caption;
    bool visible = false;
    std::array<FuseBox, 8> box;
};

struct LockFusesDialog {
    bool panelVisible = false;
    std::array<FuseGroup, 4> group;  // group g shows slot g
    // Where the boxes came from, and the bytes they made then: what a change is measured against.
    SlotsOrigin origin = SlotsOrigin::Factory;
    std::array<std::uint8_t, 4> before{0xFF, 0xFF, 0xFF, 0xFF};

    // CheckBox1 .. CheckBox32: number 8g + b + 1 is bit b of slot g. Null outside 1..32.
    FuseBox* CheckBox(int number);

    // A click on a box: toggles a visible, enabled box and tells whether it did.
    bool Click(int slot, int bit);
};

void ResetDialog(LockFusesDialog& dialog);
void ApplyBitNames(LockFusesDialog& dialog, std::int32_t signature);
void FillBoxesFromRecord(LockFusesDialog& dialog, const Chip& chip);
void StoreBoxesToRecord(const LockFusesDialog& dialog, Chip& chip);

// The byte group `slot`'s boxes make as Write would send it: checked bits 0, all others 1.
std::uint8_t BoxByte(const LockFusesDialog& dialog, std::size_t slot);
// The boxes as the chip's row gives its factory bytes; the record and the chip are not touched.
void FillFactoryDefaults(LockFusesDialog& dialog, const Chip& chip);

// The dialog as it opens: reset, named for the selected chip, filled from its slots.
LockFusesDialog OpenLockFusesDialog(const Chip& chip);

// "Read Lock && Fuses": succeeds when every read of the chip's sequence succeeded.
Result ReadLockFuses(Session& session, LockFusesDialog& dialog);
// Which slots a write sends, bit g for slot g: all of them unless the bytes came from a file that
// lacks some (a byte nobody gave is left as the chip holds it, never written back from a read).
inline constexpr unsigned kAllSlots = 0xFF;

// "Write Lock && Fuses": the boxes into the slots, then the chip's write sequence. Bytes that
// would lock this tool out or program lock bits are asked about first (any answer but Yes
// refuses, with the chip untouched); settings that only lock out serial programmers get a line.
// With the session's read-back on, the bytes are read back and the write fails, naming each
// one the chip does not hold (and why, when lock bits are programmed).
Result WriteLockFuses(Session& session, LockFusesDialog& dialog, const Confirm& confirm,
                      unsigned slotsToWrite = kAllSlots);
// "Save changes && Close the window": the boxes into the slots; the chip is not touched.
void SaveLockFuses(Session& session, const LockFusesDialog& dialog);

}  // namespace quillon
