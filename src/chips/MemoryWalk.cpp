#include "chips/MemoryWalk.h"

#include <algorithm>
#include <array>

#include "gateway/Bus.h"
#include "log/Log.h"
#include "programming/Answering.h"
#include "programming/Parallel.h"

namespace quillon {

namespace {

using End = WalkResult::End;

// The progress bar moves once per this many bytes on reads and unpaged flash writes, and once
// per EEPROM page of 4 on EEPROM reads and writes.
constexpr std::uint32_t kFlashProgressBlock = 32;
constexpr std::uint32_t kEepromProgressBlock = 4;
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

// The bytes one call moves at `address`, never past the end of the image: a unit refuses fewer
// bytes than it needs rather than reading or writing beyond them.
template <class Byte>
std::span<Byte> At(std::span<Byte> image, std::uint32_t address, std::uint32_t width)
{
    return image.subspan(address, std::min<std::size_t>(width, image.size() - address));
}

WalkResult StoppedAt(std::uint32_t address) { return {End::Failed, address}; }
WalkResult Ended(End end) { return {end, std::nullopt}; }

// Stops a walk on the user's request: the socket goes unpowered, so a chip half written is not
// left in programming mode with its supply on.
WalkResult CancelledAt(Bus& bus, std::optional<std::uint32_t> address, std::int64_t written)
{
    // Leaving parallel programming mode cuts the supply; the same packet ends serial programming
    // too, as it hands the socket's supply lines back from the SPI unit.
    if (bus.link.IsOpen()) ExitProgMode(bus);
    return {End::Cancelled, address, written};
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
                        const WalkProgress& progress, std::span<const std::uint8_t> covered = {})
{
    const Driver& d = *entry.driver;
    const bool verify = !expected.empty();
    const Driver::Read read = ReadOperation(entry, kind);
    auto size = static_cast<std::uint32_t>(verify ? expected.size() : into.size());
    const std::uint32_t step = IsFlash(kind) ? entry.step : 1;
    const std::uint32_t block = IsFlash(kind) ? kFlashProgressBlock : kEepromProgressBlock;
    // Serial units send the whole address with every instruction; the parallel ones keep the
    // read command and the high address byte latched, so they walk up from 0 without gaps.
    const bool gapsAllowed = entry.family == Family::Serial;
    const bool partial = verify && !covered.empty();
    if (partial) {
        covered = covered.first(std::min(covered.size(), expected.size()));
        const auto last = std::find_if(covered.rbegin(), covered.rend(), [](std::uint8_t c) { return c != 0; });
        size = static_cast<std::uint32_t>(covered.rend() - last);
    }

    if (!Offers(bus, d.EnterProgMode) || !Offers(bus, read) || step == 0) return Ended(End::NotOffered);
    if (bus.cancel.Requested()) return CancelledAt(bus, std::nullopt, -1);
    if (!d.EnterProgMode(bus, target)) return Ended(End::Failed);
    WalkResult result;
    for (std::uint32_t address = 0; address < size; address += step) {
        const auto pos = static_cast<std::int32_t>(address);
        if (bus.cancel.Requested()) return CancelledAt(bus, address, -1);
        if (verify) {
            // The unit compares against a copy: what the caller expects stays untouched.
            std::array<std::uint8_t, 2> bytes{};
            const auto want = At(expected, address, step);
            const auto wanted = std::span(bytes).first(want.size());
            std::copy(want.begin(), want.end(), bytes.begin());
            const auto flags = partial ? At(covered, address, step) : std::span<const std::uint8_t>{};
            const auto compared = partial ? static_cast<std::uint32_t>(std::count_if(
                                                flags.begin(), flags.end(), [](std::uint8_t c) { return c != 0; }))
                                          : static_cast<std::uint32_t>(want.size());
            if (compared == want.size()) {
                if (!read(bus, target, pos, wanted, true)) return StoppedAt(address);
            } else if (compared > 0 || !gapsAllowed) {
                // Read what the chip holds and compare only the bytes the file gave.
                if (!read(bus, target, pos, wanted, false)) return StoppedAt(address);
                for (std::size_t i = 0; i < flags.size(); ++i)
                    if (flags[i] != 0 && wanted[i] != want[i]) return StoppedAt(address);
            }
            result.bytes += compared;
        } else if (!read(bus, target, pos, At(into, address, step), false)) {
            return StoppedAt(address);
        }
        const std::uint32_t next = address + step;
        if (next % block == 0) Report(progress, next, size);
    }
    return result;
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
    const std::uint32_t step = entry.step;
    const std::uint32_t page = entry.page;
    // Units without a page buffer program every word or byte themselves; the others load the
    // buffer and commit it page by page.
    const Driver::Write write = page == 0 ? (serial ? d.WriteFlashByte : d.WriteFlashWord)
                                          : (serial ? d.LoadFlashByte : d.WriteFlashWord);
    if (!Offers(bus, write) || step == 0 || (page != 0 && !Offers(bus, d.WriteFlashPage))) return Ended(End::NotOffered);

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
        const auto bytes = At(image, address, step);
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
    const bool paged = entry.eepromWrite == EepromWrite::Page4;
    const auto size = static_cast<std::uint32_t>(image.size());
    if (paged ? !Offers(bus, d.LoadEepromByte) || !Offers(bus, d.WriteEepromPage) : !Offers(bus, d.WriteEepromByte))
        return Ended(End::NotOffered);

    std::uint32_t written = 0;
    for (std::uint32_t address = 0; address < size; ++address) {
        const auto pos = static_cast<std::int32_t>(address);
        const auto byte = At(image, address, 1);
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
                      std::span<std::uint8_t> image, const WalkProgress& progress)
{
    return ReadOrVerify(bus, entry, target, kind, image, {}, progress);
}

WalkResult VerifyMemory(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                        std::span<const std::uint8_t> image, const WalkProgress& progress,
                        std::span<const std::uint8_t> covered)
{
    // An empty memory has nothing to compare; it verifies as a read of nothing would.
    if (image.empty()) return ReadOrVerify(bus, entry, target, kind, {}, {}, progress);
    return ReadOrVerify(bus, entry, target, kind, {}, image, progress, covered);
}

WalkResult WriteMemory(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                       std::span<const std::uint8_t> image, const WalkProgress& progress,
                       const WriteChoices& choices)
{
    const Driver& d = *entry.driver;
    if (bus.cancel.Requested()) return CancelledAt(bus, std::nullopt, -1);
    if (IsFlash(kind)) {
        if (WalkResult erased = EraseChip(bus, entry, target); !erased.Done()) return erased;
        if (bus.cancel.Requested()) return CancelledAt(bus, 0, 0);
        if (!d.EnterProgMode(bus, target)) return Ended(End::Failed);
        return WriteFlash(bus, entry, target, image, progress, choices);
    }
    if (!Offers(bus, d.EnterProgMode)) return Ended(End::NotOffered);
    if (!d.EnterProgMode(bus, target)) return Ended(End::Failed);
    return WriteEeprom(bus, entry, target, image, progress);
}

WalkResult EraseChip(Bus& bus, const ChipRow& entry, const Target& target)
{
    const Driver& d = *entry.driver;
    if (!Offers(bus, d.EnterProgMode) || !Offers(bus, d.EraseChip)) return Ended(End::NotOffered);
    if (!EraseSequence(bus, d, target) || !ConfirmGatewayAnswers(bus)) return Ended(End::Failed);
    return {};
}

}  // namespace quillon
