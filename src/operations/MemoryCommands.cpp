#include "operations/MemoryCommands.h"

#include <algorithm>
#include <string>

#include "chips/ChipTable.h"
#include "core/Context.h"
#include "images/ProgressGuard.h"
#include "images/Views.h"
#include "operations/CommandFrame.h"

namespace quillon {

namespace {

constexpr std::string_view kWithFail = " with fail.";

// The ending after a failure, no chip or an unknown chip: the End time line, then the window.
bool FailureEnding(Context& ctx, ProgressGuard& progress)
{
    ctx.log.LogEndTime();
    progress.Free();
    return false;
}

// The ending after a complete loop: the window goes first, then the result lines.
bool SuccessEnding(Context& ctx, ProgressGuard& progress, std::string_view finished)
{
    progress.Free();
    ctx.log.LogMessage(LogFinished, finished);
    ctx.log.LogEndTime();
    return true;
}

// A unit that lacks an operation its family should have is a table fault; say so instead of
// calling through a null pointer.
template <class Operation>
bool Offers(Context& ctx, Operation operation)
{
    if (operation != nullptr) return true;
    ctx.log.LogMessage(LogNotAvailable, "");
    return false;
}

// Enter, erase, and for the unit that needs it the second erase around a programmed blank byte.
bool EraseSequence(Context& ctx, const Driver& d)
{
    if (!Offers(ctx, d.EnterProgMode) || !Offers(ctx, d.EraseChip)) return false;
    if (!d.EnterProgMode(ctx) || !d.EraseChip(ctx)) return false;
    if (d.WriteBlankFlashByte == nullptr) return true;
    return d.EnterProgMode(ctx) && d.WriteBlankFlashByte(ctx) && d.EraseChip(ctx);
}

struct ReadJob {
    MemoryKind memory;
    bool verify;
    std::string_view trying;
};

bool ReadOrVerify(Context& ctx, const ReadJob& job)
{
    // A verify compares the chip with what the active view shows, edits included.
    if (job.verify) StoreActiveView(ctx, job.memory);
    ProgressGuard progress(ctx.progress);
    ctx.log.LogMessage(LogTrying, job.trying);
    ctx.log.LogStartTime();

    const ChipRow* entry = LookUpUnit(ctx);
    if (entry == nullptr) return FailureEnding(ctx, progress);
    const Driver& d = *entry->driver;

    const bool flash = job.memory == MemoryKind::Program;
    Driver::Read read = !flash                               ? d.ReadEepromByte
                        : entry->family == Family::Serial ? d.ReadFlashByte
                                                          : d.ReadFlashWord;
    const std::uint32_t size = flash ? ctx.chip.flashSize : ctx.chip.eepromSize;
    const std::uint32_t step = flash ? entry->step : 1;
    const std::uint32_t boundary = flash ? 32 : 4;

    if (!Offers(ctx, d.EnterProgMode) || !Offers(ctx, read) || step == 0)
        return FailureEnding(ctx, progress);
    if (!d.EnterProgMode(ctx)) {
        ctx.log.LogMessage(LogFinished, kWithFail);
        return FailureEnding(ctx, progress);
    }
    for (std::uint32_t address = 0; address < size; address += step) {
        if (!read(ctx, static_cast<std::int32_t>(address), job.verify)) {
            if (job.verify)
                ctx.log.LogMessage(LogFinished,
                                   std::string(kWithFail) + " Address: 0x" + AddressDigits(address));
            else
                ctx.log.LogMessage(LogFinished, kWithFail);
            return FailureEnding(ctx, progress);
        }
        const std::uint32_t next = address + step;
        if (next % boundary == 0) progress.SetFraction(next, size);
    }
    // A byte that came late behind the last answer means some answer was taken for another.
    if (!ctx.link.ConfirmInStep()) {
        ctx.log.LogMessage(LogFinished, kWithFail);
        return FailureEnding(ctx, progress);
    }
    if (job.verify) return SuccessEnding(ctx, progress, ". No differences found.");
    progress.Free();
    FillActiveView(ctx, job.memory);
    ctx.log.LogMessage(LogFinished, "");
    ctx.log.LogEndTime();
    return true;
}

bool WriteFlashLoop(Context& ctx, const ChipRow& entry, ProgressGuard& progress)
{
    const Driver& d = *entry.driver;
    const bool serial = entry.family == Family::Serial;
    const std::uint32_t size = ctx.chip.flashSize;
    const std::uint32_t step = entry.step;
    const std::uint32_t page = entry.page;
    Driver::Write write = page == 0 ? (serial ? d.WriteFlashByte : d.WriteFlashWord)
                                    : (serial ? d.LoadFlashByte : d.WriteFlashWord);
    if (!Offers(ctx, write) || step == 0 ||
        (page != 0 && !Offers(ctx, d.WriteFlashPage)))
        return false;

    for (std::uint32_t address = 0; address < size; address += step) {
        const auto pos = static_cast<std::int32_t>(address);
        if (!write(ctx, pos)) return false;
        const std::uint32_t next = address + step;
        if (page == 0) {
            if (next % 32 == 0) progress.SetFraction(next, size);
            continue;
        }
        // A memory that ends inside a page still gets its last page programmed.
        if (next % page == 0 || next >= size) {
            if (!d.WriteFlashPage(ctx, pos)) return false;
            progress.SetFraction(next, size);
        }
    }
    return true;
}

bool WriteEepromLoop(Context& ctx, const ChipRow& entry, ProgressGuard& progress)
{
    const Driver& d = *entry.driver;
    const bool paged = entry.eepromWrite == EepromWrite::Page4;
    const std::uint32_t size = ctx.chip.eepromSize;
    if (paged ? !Offers(ctx, d.LoadEepromByte) || !Offers(ctx, d.WriteEepromPage)
              : !Offers(ctx, d.WriteEepromByte))
        return false;

    for (std::uint32_t address = 0; address < size; ++address) {
        const auto pos = static_cast<std::int32_t>(address);
        const bool pageEnd = (address + 1) % 4 == 0;
        if (paged) {
            if (!d.LoadEepromByte(ctx, pos)) return false;
            if ((pageEnd || address + 1 == size) && !d.WriteEepromPage(ctx, pos)) return false;
        } else if (!d.WriteEepromByte(ctx, pos)) {
            return false;
        }
        if (pageEnd) progress.SetFraction(address + 1, size);
    }
    return true;
}

bool Write(Context& ctx, MemoryKind memory, const Confirm& confirm)
{
    const bool flash = memory == MemoryKind::Program;
    if (!Ask(confirm, flash ? kFlashLossQuestion : kEepromLossQuestion)) return false;
    StoreActiveView(ctx, memory);
    ProgressGuard progress(ctx.progress);
    ctx.log.LogMessage(LogTrying, flash ? " write the program" : " write the EEPROM");
    ctx.log.LogStartTime();

    const ChipRow* entry = LookUpUnit(ctx);
    if (entry == nullptr) return FailureEnding(ctx, progress);
    const Driver& d = *entry->driver;

    // The flash can only be programmed from erased cells; the EEPROM erases itself per byte.
    bool ok = flash ? EraseSequence(ctx, d) && d.EnterProgMode(ctx)
                    : Offers(ctx, d.EnterProgMode) && d.EnterProgMode(ctx);
    if (ok) ok = flash ? WriteFlashLoop(ctx, *entry, progress) : WriteEepromLoop(ctx, *entry, progress);
    if (!ok) {
        ctx.log.LogMessage(LogFinished, kWithFail);
        return FailureEnding(ctx, progress);
    }
    return SuccessEnding(ctx, progress, "");
}

}  // namespace

bool ReadProgram(Context& ctx)
{
    return ReadOrVerify(ctx, {MemoryKind::Program, false, " read the program"});
}

bool ReadData(Context& ctx)
{
    return ReadOrVerify(ctx, {MemoryKind::Data, false, " read the EEPROM"});
}

bool VerifyProgram(Context& ctx)
{
    return ReadOrVerify(ctx, {MemoryKind::Program, true, " verify the program"});
}

bool VerifyData(Context& ctx)
{
    return ReadOrVerify(ctx, {MemoryKind::Data, true, " verify the EEPROM"});
}

bool WriteProgram(Context& ctx, const Confirm& confirm)
{
    return Write(ctx, MemoryKind::Program, confirm);
}

bool WriteData(Context& ctx, const Confirm& confirm)
{
    return Write(ctx, MemoryKind::Data, confirm);
}

bool ChipErase(Context& ctx, const Confirm& confirm)
{
    if (!Ask(confirm, kFlashLossQuestion)) return false;
    ProgressGuard progress(ctx.progress);
    const ChipRow* entry = LookUpUnit(ctx);
    if (entry == nullptr) return false;
    if (!EraseSequence(ctx, *entry->driver)) {
        ctx.log.LogMessage(LogFinished, kWithFail);
        return false;
    }
    return true;
}

bool ReadCalibration(Context& ctx)
{
    ProgressGuard progress(ctx.progress);
    if (ctx.chip.signature == 0) {
        ctx.log.LogMessage(LogNoChip, "");
        return false;
    }
    const ChipRow* entry = FindChip(ctx.chip.signature);
    if (entry != nullptr && entry->driver != nullptr && entry->calibration == nullptr) {
        ctx.log.LogMessage(LogNotAvailable, "");
        return false;
    }
    entry = LookUpUnit(ctx);
    if (entry == nullptr) return false;
    // The unit that reads the calibration may be another than the chip's own.
    const Driver& unit = *entry->calibration;
    if (!Offers(ctx, unit.EnterProgMode) ||
        !Offers(ctx, unit.ReadCalibration))
        return false;
    if (!unit.EnterProgMode(ctx) || !unit.ReadCalibration(ctx) || !ctx.link.ConfirmInStep()) {
        ctx.log.LogMessage(LogFinished, kWithFail);
        return false;
    }
    progress.Free();
    std::string text;
    const std::size_t count = std::min<std::size_t>(ctx.chip.calibrationCount, ctx.chip.calibration.size());
    for (std::size_t i = 0; i < count; ++i)
        text += "calibration " + std::to_string(i) + " = 0x" + ByteDigits(ctx.chip.calibration[i]);
    ctx.log.LogMessage(LogText, text);
    return true;
}

}  // namespace quillon
