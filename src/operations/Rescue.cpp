#include "operations/Rescue.h"

#include <algorithm>
#include <array>

#include "chips/ChipTable.h"
#include "chips/FuseFields.h"
#include "chips/FuseRisks.h"
#include "gateway/Step.h"
#include "operations/ChipInSocket.h"
#include "operations/CommandFrame.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"
#include "operations/Session.h"

namespace quillon {

namespace {

std::string FuseBytesText(const ChipFuses& fuses, std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (std::size_t slot = 0; slot < fuses.fuseBytes && slot < bytes.size(); ++slot) {
        std::string name = FuseByteName(fuses, slot);
        name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
        text += (text.empty() ? "" : ", ") + name + " 0x" + ByteDigits(bytes[slot]);
    }
    return text;
}

// The fuse fields and the named lock bits of `read` are the factory ones; bits no field or box
// names are left out, as the chip may read them either way.
bool FactoryAgain(const ChipRow& row, const ChipFuses& fuses, std::span<const std::uint8_t> read)
{
    for (const FuseField& f : fuses.fields)
        if (f.ValueIn(read) != f.ValueIn(fuses.factory)) return false;
    return JudgeFuseBytes(row, read, read).lockBits.empty() && [&] {
        const std::size_t lock = fuses.fuseBytes;
        for (std::size_t bit = 0; bit < 8; ++bit)
            if (!row.bitNames[lock].bit[bit].empty() && (read[lock] & (1u << bit)) == 0) return false;
        return true;
    }();
}

}  // namespace

Result RescueChip(Session& session, const Confirm& confirm, RescueOutcome* outcome)
{
    RescueOutcome local;
    RescueOutcome& out = outcome ? *outcome : local;
    Log& log = session.bus.log;
    Result failure;
    const ChipRow* row = LookUpUnit(session, failure);
    if (row == nullptr) return failure;
    const ChipFuses* fuses = FusesOf(*row);
    if (row->family == Family::Serial || fuses == nullptr) {
        const std::string words = "The " + std::string(row->name) +
                                  " is programmed serially here: bringing it back needs high-voltage serial "
                                  "programming, which the gateway does not offer. Nothing was changed.";
        log.LogMessage(LogText, words);
        return Result::Failed(FailureKind::NotOffered, words);
    }

    // The signature through the parallel (high-voltage) interface, which a disabled RESET pin,
    // SPIEN or a missing clock do not stop.
    log.LogMessage(LogText, "Rescue: reading the " + std::string(row->name) + " in high-voltage parallel mode.");
    const std::optional<std::int32_t> found = ReadSocketSignature(session, *row);
    if (!found) return FinishedWithFailure(session, " with fail.", StepsFailure(session.bus));
    if (*found != session.chip.signature) {
        const std::string words =
            *found == 0 || *found == 0xFFFFFF
                ? "No chip answers in the socket (signature " + SignatureText(*found) + "). Nothing was changed."
                : "The chip in the socket answers " + SignatureText(*found) + ", not the selected " +
                      std::string(row->name) + " (" + SignatureText(session.chip.signature) +
                      "); select the chip it is and try again. Nothing was changed.";
        log.LogMessage(LogText, words);
        return Result::Failed(FailureKind::WrongChip, words);
    }
    log.LogMessage(LogText, "Signature " + SignatureText(*found) + ": " + std::string(row->name) + ".");

    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    if (Result read = ReadLockFuses(session, dialog); !read) return read;
    const std::size_t used = session.chip.lockFuseCount;
    const std::vector<std::uint8_t> before(session.chip.lockFuse.begin(), session.chip.lockFuse.begin() + used);
    log.LogMessage(LogText, "Fuses: " + FuseBytesText(*fuses, before) + "; lock byte 0x" +
                                ByteDigits(before[fuses->fuseBytes]) + ".");

    out.causes = SerialReachCauses(*row, before);
    log.LogMessage(LogText, "What keeps serial programmers out of this chip:");
    if (out.causes.empty()) log.LogMessage(LogText, "  nothing: serial programming should work.");
    for (const std::string& cause : out.causes) log.LogMessage(LogText, "  " + cause);

    if (FactoryAgain(*row, *fuses, before)) {
        log.LogMessage(LogText, "The fuses hold the factory values and no lock bits are set; nothing to restore.");
        return Result::Ok();
    }

    // Programmed lock bits keep the fuses from being written, and only a Chip Erase clears them.
    bool lockSet = false;
    for (std::size_t bit = 0; bit < 8; ++bit)
        lockSet = lockSet || (!row->bitNames[fuses->fuseBytes].bit[bit].empty() &&
                              (before[fuses->fuseBytes] & (1u << bit)) == 0);
    bool eesave = false;
    if (const FuseField* f = fuses->Find("eesave")) eesave = f->ValueIn(before) == 0;
    std::string text = "Restore the factory fuses of the " + std::string(row->name) + " (" +
                       FuseBytesText(*fuses, fuses->factory) + ")?";
    if (lockSet)
        text += std::string(" The lock bits block that: a Chip Erase comes first, which erases the flash") +
                (eesave ? " (EESAVE keeps the EEPROM)." : " and the EEPROM.");
    const Question question{"Rescue chip", text, Risk::DataLoss};
    if (!Ask(confirm, question)) {
        log.LogMessage(LogText, "Rescue not confirmed; nothing was changed on the chip.");
        return Result::Refused();
    }

    // The question above covered the erase; a wrong chip still goes back to the user.
    const Confirm asked = [&](const Question& q) { return q.risk == Risk::DataLoss || Ask(confirm, q); };
    if (lockSet) {
        log.LogMessage(LogText, "Chip Erase, to clear the lock bits.");
        if (Result erased = ChipErase(session, asked); !erased) return erased;
        out.erased = true;
    }
    std::array<std::uint8_t, 8> wanted = session.chip.lockFuse;
    std::copy(fuses->factory.begin(), fuses->factory.end(), wanted.begin());
    wanted[fuses->fuseBytes] = 0xFF;
    if (out.erased) session.chip.lockFuse[fuses->fuseBytes] = 0xFF;  // the erase cleared them
    for (std::size_t g = 0; g < used && g < dialog.group.size(); ++g)
        for (std::size_t b = 0; b < 8; ++b) {
            FuseBox& box = dialog.group[g].box[b];
            box.checked = box.visible && (wanted[g] & (1u << b)) == 0;
        }
    log.LogMessage(LogText, "Writing the factory fuses.");
    if (Result written = WriteLockFuses(session, dialog, asked); !written) return written;

    LockFusesDialog check = OpenLockFusesDialog(session.chip);
    if (Result read = ReadLockFuses(session, check); !read) return read;
    const std::vector<std::uint8_t> after(session.chip.lockFuse.begin(), session.chip.lockFuse.begin() + used);
    if (!FactoryAgain(*row, *fuses, after)) {
        const std::string words = "The fuses read back as " + FuseBytesText(*fuses, after) + ", lock byte 0x" +
                                  ByteDigits(after[fuses->fuseBytes]) + ": not the factory values.";
        log.LogMessage(LogText, words);
        return Result::Failed(FailureKind::Chip, words);
    }
    out.restored = true;
    log.LogMessage(LogText, "Read back: " + FuseBytesText(*fuses, after) +
                                ", no lock bits set. The factory fuses are restored; serial programming should "
                                "work again.");
    return Result::Ok();
}

}  // namespace quillon
