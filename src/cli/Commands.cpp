#include "cli/Commands.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "cli/FuseWords.h"
#include "cli/Options.h"
#include "core/FileIo.h"
#include "images/ElfFile.h"
#include "images/FileCommands.h"
#include "operations/FileFuses.h"
#include "operations/CommandFrame.h"
#include "operations/Compare.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"
#include "operations/Rescue.h"
#include "operations/Session.h"

namespace quillon::cli {

namespace {

// The file's own name decides its format, and the name is kept as given: a script that asks
// for out.eep gets out.eep.
// A file that did not load completely is never written to the chip nor taken as the reference:
// the chip would end up with part of a program. Data beyond the memory alone may be accepted.
Result Load(Session& session, MemoryKind kind, const std::string& file, bool force, Output& output)
{
    // What the file does not cover is written and compared as erased, never as whatever an
    // earlier command left in the image.
    ResetImage(session.chip, kind == MemoryKind::Program ? ImagePart::Flash : ImagePart::Eeprom);
    Result result = LoadMemoryFile(session, file, kind);
    if (result.failure == FailureKind::FileBeyond && force) {
        output.Error(file + ": " + result.Words() + "; going on (--force)");
        return Result::Ok();
    }
    if (result.failure == FailureKind::FilePart || result.failure == FailureKind::FileBeyond)
        output.Error(file + ": " + result.Words() +
                     (result.failure == FailureKind::FileBeyond ? "; --force takes what fits" : ""));
    return result;
}

// Which bytes of the image the file gave: a byte the file sets loads the same whatever the image
// held before, one it leaves out keeps the fill. So the file is read a second time, without a
// log, into an image filled with 0x00 instead of 0xFF, and the two are compared.
std::vector<std::uint8_t> CoveredBytes(Session& session, MemoryKind kind, const std::string& file)
{
    Log quiet;
    auto scratch = std::make_unique<Chip>(session.chip);
    const std::span<std::uint8_t> probe = ChipMemory(*scratch, kind);
    std::fill(probe.begin(), probe.end(), 0x00);
    const Workspace ws{quiet, *scratch, nullptr};
    LoadMemoryFile(ws, file, kind);
    const std::span<const std::uint8_t> loaded = ChipMemory(session.chip, kind);
    std::vector<std::uint8_t> covered(loaded.size());
    for (std::size_t i = 0; i < covered.size(); ++i) covered[i] = loaded[i] == probe[i] ? 1 : 0;
    return covered;
}

// Loads the file to verify against; unless the whole memory is asked for, notes which bytes it
// gives, so that only those are compared.
Result LoadReference(Session& session, MemoryKind kind, const std::string& file, bool force, Output& output,
                     bool wholeMemory)
{
    auto& covered = kind == MemoryKind::Program ? session.coveredProgram : session.coveredData;
    covered.reset();
    Result loaded = Load(session, kind, file, force, output);
    if (loaded && !wholeMemory) covered = CoveredBytes(session, kind, file);
    return loaded;
}

Result Save(Session& session, MemoryKind kind, const std::string& file)
{
    return SaveMemoryFileAs(session, file, LoadFormatFor(file), kind);
}

std::vector<SlotReport> Slots(const LockFusesDialog& dialog, const Chip& chip)
{
    std::vector<SlotReport> slots;
    for (std::size_t g = 0; g < dialog.group.size(); ++g) {
        const FuseGroup& group = dialog.group[g];
        if (!group.visible) continue;
        SlotReport slot{group.caption, chip.lockFuse[g], {}, {}};
        for (int b = 7; b >= 0; --b) {
            const FuseBox& box = group.box[static_cast<std::size_t>(b)];
            if (box.visible && box.checked) slot.programmed.push_back(box.caption);
        }
        slots.push_back(std::move(slot));
    }
    return slots;
}

Result ReadFuses(Session& session, Output& output)
{
    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    Result result = ReadLockFuses(session, dialog);
    if (result) {
        std::vector<SlotReport> slots = Slots(dialog, session.chip);
        if (const ChipRow* row = FindChip(session.chip.signature))
            AddFieldWords(*row, std::span(session.chip.lockFuse).first(session.chip.lockFuseCount), slots);
        output.Fuses(slots);
    }
    return result;
}

Result WriteFuseBytes(Session& session, const std::string& text, const Confirm& confirm, Output& output)
{
    std::optional<std::vector<unsigned char>> bytes = ParseFuseBytes(text);
    if (!bytes || bytes->size() != session.chip.lockFuseCount) {
        output.Error("write-fuses: the " + session.chip.name + " takes " + std::to_string(session.chip.lockFuseCount) +
                     " bytes (fuses low first, lock last), not \"" + text + "\"");
        return Result::Failed(FailureKind::Input, "write-fuses: \"" + text + "\"");
    }
    if (!Ask(confirm, kFuseWriteQuestion)) return Result::Refused();
    // The dialog opens on what the record holds (read from the chip, or the factory bytes), so
    // the write is judged against that; the boxes then take the new bytes as a user would set
    // them: bits the chip does not name are always written as 1, so say when that changes what
    // was asked for.
    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    for (std::size_t g = 0; g < bytes->size(); ++g)
        for (std::size_t b = 0; b < 8; ++b) {
            FuseBox& box = dialog.group[g].box[b];
            box.checked = box.visible && ((*bytes)[g] & (1u << b)) == 0;
        }
    Result result = WriteLockFuses(session, dialog, confirm);
    if (result.ending == Ending::Refused) return result;
    for (std::size_t i = 0; i < bytes->size(); ++i)
        if (session.chip.lockFuse[i] != (*bytes)[i])
            output.Error("write-fuses: " + dialog.group[i].caption + " 0x" + ByteDigits((*bytes)[i]) +
                         " written as 0x" + ByteDigits(session.chip.lockFuse[i]) + " (unnamed bits stay 1)");
    return result;
}

// The second step runs only after the first succeeded: a file that did not load completely is
// never written to the chip nor taken as reference, and a failed read saves no file.
template <class Next>
Result Then(Result first, Next&& next)
{
    return first ? next() : first;
}

// Every difference between the chip and the file, where a verify stops at the first.
Result CompareWithFile(Session& session, MemoryKind kind, const std::string& file, bool force, Output& output,
                       bool wholeMemory)
{
    Result loaded = LoadReference(session, kind, file, force, output, wholeMemory);
    if (!loaded) return loaded;
    const auto& covered = kind == MemoryKind::Program ? session.coveredProgram : session.coveredData;
    Comparison comparison;
    return CompareMemory(session, kind, ChipMemory(session.chip, kind), comparison,
                         covered ? std::span<const std::uint8_t>(*covered) : std::span<const std::uint8_t>{});
}

// The fuse and lock bytes a compiled program carries, written only on this explicit request and
// with --yes. The chip's own bytes are read first, to judge what the file's would change; a byte
// the file lacks (often the lock) is not written at all: a read that went wrong on the line must
// never come back to the chip as a lock byte.
Result WriteFileFuses(Session& session, const std::string& file, const Confirm& confirm, Output& output)
{
    std::string contents;
    if (Failure status = ReadWholeFile(file, contents); status.Failed()) {
        output.Error("write-fuses: " + status.words);
        return Result::Failed(FailureKind::File, status.words);
    }
    const ElfLoad load = ReadElf({reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size()}, {}, {});
    if (!load.error.empty()) {
        output.Error("write-fuses: cannot load " + file + ": " + load.error);
        return Result::Failed(FailureKind::FileContent, "cannot load " + file + ": " + load.error);
    }
    if (!load.HasFuses()) {
        output.Error("write-fuses: " + file + " holds no fuse or lock bytes (no .fuse or .lock section)");
        return Result::Failed(FailureKind::FileContent, file + " holds no fuse or lock bytes");
    }
    const FileFuses bytes{load.fuses, load.lock};
    static constexpr Question kFuseQuestion{"Warning", "The chip's fuse and lock bytes will be written from the file. Are you sure?"};
    if (!Ask(confirm, kFuseQuestion)) return Result::Refused();

    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    if (Result read = ReadLockFuses(session, dialog); !read) return read;
    if (std::string refused = OfferFileFuses(dialog, session.chip, bytes); !refused.empty()) {
        output.Error("write-fuses: " + file + ": " + refused + "; nothing was written");
        return Result::Failed(FailureKind::FileContent, file + ": " + refused);
    }
    session.bus.log.LogMessage(LogText, "Fuse and lock bytes from " + file + ": " + FileFusesText(bytes));
    unsigned slots = 0;
    for (std::size_t g = 0; g < bytes.fuses.size(); ++g) slots |= 1u << g;
    if (bytes.lock) slots |= 1u << (session.chip.lockFuseCount - 1u);
    return WriteLockFuses(session, dialog, confirm, slots);
}

}  // namespace

Result RunCommand(Session& session, const Command& command, const Confirm& confirm, const Options& options,
                  Output& output)
{
    const bool force = options.force;
    const bool wholeMemory = options.wholeMemory;
    const std::string& file = command.argument;
    // The image still holds the file just written: the chip is compared with that, the same
    // bytes a verify of the file would compare.
    const auto Checked = [&](MemoryKind kind, Result written) {
        if (!written || !options.verifyWrites) return written;
        auto& covered = kind == MemoryKind::Program ? session.coveredProgram : session.coveredData;
        covered.reset();
        if (!wholeMemory) covered = CoveredBytes(session, kind, file);
        Result verified = kind == MemoryKind::Program ? VerifyProgram(session) : VerifyData(session);
        covered.reset();
        if (!verified && !verified.WasCancelled())
            output.Error(std::string(CommandWord(command.kind)) + ": the chip does not hold " + file +
                         " after writing it");
        return verified;
    };
    const auto Load = [&](Session& s, MemoryKind kind, const std::string& name) {
        return cli::Load(s, kind, name, force, output);
    };
    switch (command.kind) {
    case CommandKind::ReadProgram:
        return Then(ReadProgram(session), [&] { return Save(session, MemoryKind::Program, file); });
    case CommandKind::ReadData:
        return Then(ReadData(session), [&] { return Save(session, MemoryKind::Data, file); });
    case CommandKind::WriteProgram:
        return Then(Load(session, MemoryKind::Program, file),
                    [&] { return Checked(MemoryKind::Program, WriteProgram(session, confirm)); });
    case CommandKind::WriteData:
        return Then(Load(session, MemoryKind::Data, file),
                    [&] { return Checked(MemoryKind::Data, WriteData(session, confirm)); });
    case CommandKind::VerifyProgram:
        return Then(LoadReference(session, MemoryKind::Program, file, force, output, wholeMemory),
                    [&] { return VerifyProgram(session); });
    case CommandKind::VerifyData:
        return Then(LoadReference(session, MemoryKind::Data, file, force, output, wholeMemory),
                    [&] { return VerifyData(session); });
    case CommandKind::CompareProgram:
        return CompareWithFile(session, MemoryKind::Program, file, force, output, wholeMemory);
    case CommandKind::CompareData: return CompareWithFile(session, MemoryKind::Data, file, force, output, wholeMemory);
    case CommandKind::Erase: return ChipErase(session, confirm);
    case CommandKind::ReadCalibration: return ReadCalibration(session);
    case CommandKind::ReadFuses: return ReadFuses(session, output);
    case CommandKind::Rescue: return RescueChip(session, confirm);
    case CommandKind::WriteFuses:
        if (!command.settings.empty() || file.empty()) return WriteFuseSettings(session, command, options, confirm, output);
        return IsFuseFile(file) ? WriteFileFuses(session, file, confirm, output)
                                : WriteFuseBytes(session, file, confirm, output);
    }
    return Result::Failed(FailureKind::Input, "unknown command");
}

}  // namespace quillon::cli
