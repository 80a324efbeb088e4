#include "operations/MemoryCommands.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "chips/ChipTable.h"
#include "chips/FuseRisks.h"
#include "chips/MemoryWalk.h"
#include "gateway/Step.h"
#include "operations/ChipInSocket.h"
#include "operations/CommandFrame.h"
#include "operations/Session.h"

namespace quillon {

namespace {

constexpr std::string_view kWithFail = " with fail.";

constexpr std::string_view kChipUnchanged = "The chip is unchanged";

std::string WrittenText(MemoryKind memory, const WalkResult& walk, std::size_t size)
{
    if (walk.written < 0) return std::string(kChipUnchanged);
    const std::string of = std::to_string(walk.written) + " of " + std::to_string(size) + " bytes";
    if (memory == MemoryKind::Program)
        return walk.written == 0 ? "The chip is erased: 0 of " + std::to_string(size) + " flash bytes written"
                                 : "The flash is partly written: " + of;
    return "The EEPROM is partly written: " + of;
}

// How a walk that changed the chip failed, if it did: a unit without the operation, the walk's
// own failure, or a socket that could not be powered down after it.
std::optional<Result> ChangeFailed(Session& session, CommandFrame& frame, const WalkResult& walk)
{
    if (walk.failure == FailureKind::NotOffered) {
        session.bus.log.LogMessage(LogFinished, kWithFail);
        return frame.Fail(NotOffered(kWithFail));
    }
    const bool unpowered = frame.PowerDown();
    if (!walk.Done()) return frame.FailFinished(kWithFail, walk.failure);
    if (!unpowered) return frame.StepsFailed(kWithFail);
    return std::nullopt;
}

struct ReadJob {
    MemoryKind memory;
    bool verify;
    std::string_view trying;
    // What the bytes a verify compares are, when it compares only some: said after the count.
    std::string_view compared = "the ones the file gives";
};

Result ReadOrVerify(Session& session, const ReadJob& job)
{
    CommandFrame frame(session, job.trying);
    const ChipRow* entry = frame.Unit();
    if (entry == nullptr) return frame.Fail(frame.NoUnit());

    const std::span<std::uint8_t> image = ChipMemory(session.chip, job.memory);
    const Target target = TargetOf(session.chip);
    const auto& covered = job.memory == MemoryKind::Program ? session.coveredProgram : session.coveredData;
    const std::span<const std::uint8_t> compared = covered ? std::span<const std::uint8_t>(*covered) : std::span<const std::uint8_t>{};
    // A read goes into a copy first: one the user cancels leaves the image as it was, while one
    // that fails keeps what it read below the failing address, all a rescue of a damaged chip
    // may get (kept: docs/compatibility.md). A read whose answers came out of step, behind the
    // last one too, names no address and keeps nothing.
    std::vector<std::uint8_t> read;
    if (!job.verify) read.assign(image.begin(), image.end());
    const WalkResult walk =
        job.verify ? VerifyMemory(session.bus, *entry, target, job.memory, image, frame.WalkProgressBar(), compared,
                                  {.answersInFlight = session.answersInFlight, .unboundedInFlight = session.unboundedInFlight})
                   : ReadMemory(session.bus, *entry, target, job.memory, read, frame.WalkProgressBar(),
                                {.answersInFlight = session.answersInFlight, .unboundedInFlight = session.unboundedInFlight});
    // A complete read reaches the image only once it is known to be the chip's (see below).
    if (!job.verify && !walk.Cancelled() && !walk.Done())
        std::copy_n(read.begin(), std::min<std::size_t>(walk.failure.address.value_or(0), read.size()), image.begin());
    if (walk.Cancelled()) return frame.Cancel(std::string(kChipUnchanged));
    if (walk.failure == FailureKind::NotOffered) return frame.Fail(NotOffered());
    if (!walk.Done()) {
        frame.PowerDown();
        std::string text(kWithFail);
        if (job.verify && walk.failure.address) text += " Address: 0x" + AddressDigits(*walk.failure.address);
        return frame.FailFinished(text, walk.failure);
    }
    if (!frame.PowerDown()) return frame.StepsFailed(kWithFail);
    if (job.verify && covered) {
        // Scripts look for the usual line; the count says how much of the memory it speaks for.
        frame.Progress().Free();
        session.bus.log.LogMessage(LogFinished, ". No differences found.");
        session.bus.log.LogMessage(LogText, "Compared " + std::to_string(walk.bytes) + " bytes, " + std::string(job.compared) + ".");
        session.bus.log.LogEndTime();
        return Result::Ok();
    }
    if (job.verify) return frame.Succeed(". No differences found.");
    // A locked chip reads as erased. Whether it is one takes a look at its lock bits, which is
    // part of the checks on the chip: without them the read sends only its own bytes.
    std::optional<std::vector<std::string>> lockBits;
    if (session.checkChipInSocket && std::all_of(read.begin(), read.end(), [](std::uint8_t b) { return b == 0xFF; })) {
        lockBits = ReadProgrammedLockBits(session, *entry);
        // Without the lock bits nobody can tell an erased chip from a locked one or an empty
        // socket, so the bytes cannot be given out as the chip's.
        if (!lockBits) return frame.StepsFailed(kWithFail);
    }
    if (lockBits && lockBits->empty()) {
        // Nothing locked, yet nothing but 0xFF: an erased chip, or no chip at all. The latter is no
        // read of a chip, and its file would hold nothing the user asked for.
        if (Result answers = ConfirmChipAnswers(session, *entry); !answers) {
            session.bus.log.LogMessage(LogFinished, kWithFail);
            return frame.Fail(answers);
        }
    }
    if (lockBits && !lockBits->empty()) {
        // The memory could not be read at all: its 0xFF is no content, and no file may hold it.
        const std::string locked = "The chip is locked (" + JoinBitNames(*lockBits) +
                                   " programmed): it reads as 0xFF, and only Chip Erase unlocks it, "
                                   "erasing the flash and the EEPROM";
        session.bus.log.LogMessage(LogText, locked);
        return frame.FailFinished(kWithFail, {FailureKind::Chip, locked});
    }
    std::copy(read.begin(), read.end(), image.begin());
    return frame.Succeed("");
}

Result Write(Session& session, MemoryKind memory, const Confirm& confirm)
{
    const bool flash = memory == MemoryKind::Program;
    if (!Ask(confirm, flash ? kFlashLossQuestion : kEepromLossQuestion)) return Result::Refused();
    CommandFrame frame(session, flash ? " write the program" : " write the EEPROM");
    const ChipRow* entry = frame.Unit();
    if (entry == nullptr) return frame.Fail(frame.NoUnit());
    if (Result checked = CheckChipInSocket(session, *entry, confirm); !checked) return frame.Fail(checked);

    const std::span<const std::uint8_t> image = ChipMemory(session.chip, memory);
    const WalkResult walk = WriteMemory(session.bus, *entry, TargetOf(session.chip), memory, image,
                                        frame.WalkProgressBar(), {.skipBlankFlash = session.skipBlankPages});
    if (walk.Cancelled()) return frame.Cancel(WrittenText(memory, walk, image.size()));
    if (std::optional<Result> failed = ChangeFailed(session, frame, walk)) return *failed;
    return frame.Succeed("");
}

}  // namespace

Result ReadProgram(Session& session)
{
    return ReadOrVerify(session, {MemoryKind::Program, false, " read the program"});
}

Result ReadData(Session& session)
{
    return ReadOrVerify(session, {MemoryKind::Data, false, " read the EEPROM"});
}

Result VerifyProgram(Session& session)
{
    return ReadOrVerify(session, {MemoryKind::Program, true, " verify the program"});
}

Result VerifyData(Session& session)
{
    return ReadOrVerify(session, {MemoryKind::Data, true, " verify the EEPROM"});
}

namespace {

// After a write that succeeded, the chip is compared with what went to it. Of the flash that is
// the pages that hold data when blank pages were left out (the erase made the others blank),
// else the whole memory; of the EEPROM always the whole memory, as every byte was written.
Result VerifyWritten(Session& session, MemoryKind memory)
{
    const bool flash = memory == MemoryKind::Program;
    const std::span<const std::uint8_t> image = ChipMemory(session.chip, memory);
    auto& covered = flash ? session.coveredProgram : session.coveredData;
    const auto saved = std::move(covered);
    covered.reset();
    const ChipRow* entry = FindChip(session.chip.signature);
    std::string what = flash ? "the whole flash" : "the whole EEPROM";
    if (flash && session.skipBlankPages && entry != nullptr) {
        const std::size_t page = std::max<std::size_t>(entry->page != 0 ? entry->page : entry->FlashStep(), 1);
        std::vector<std::uint8_t> mask(image.size(), 0);
        std::size_t pages = 0;
        for (std::size_t start = 0; start < image.size(); start += page) {
            const std::size_t end = std::min(start + page, image.size());
            if (std::all_of(image.begin() + static_cast<std::ptrdiff_t>(start), image.begin() + static_cast<std::ptrdiff_t>(end),
                            [](std::uint8_t b) { return b == 0xFF; }))
                continue;
            std::fill(mask.begin() + static_cast<std::ptrdiff_t>(start), mask.begin() + static_cast<std::ptrdiff_t>(end), 1);
            ++pages;
        }
        covered = std::move(mask);
        what = std::to_string(pages) + (pages == 1 ? " flash page" : " flash pages") +
               " written, the blank ones left to the erase";
    }
    session.bus.log.LogMessage(LogText, "Verifying what was written: " + what);
    const Result verified =
        ReadOrVerify(session, {memory, true, flash ? " verify the program" : " verify the EEPROM",
                               "the ones of the pages written"});
    covered = saved;
    return verified;
}

}  // namespace

Result WriteProgram(Session& session, const Confirm& confirm)
{
    Result written = Write(session, MemoryKind::Program, confirm);
    if (!written || !session.verifyAfterWrite) return written;
    return VerifyWritten(session, MemoryKind::Program);
}

Result WriteData(Session& session, const Confirm& confirm)
{
    Result written = Write(session, MemoryKind::Data, confirm);
    if (!written || !session.verifyAfterWrite) return written;
    return VerifyWritten(session, MemoryKind::Data);
}

Result ChipErase(Session& session, const Confirm& confirm)
{
    if (!Ask(confirm, kFlashLossQuestion)) return Result::Refused();
    CommandFrame frame(session);
    const ChipRow* entry = frame.Unit();
    if (entry == nullptr) return frame.Fail(frame.NoUnit());
    if (Result checked = CheckChipInSocket(session, *entry, confirm); !checked) return frame.Fail(checked);
    const WalkResult walk = EraseChip(session.bus, *entry, TargetOf(session.chip));
    if (std::optional<Result> failed = ChangeFailed(session, frame, walk)) return *failed;
    return Result::Ok();
}

Result ReadCalibration(Session& session)
{
    CommandFrame frame(session);
    Log& log = session.bus.log;
    Chip& chip = session.chip;
    if (chip.signature == 0) {
        log.LogMessage(LogNoChip, "");
        return frame.Fail(Result::Failed(FailureKind::NoChip, LineOf(LogNoChip, "")));
    }
    const ChipRow* entry = FindChip(chip.signature);
    if (entry != nullptr && entry->driver != nullptr && entry->CalibrationUnit() == nullptr) {
        log.LogMessage(LogNotAvailable, "");
        return frame.Fail(NotOffered());
    }
    entry = frame.Unit();
    if (entry == nullptr) return frame.Fail(frame.NoUnit());
    // The unit that reads the calibration may be another than the chip's own.
    const Driver& unit = *entry->CalibrationUnit();
    if (unit.EnterProgMode == nullptr || unit.ReadCalibration == nullptr) {
        log.LogMessage(LogNotAvailable, "");
        return frame.Fail(NotOffered());
    }
    const Target target = TargetOf(chip);
    const std::size_t count = std::min<std::size_t>(chip.calibrationCount, chip.calibration.size());
    // Read into a copy: the record takes the bytes only from a read that a chip answered.
    auto read = chip.calibration;
    if (!unit.EnterProgMode(session.bus, target) ||
        !unit.ReadCalibration(session.bus, target, std::span(read).first(count))) {
        frame.PowerDown();
        return frame.StepsFailed(kWithFail);
    }
    if (!session.bus.link.ConfirmInStep() || !frame.PowerDown()) return frame.StepsFailed(kWithFail);
    // An empty socket gives 0xFF (or 0x00) for every byte: no calibration of any chip.
    if (session.checkChipInSocket && ReadsAsEmptySocket(std::span(read).first(count)))
        if (Result answers = ConfirmChipAnswers(session, *entry); !answers) {
            log.LogMessage(LogFinished, kWithFail);
            return frame.Fail(answers);
        }
    chip.calibration = read;
    frame.Progress().Free();
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += "calibration " + std::to_string(i) + " = 0x" + ByteDigits(chip.calibration[i]);
    log.LogMessage(LogText, text);
    return Result::Ok();
}

}  // namespace quillon
