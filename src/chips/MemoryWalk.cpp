#include "chips/MemoryWalk.h"

#include <algorithm>

#include "chips/ReadOneAtATime.h"
#include "chips/ReadPlan.h"
#include "chips/ReadsInFlight.h"
#include "chips/WalkEndings.h"
#include "gateway/Bus.h"
#include "log/Log.h"
#include "programming/Answering.h"

namespace quillon {

namespace {

// The EEPROM page of the units that load it 4 bytes at a time; every EEPROM write moves the
// progress bar once per 4 bytes.
constexpr std::uint32_t kEepromPage = 4;
// A write proves the gateway still answers after every flash page, and every this many bytes
// where there are no pages or smaller ones, so that a silent gateway costs at most that much.
constexpr std::uint32_t kAnswerSpan = 32;

// A unit that lacks an operation its family should have is a table fault; say so instead of
// calling through a null pointer.
template <class Operation>
bool Offers(Bus& bus, Operation operation)
{
    if (operation != nullptr) return true;
    bus.log.LogMessage(LogNotAvailable, "");
    return false;
}

void Report(const WalkProgress& progress, std::uint32_t done, std::uint32_t total)
{
    if (progress) progress(done, total);
}

WalkResult NotOffered()
{
    WalkResult walk{Ending::Failed};
    walk.failure = {FailureKind::NotOffered, std::string(LogPrefix(LogNotAvailable))};
    return walk;
}

bool IsFlash(MemoryKind kind) { return kind == MemoryKind::Program; }

Driver::Read ReadOperation(const ChipRow& entry, MemoryKind kind)
{
    const Driver& d = *entry.driver;
    if (!IsFlash(kind)) return d.ReadEepromByte;
    return entry.family == Family::Serial ? d.ReadFlashByte : d.ReadFlashWord;
}

WalkResult ReadOrVerify(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                        std::span<std::uint8_t> into, std::span<const std::uint8_t> expected,
                        const WalkProgress& progress, std::span<const std::uint8_t> covered,
                        const ReadChoices& choices)
{
    const Driver& d = *entry.driver;
    const Driver::Read read = ReadOperation(entry, kind);
    const Driver::ReadRequest request = IsFlash(kind) ? d.RequestFlashRead : d.RequestEepromRead;
    const ReadPlan plan(entry, kind, into, expected, covered);

    if (!Offers(bus, d.EnterProgMode) || !Offers(bus, read) || plan.Step() == 0) return NotOffered();
    if (bus.cancel.Requested()) return CancelledAt(bus, std::nullopt, -1);
    if (!d.EnterProgMode(bus, target)) return StoppedAt(std::nullopt);
    // Units that cannot send a read without collecting it are read one at a time whatever the
    // choice; so is everything at a window of one, exactly as the gateway was always driven.
    const int depth = choices.answersInFlight == kAutoAnswersInFlight ? kMaxAnswersInFlight : choices.answersInFlight;
    if (depth > 1 && request != nullptr) {
        const std::size_t bound = bus.link.InputBound();
        bus.link.SetInputBound(choices.unboundedInFlight ? 0 : GatewayBacklog::kInputBytes);
        const InFlightEnd end = ReadInFlight(bus, target, request, d.readAnswer, plan, progress, depth);
        bus.link.SetInputBound(bound);
        if (!end.fellBehind) return ReadEnded(bus, end.walk);
        bus.log.LogMessage(LogText, "The gateway fell behind with reads in flight; going on one at a time");
        // The gateway may have taken lost bytes for other commands: start programming afresh.
        if (!d.EnterProgMode(bus, target)) return StoppedAt(std::nullopt);
    }
    return ReadEnded(bus, ReadOneAtATime(bus, target, read, plan, progress));
}

bool EraseSequence(Bus& bus, const Driver& d, const Target& target)
{
    if (!d.EnterProgMode(bus, target) || !d.EraseChip(bus, target)) return false;
    if (d.WriteBlankFlashByte == nullptr) return true;
    return d.EnterProgMode(bus, target) && d.WriteBlankFlashByte(bus, target) && d.EraseChip(bus, target);
}

bool AllBlank(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

WalkResult WriteFlash(Bus& bus, const ChipRow& entry, const Target& target,
                      std::span<const std::uint8_t> image, const WalkProgress& progress,
                      const WriteChoices& choices)
{
    const Driver& d = *entry.driver;
    const bool serial = entry.family == Family::Serial;
    const auto size = static_cast<std::uint32_t>(image.size());
    const std::uint32_t step = entry.FlashStep();
    const std::uint32_t page = entry.page;
    // Units without a page buffer program every word or byte themselves; the others load the
    // buffer and commit it page by page.
    const Driver::Write write = page == 0 ? (serial ? d.WriteFlashByte : d.WriteFlashWord)
                                          : (serial ? d.LoadFlashByte : d.WriteFlashWord);
    if (!Offers(bus, write) || step == 0 || (page != 0 && !Offers(bus, d.WriteFlashPage))) return NotOffered();

    // What is skipped when blank: a page, or one word or byte on units without pages.
    const std::uint32_t unit = page == 0 ? step : page;
    constexpr std::uint32_t kHighByteSpan = 512;  // bytes of flash under one high address byte
    auto skippable = [&](std::uint32_t start, std::uint32_t end) {
        if (!choices.skipBlankFlash || !AllBlank(image.subspan(start, end - start))) return false;
        if (serial) return true;
        if (start == 0 || (page != 0 && end >= size)) return false;
        return page != 0 || start % kHighByteSpan != 0;
    };

    WalkResult result;
    std::uint32_t written = 0;  // what the chip holds programmed: committed or erased-blank pages
    std::uint32_t address = 0;
    while (address < size) {
        if (bus.cancel.Requested()) return CancelledAt(bus, address, written);
        if (address % unit == 0) {
            const std::uint32_t end = std::min(address + unit, size);
            if (skippable(address, end)) {
                if (page != 0 || end % kFlashProgressBlock == 0) Report(progress, end, size);
                // The erase already left these bytes as the image wants them.
                if (written == address) written = end;
                address = end;
                continue;
            }
        }
        const auto pos = static_cast<std::int32_t>(address);
        const auto bytes = BytesAt(image, address, step);
        if (!write(bus, target, pos, bytes)) return StoppedAt(address);
        result.bytes += static_cast<std::uint32_t>(bytes.size());
        const std::uint32_t next = address + step;
        address = next;
        if (page == 0) {
            if (next % kAnswerSpan == 0 && !ConfirmGatewayAnswers(bus)) return StoppedAt(static_cast<std::uint32_t>(pos));
            written = std::min(next, size);
            if (next % kFlashProgressBlock == 0) Report(progress, next, size);
            continue;
        }
        // A memory that ends inside a page still gets its last page programmed.
        if (next % page == 0 || next >= size) {
            if (!d.WriteFlashPage(bus, target, pos) || !ConfirmGatewayAnswers(bus))
                return StoppedAt(static_cast<std::uint32_t>(pos));
            written = std::min(next, size);
            Report(progress, next, size);
        }
    }
    if (!ConfirmGatewayAnswers(bus)) return StoppedAt(size);
    return result;
}

WalkResult WriteEeprom(Bus& bus, const ChipRow& entry, const Target& target,
                       std::span<const std::uint8_t> image, const WalkProgress& progress)
{
    const Driver& d = *entry.driver;
    const bool paged = entry.EepromWrites() == EepromWrite::Page4;
    const auto size = static_cast<std::uint32_t>(image.size());
    if (paged ? !Offers(bus, d.LoadEepromByte) || !Offers(bus, d.WriteEepromPage) : !Offers(bus, d.WriteEepromByte))
        return NotOffered();

    std::uint32_t written = 0;
    for (std::uint32_t address = 0; address < size; ++address) {
        const auto pos = static_cast<std::int32_t>(address);
        const auto byte = BytesAt(image, address, 1);
        const bool pageEnd = (address + 1) % kEepromPage == 0;
        if (bus.cancel.Requested()) return CancelledAt(bus, address, written);
        if (paged) {
            if (!d.LoadEepromByte(bus, target, pos, byte)) return StoppedAt(address);
            if (pageEnd || address + 1 == size) {
                if (!d.WriteEepromPage(bus, target, pos)) return StoppedAt(address);
                written = address + 1;
            }
        } else if (!d.WriteEepromByte(bus, target, pos, byte)) {
            return StoppedAt(address);
        } else if (entry.eepromPage == 0 || (address + 1) % entry.eepromPage == 0 || address + 1 == size) {
            // Units that gather an EEPROM page program it when its last byte arrives.
            written = address + 1;
        }
        if ((address + 1) % kAnswerSpan == 0 && !ConfirmGatewayAnswers(bus)) return StoppedAt(address);
        if (pageEnd) Report(progress, address + 1, size);
    }
    if (!ConfirmGatewayAnswers(bus)) return StoppedAt(size);
    return {};
}

}  // namespace

WalkResult ReadMemory(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                      std::span<std::uint8_t> image, const WalkProgress& progress, const ReadChoices& choices)
{
    return Judged(bus, ReadOrVerify(bus, entry, target, kind, image, {}, progress, {}, choices), false);
}

WalkResult VerifyMemory(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                        std::span<const std::uint8_t> image, const WalkProgress& progress,
                        std::span<const std::uint8_t> covered, const ReadChoices& choices)
{
    // An empty memory has nothing to compare; it verifies as a read of nothing would.
    if (image.empty()) return Judged(bus, ReadOrVerify(bus, entry, target, kind, {}, {}, progress, {}, choices), false);
    return Judged(bus, ReadOrVerify(bus, entry, target, kind, {}, image, progress, covered, choices), true);
}

namespace {

WalkResult Write(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                 std::span<const std::uint8_t> image, const WalkProgress& progress, const WriteChoices& choices)
{
    const Driver& d = *entry.driver;
    if (bus.cancel.Requested()) return CancelledAt(bus, std::nullopt, -1);
    if (IsFlash(kind)) {
        if (WalkResult erased = EraseChip(bus, entry, target); !erased.Done()) return erased;
        if (bus.cancel.Requested()) return CancelledAt(bus, 0, 0);
        if (!d.EnterProgMode(bus, target)) return StoppedAt(std::nullopt);
        return WriteFlash(bus, entry, target, image, progress, choices);
    }
    if (!Offers(bus, d.EnterProgMode)) return NotOffered();
    if (!d.EnterProgMode(bus, target)) return StoppedAt(std::nullopt);
    return WriteEeprom(bus, entry, target, image, progress);
}

}  // namespace

WalkResult WriteMemory(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                       std::span<const std::uint8_t> image, const WalkProgress& progress,
                       const WriteChoices& choices)
{
    return Judged(bus, Write(bus, entry, target, kind, image, progress, choices), false);
}

WalkResult EraseChip(Bus& bus, const ChipRow& entry, const Target& target)
{
    const Driver& d = *entry.driver;
    if (!Offers(bus, d.EnterProgMode) || !Offers(bus, d.EraseChip)) return NotOffered();
    if (!EraseSequence(bus, d, target) || !ConfirmGatewayAnswers(bus)) return Judged(bus, StoppedAt(std::nullopt), false);
    return {};
}

}  // namespace quillon
