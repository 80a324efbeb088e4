#include "operations/LockFuses.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "chips/BitNames.h"
#include "chips/ChipTable.h"
#include "chips/FuseRisks.h"
#include "images/ProgressGuard.h"
#include "operations/ChipInSocket.h"
#include "operations/CommandFrame.h"
#include "operations/Session.h"
#include "programming/Answering.h"

namespace quillon {

namespace {

std::size_t UsedSlots(const Chip& chip)
{
    return std::min<std::size_t>(chip.lockFuseCount, 4);
}

void UncheckAll(LockFusesDialog& dialog)
{
    for (auto& group : dialog.group)
        for (auto& box : group.box) box.checked = false;
}

// The questions and the line the fuse risks call for; false when a question was not answered Yes.
bool AskAboutRisks(Session& session, const FuseRisks& risks, const Confirm& confirm)
{
    // The settings in words, after the bit names: what each one does to the chip.
    std::string words;
    for (const std::string& sentence : risks.explanations) words += " " + sentence;
    std::string information;
    for (const std::string& sentence : risks.information) information += " " + sentence;
    if (!risks.serialLockOut.empty())
        session.bus.log.LogMessage(
            LogText, "Note: " + JoinBitNames(risks.serialLockOut) +
                         " lock out serial (ISP) programmers; this tool still reaches the chip in parallel mode." +
                         information);
    else if (!information.empty())
        session.bus.log.LogMessage(LogText, "Note:" + information +
                                                " This tool still reaches the chip in parallel mode.");
    if (!risks.lockOut.empty()) {
        const std::string text = "Writing " + JoinBitNames(risks.lockOut) + " as set ends programming of the " +
                                 session.chip.name +
                                 " with this tool: its serial interface will no longer answer (SPIEN off, the "
                                 "RESET pin or debugWIRE taken, or a clock source the socket does not give)." +
                                 words + " Write these bits anyway?";
        if (!Ask(confirm, {"Chip will be locked out", text, Risk::LockOut})) return false;
        // Asked again, plainly: one Yes given out of habit must not end the chip's life here.
        const std::string again = "Really write " + JoinBitNames(risks.lockOut) + "? Afterwards this tool cannot "
                                  "read, write or erase the " + session.chip.name +
                                  " any more, nor undo these bits; only a high-voltage programmer can.";
        if (!Ask(confirm, {"Write bits that lock the chip out?", again, Risk::LockOut})) return false;
    }
    if (!risks.lockBits.empty()) {
        const std::string text = "Programming the lock bits " + JoinBitNames(risks.lockBits) +
                                 " makes every read and verify show 0xFF until a Chip Erase. Are you sure?";
        if (!Ask(confirm, {"Lock bits", text, Risk::DataLoss})) return false;
    }
    return true;
}

}  // namespace

FuseBox* LockFusesDialog::CheckBox(int number)
{
    if (number < 1 || number > 32) return nullptr;
    int index = number - 1;
    return &group[static_cast<std::size_t>(index / 8)].box[static_cast<std::size_t>(index % 8)];
}

bool LockFusesDialog::Click(int slot, int bit)
{
    if (slot < 0 || slot > 3 || bit < 0 || bit > 7) return false;
    FuseGroup& g = group[static_cast<std::size_t>(slot)];
    FuseBox& box = g.box[static_cast<std::size_t>(bit)];
    if (!panelVisible || !g.visible || !box.visible || !box.enabled) return false;
    box.checked = !box.checked;
    return true;
}

void ResetDialog(LockFusesDialog& dialog)
{
    dialog.panelVisible = false;
    for (auto& group : dialog.group) {
        group.visible = false;
        for (auto& box : group.box) {
            box.visible = false;
            box.checked = false;
            box.enabled = true;
        }
    }
}

void ApplyBitNames(LockFusesDialog& dialog, std::int32_t signature)
{
    if (signature == 0) return;
    std::span<const SlotNames> slots = BitNamesFor(signature);
    for (std::size_t g = 0; g < slots.size() && g < dialog.group.size(); ++g) {
        FuseGroup& group = dialog.group[g];
        group.caption = std::string(slots[g].caption);
        group.visible = true;
        for (std::size_t b = 0; b < 8; ++b) {
            if (slots[g].bit[b].empty()) continue;
            group.box[b].caption = std::string(slots[g].bit[b]);
            group.box[b].visible = true;
            if (slots[g].greyed & (1u << b)) group.box[b].enabled = false;
        }
    }
}

namespace {

void CheckBoxesOf(LockFusesDialog& dialog, std::span<const std::uint8_t> slots)
{
    for (std::size_t g = 0; g < dialog.group.size() && g < slots.size(); ++g) {
        for (std::size_t b = 0; b < 8; ++b) {
            FuseBox& box = dialog.group[g].box[b];
            if (box.visible && (slots[g] & (1u << b)) == 0) box.checked = true;
        }
    }
}

void TakeBoxesAsBefore(LockFusesDialog& dialog, SlotsOrigin origin)
{
    dialog.origin = origin;
    for (std::size_t g = 0; g < dialog.before.size(); ++g) dialog.before[g] = BoxByte(dialog, g);
}

}  // namespace

void FillBoxesFromRecord(LockFusesDialog& dialog, const Chip& chip)
{
    CheckBoxesOf(dialog, chip.lockFuse);
    TakeBoxesAsBefore(dialog, chip.lockFuseOrigin);
}

std::uint8_t BoxByte(const LockFusesDialog& dialog, std::size_t slot)
{
    std::uint8_t byte = 0xFF;
    if (slot >= dialog.group.size()) return byte;
    for (std::size_t b = 0; b < 8; ++b) {
        const FuseBox& box = dialog.group[slot].box[b];
        // Bits without a box are never programmed from here: they always go out as 1.
        if (box.visible && box.checked) byte &= static_cast<std::uint8_t>(~(1u << b));
    }
    return byte;
}

void StoreBoxesToRecord(const LockFusesDialog& dialog, Chip& chip)
{
    if (chip.signature == 0) return;
    for (std::size_t g = 0; g < UsedSlots(chip); ++g) chip.lockFuse[g] = BoxByte(dialog, g);
}

void FillFactoryDefaults(LockFusesDialog& dialog, const Chip& chip)
{
    const ChipRow* row = FindChip(chip.signature);
    if (row == nullptr) return;
    UncheckAll(dialog);
    CheckBoxesOf(dialog, std::span(row->factoryLockFuse).first(std::min<std::size_t>(row->lockFuseCount, 4)));
    // What the boxes showed before stays the measure, so the change the defaults make shows.
    dialog.origin = SlotsOrigin::Factory;
}

LockFusesDialog OpenLockFusesDialog(const Chip& chip)
{
    LockFusesDialog dialog;
    ResetDialog(dialog);
    ApplyBitNames(dialog, chip.signature);
    FillBoxesFromRecord(dialog, chip);
    dialog.panelVisible = true;
    return dialog;
}

Result ReadLockFuses(Session& session, LockFusesDialog& dialog)
{
    CommandFrame frame(session);
    Result result;
    if (const ChipRow* entry = frame.Unit()) {
        const Driver& d = *entry->driver;
        const Target target = TargetOf(session.chip);
        // The bytes are read into a copy: the record, which may hold the user's edits, takes them
        // only when the whole read succeeded.
        std::array<std::uint8_t, 8> read = session.chip.lockFuse;
        bool ok = d.EnterProgMode != nullptr && d.EnterProgMode(session.bus, target);
        const auto sequence = LockFuseReadSequence(d);
        for (auto op = sequence.begin(); ok && op != sequence.end(); ++op)
            ok = (*op)(session.bus, target, read);
        // A byte that came late behind the last answer means some answer was taken for another.
        ok = ok && session.bus.link.ConfirmInStep();
        ok = frame.PowerDown() && ok;
        // The boxes and the record keep what they held: half a read is not worth showing.
        if (!ok) return frame.StepsFailed(" with fail.");
        // An empty socket reads as bytes that are all 0xFF (or all 0x00): only the signature
        // tells them from a chip's. Part of the checks on the chip, so off they send nothing.
        const std::span<const std::uint8_t> slots = std::span(read).first(UsedSlots(session.chip));
        if (session.checkChipInSocket && !slots.empty() && ReadsAsEmptySocket(slots))
            if (Result answers = ConfirmChipAnswers(session, *entry); !answers) return answers;
        session.chip.lockFuse = read;
    } else {
        result = frame.NoUnit();
    }
    frame.Progress().Free();
    if (result) session.chip.lockFuseOrigin = SlotsOrigin::Chip;
    UncheckAll(dialog);
    FillBoxesFromRecord(dialog, session.chip);
    return result;
}

namespace {

// The slot a write operation of the unit sends: each writes one byte, the lock byte the last slot.
std::size_t SlotWrittenBy(const Driver& d, Driver::FuseWrite op, std::size_t lockSlot)
{
    if (op == d.WriteLockBits) return lockSlot;
    if (op == d.WriteFuseHigh) return 1;
    if (op == d.WriteFuseExtended) return 2;
    return 0;
}

// The bits of a slot the chip names: the ones that can be set and read back. Bits without a box
// go out as 1 and read back as whatever the unimplemented bit gives.
std::uint8_t NamedBits(const FuseGroup& group)
{
    std::uint8_t mask = 0;
    for (std::size_t b = 0; b < 8; ++b)
        if (group.box[b].visible) mask |= static_cast<std::uint8_t>(1u << b);
    return mask;
}

// What the read-back found: one line a byte the chip does not hold, then why, if lock bits say.
// Empty when every written byte is there.
std::string ReadBackDifferences(const LockFusesDialog& dialog, const ChipRow& row, std::size_t used,
                                unsigned written, const std::array<std::uint8_t, 8>& wanted,
                                const std::array<std::uint8_t, 8>& held)
{
    std::string lines;
    bool fuseDiffers = false;
    for (std::size_t g = 0; g < used; ++g) {
        if (!(written & (1u << g))) continue;
        const FuseGroup& group = dialog.group[g];
        const auto differs = static_cast<std::uint8_t>((wanted[g] ^ held[g]) & NamedBits(group));
        if (differs == 0) continue;
        std::vector<std::string> bits;
        for (std::size_t b = 0; b < 8; ++b)
            if (differs & (1u << b)) bits.push_back(group.box[b].caption);
        lines += (lines.empty() ? "" : "\n") + group.caption + ": written 0x" + ByteDigits(wanted[g]) +
                 ", the chip holds 0x" + ByteDigits(held[g]) + " (" + JoinBitNames(bits) + ")";
        if (g + 1 < used) fuseDiffers = true;
    }
    if (lines.empty()) return lines;
    const std::vector<std::string> locked =
        JudgeFuseBytes(row, std::span(held).first(used), std::span(held).first(used)).lockBits;
    if (!locked.empty())
        lines += "\nThe chip is locked (" + JoinBitNames(locked) + " programmed): " +
                 (fuseDiffers ? "lock bits block fuse writes, and " : "") +
                 "only Chip Erase clears them, erasing the flash and the EEPROM";
    return lines;
}

}  // namespace

Result WriteLockFuses(Session& session, LockFusesDialog& dialog, const Confirm& confirm, unsigned slotsToWrite)
{
    const std::array<std::uint8_t, 8> before = session.chip.lockFuse;
    const SlotsOrigin origin = session.chip.lockFuseOrigin;
    StoreBoxesToRecord(dialog, session.chip);
    // Until the write succeeds the record holds bytes the chip may not have.
    if (session.chip.lockFuse != before) session.chip.lockFuseOrigin = SlotsOrigin::Edited;
    if (const ChipRow* row = FindChip(session.chip.signature); row != nullptr && row->driver != nullptr) {
        const std::size_t used = UsedSlots(session.chip);
        const FuseRisks risks = JudgeFuseBytes(*row, std::span(before).first(used),
                                               std::span(session.chip.lockFuse).first(used));
        if (!AskAboutRisks(session, risks, confirm)) {
            // A refused write leaves the record as the chip holds it, not as the boxes asked.
            session.chip.lockFuse = before;
            session.chip.lockFuseOrigin = origin;
            return Result::Refused();
        }
    }
    CommandFrame frame(session);
    const ChipRow* entry = frame.Unit();
    if (entry == nullptr) return frame.Fail(frame.NoUnit());
    if (Result checked = CheckChipInSocket(session, *entry, confirm); !checked) return frame.Fail(checked);
    const Driver& d = *entry->driver;
    const Target target = TargetOf(session.chip);
    const std::size_t used = UsedSlots(session.chip);
    const std::size_t lockSlot = used == 0 ? 0 : used - 1;
    bool ok = d.EnterProgMode != nullptr && d.EnterProgMode(session.bus, target);
    const auto sequence = LockFuseWriteSequence(d);
    for (auto op = sequence.begin(); ok && op != sequence.end(); ++op)
        if (slotsToWrite & (1u << SlotWrittenBy(d, *op, lockSlot)))
            ok = (*op)(session.bus, target, session.chip.lockFuse);
    ok = ok && ConfirmGatewayAnswers(session.bus);
    // What the chip holds now: a chip whose lock bits bar fuse writes takes them without a word.
    std::array<std::uint8_t, 8> held = session.chip.lockFuse;
    const bool readBack = session.readBackFuses;
    if (readBack) {
        for (const auto& read : LockFuseReadSequence(d)) {
            if (!ok) break;
            ok = read(session.bus, target, held);
        }
        ok = ok && session.bus.link.ConfirmInStep();
    }
    if (!frame.PowerDown() || !ok) return frame.StepsFailed(" with fail.");
    if (readBack) {
        if (std::string differs = ReadBackDifferences(dialog, *entry, used, slotsToWrite, session.chip.lockFuse, held);
            !differs.empty()) {
            // The boxes keep what the user asked for; the record, too, stays marked as edited.
            const std::string words = "The chip does not hold the bytes written:\n" + differs;
            for (std::size_t at = 0, next; at <= words.size(); at = next + 1) {
                next = words.find('\n', at);
                if (next == std::string::npos) next = words.size();
                session.bus.log.LogMessage(LogText, words.substr(at, next - at));
            }
            return frame.FailFinished(" with fail.", {FailureKind::Chip, words});
        }
    }
    session.chip.lockFuseOrigin = SlotsOrigin::Chip;
    TakeBoxesAsBefore(dialog, SlotsOrigin::Chip);
    return Result::Ok();
}

void SaveLockFuses(Session& session, const LockFusesDialog& dialog)
{
    const std::array<std::uint8_t, 8> before = session.chip.lockFuse;
    StoreBoxesToRecord(dialog, session.chip);
    if (session.chip.lockFuse != before) session.chip.lockFuseOrigin = SlotsOrigin::Edited;
}

}  // namespace quillon
