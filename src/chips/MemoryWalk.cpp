#include "chips/MemoryWalk.h"

#include <algorithm>
#include <array>
#include <deque>

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

// What a read or verify does at each address: the bytes it reads there and which of them it
// compares with what the caller expects.
class ReadPlan {
public:
    ReadPlan(const ChipRow& entry, MemoryKind kind, std::span<std::uint8_t> into,
             std::span<const std::uint8_t> expected, std::span<const std::uint8_t> covered)
        : into_(into), expected_(expected), verify_(!expected.empty()),
          step_(IsFlash(kind) ? entry.step : 1), block_(IsFlash(kind) ? kFlashProgressBlock : kEepromProgressBlock),
          // Serial units send the whole address with every instruction; the parallel ones keep the
          // read command and the high address byte latched, so they walk up from 0 without gaps.
          gapsAllowed_(entry.family == Family::Serial), partial_(verify_ && !covered.empty())
    {
        size_ = static_cast<std::uint32_t>(verify_ ? expected.size() : into.size());
        if (partial_) {
            covered_ = covered.first(std::min(covered.size(), expected.size()));
            const auto last = std::find_if(covered_.rbegin(), covered_.rend(), [](std::uint8_t c) { return c != 0; });
            size_ = static_cast<std::uint32_t>(covered_.rend() - last);
        }
    }

    std::uint32_t Size() const { return size_; }
    std::uint32_t Step() const { return step_; }
    bool Verify() const { return verify_; }
    std::span<std::uint8_t> Into(std::uint32_t address) const { return At(into_, address, step_); }
    std::span<const std::uint8_t> Want(std::uint32_t address) const { return At(expected_, address, step_); }
    // Nonzero for each byte at `address` that is compared; empty when all of them are.
    std::span<const std::uint8_t> Flags(std::uint32_t address) const
    {
        return partial_ ? At(covered_, address, step_) : std::span<const std::uint8_t>{};
    }
    std::uint32_t Compared(std::uint32_t address) const
    {
        if (!partial_) return static_cast<std::uint32_t>(Want(address).size());
        const auto flags = Flags(address);
        return static_cast<std::uint32_t>(std::count_if(flags.begin(), flags.end(), [](std::uint8_t c) { return c != 0; }));
    }
    // A verify leaves out the addresses it compares nothing at, where the unit allows gaps.
    bool Reads(std::uint32_t address) const { return !verify_ || Compared(address) > 0 || !gapsAllowed_; }
    // Whether the chip's `values` at `address` are what the caller expects, or stores them.
    bool Take(std::uint32_t address, std::span<const std::uint8_t> values) const
    {
        if (!verify_) {
            const auto into = Into(address);
            std::copy_n(values.begin(), into.size(), into.begin());
            return true;
        }
        const auto want = Want(address);
        const auto flags = Flags(address);
        for (std::size_t i = 0; i < want.size(); ++i)
            if ((flags.empty() || flags[i] != 0) && values[i] != want[i]) return false;
        return true;
    }
    void Progress(const WalkProgress& progress, std::uint32_t address) const
    {
        const std::uint32_t next = address + step_;
        if (next % block_ == 0) Report(progress, next, size_);
    }

private:
    std::span<std::uint8_t> into_;
    std::span<const std::uint8_t> expected_;
    std::span<const std::uint8_t> covered_;
    bool verify_;
    std::uint32_t step_;
    std::uint32_t block_;
    bool gapsAllowed_;
    bool partial_;
    std::uint32_t size_ = 0;
};

// One read at a time: each address's packets, then its answer.
WalkResult ReadOneByOne(Bus& bus, const Target& target, Driver::Read read,
                        const ReadPlan& plan, const WalkProgress& progress)
{
    WalkResult result;
    for (std::uint32_t address = 0; address < plan.Size(); address += plan.Step()) {
        const auto pos = static_cast<std::int32_t>(address);
        if (bus.cancel.Requested()) return CancelledAt(bus, address, -1);
        if (plan.Verify()) {
            // The unit compares against a copy: what the caller expects stays untouched.
            std::array<std::uint8_t, 2> bytes{};
            const auto want = plan.Want(address);
            const auto wanted = std::span(bytes).first(want.size());
            std::copy(want.begin(), want.end(), bytes.begin());
            const std::uint32_t compared = plan.Compared(address);
            if (compared == want.size()) {
                if (!read(bus, target, pos, wanted, true)) return StoppedAt(address);
            } else if (plan.Reads(address)) {
                // Read what the chip holds and compare only the bytes the file gave.
                if (!read(bus, target, pos, wanted, false) || !plan.Take(address, wanted)) return StoppedAt(address);
            }
            result.bytes += compared;
        } else if (!read(bus, target, pos, plan.Into(address), false)) {
            return StoppedAt(address);
        }
        plan.Progress(progress, address);
    }
    return result;
}

// Answers in flight: up to `depth` reads have their packets on the way before the oldest one's
// answers are collected. The first read goes alone; only when its answers came back whole does
// the window open, so a gateway that answers short is read one at a time as always.
class ReadsInFlight {
public:
    ReadsInFlight(Bus& bus, const Target& target, Driver::ReadRequest request, const AnswerShape& answer,
                  const ReadPlan& plan, const WalkProgress& progress, int depth)
        : bus_(bus), target_(target), request_(request), answer_(answer), plan_(plan), progress_(progress),
          depth_(static_cast<std::size_t>(std::clamp(depth, 1, kMaxAnswersInFlight)))
    {
    }

    WalkResult Walk()
    {
        WalkResult result;
        for (std::uint32_t address = 0; address < plan_.Size(); address += plan_.Step()) {
            if (bus_.cancel.Requested()) {
                if (!Drain()) return Failed(address);
                return CancelledAt(bus_, address, -1);
            }
            const std::uint32_t compared = plan_.Compared(address);
            if (!plan_.Reads(address)) {
                if (flight_.empty()) plan_.Progress(progress_, address);
                continue;
            }
            while (flight_.size() >= window_)
                if (!CollectOldest()) return Stopped();
            if (!request_(bus_, target_, static_cast<std::int32_t>(address))) {
                if (!bus_.link.IsOpen()) return Failed(flight_.empty() ? address : flight_.front());
                // Refused before anything was sent: the reads before it still answer.
                if (!Drain()) return Failed(address);
                return StoppedAt(address);
            }
            flight_.push_back(address);
            if (plan_.Verify()) result.bytes += compared;
        }
        while (!flight_.empty())
            if (!CollectOldest()) return Stopped();
        // A byte behind the last answer means some answer was taken for another's: nothing read
        // in flight can be trusted then.
        if (!bus_.link.ConfirmInStep()) return {WalkResult::End::Failed, first_};
        return result;
    }

private:
    // Collects every answer of the oldest read in flight and stores or compares its bytes.
    bool CollectOldest()
    {
        const std::uint32_t address = flight_.front();
        std::array<std::uint8_t, 2> values{};
        bool whole = true;
        const std::size_t width = plan_.Verify() ? plan_.Want(address).size() : plan_.Into(address).size();
        for (std::size_t i = 0; i < RequestWidth(); ++i) {
            auto answer = ReadStep(bus_, answer_);
            if (!answer) return false;
            whole = whole && answer->count == answer_.count;
            if (i < values.size()) values[i] = answer->data[0];
        }
        if (!first_) first_ = address;
        if (whole && window_ == 1) window_ = depth_;
        flight_.pop_front();
        if (!plan_.Take(address, std::span(values).first(width))) {
            differs_ = address;
            return false;
        }
        plan_.Progress(progress_, address);
        return true;
    }

    // A read's answers: one a byte it moves.
    std::size_t RequestWidth() const { return plan_.Step(); }

    // Takes the answers still owed so the port stays in step for the next command; false when
    // the gateway failed meanwhile (logged, port closed).
    bool Drain()
    {
        while (!flight_.empty()) {
            for (std::size_t i = 0; i < RequestWidth(); ++i)
                if (!ReadStep(bus_, answer_)) return false;
            flight_.pop_front();
        }
        return bus_.link.ConfirmInStep();
    }

    // After a collect failed: a difference the port stays open for, or a failure of the link.
    WalkResult Stopped()
    {
        if (differs_) {
            const std::uint32_t at = *differs_;
            // The difference counts only if the answers behind it were in step.
            if (!Drain()) return Failed(at);
            return StoppedAt(at);
        }
        return Failed(flight_.empty() ? plan_.Size() : flight_.front());
    }

    // A failure of the link at the read of `address`. Once the answers were out of step, a read
    // keeps nothing it took in flight: any of them may hold another's bytes.
    WalkResult Failed(std::uint32_t address) const
    {
        if (bus_.link.LostStep() && !plan_.Verify()) return {WalkResult::End::Failed, first_.value_or(address)};
        return StoppedAt(address);
    }

    Bus& bus_;
    const Target& target_;
    Driver::ReadRequest request_;
    AnswerShape answer_;
    const ReadPlan& plan_;
    const WalkProgress& progress_;
    std::size_t depth_;
    std::size_t window_ = 1;
    std::deque<std::uint32_t> flight_;    // addresses whose answers are owed, oldest first
    std::optional<std::uint32_t> first_;  // the first address collected
    std::optional<std::uint32_t> differs_;
};

WalkResult ReadOrVerify(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                        std::span<std::uint8_t> into, std::span<const std::uint8_t> expected,
                        const WalkProgress& progress, std::span<const std::uint8_t> covered,
                        const ReadChoices& choices)
{
    const Driver& d = *entry.driver;
    const Driver::Read read = ReadOperation(entry, kind);
    const Driver::ReadRequest request = IsFlash(kind) ? d.RequestFlashRead : d.RequestEepromRead;
    const ReadPlan plan(entry, kind, into, expected, covered);

    if (!Offers(bus, d.EnterProgMode) || !Offers(bus, read) || plan.Step() == 0) return Ended(End::NotOffered);
    if (bus.cancel.Requested()) return CancelledAt(bus, std::nullopt, -1);
    if (!d.EnterProgMode(bus, target)) return Ended(End::Failed);
    if (choices.answersInFlight > 1 && request != nullptr)
        return ReadsInFlight(bus, target, request, d.readAnswer, plan, progress, choices.answersInFlight).Walk();
    return ReadOneByOne(bus, target, read, plan, progress);
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
                      std::span<std::uint8_t> image, const WalkProgress& progress, const ReadChoices& choices)
{
    return ReadOrVerify(bus, entry, target, kind, image, {}, progress, {}, choices);
}

WalkResult VerifyMemory(Bus& bus, const ChipRow& entry, const Target& target, MemoryKind kind,
                        std::span<const std::uint8_t> image, const WalkProgress& progress,
                        std::span<const std::uint8_t> covered, const ReadChoices& choices)
{
    // An empty memory has nothing to compare; it verifies as a read of nothing would.
    if (image.empty()) return ReadOrVerify(bus, entry, target, kind, {}, {}, progress, {}, choices);
    return ReadOrVerify(bus, entry, target, kind, {}, image, progress, covered, choices);
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
