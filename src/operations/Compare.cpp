#include "operations/Compare.h"

#include <algorithm>

#include "chips/ChipTable.h"
#include "chips/MemoryWalk.h"
#include "images/ProgressGuard.h"
#include "operations/CommandFrame.h"
#include "operations/Session.h"

namespace quillon {

namespace {

constexpr std::string_view kWithFail = " with fail.";

std::string Plural(std::size_t count, std::string_view one)
{
    return std::to_string(count) + " " + std::string(one) + (count == 1 ? "" : "s");
}

// Every ending closes the progress window before its last lines, as the reads do.
Result Ended(Session& session, ProgressGuard& progress, Result result)
{
    progress.Free();
    session.bus.log.LogEndTime();
    return result;
}

}  // namespace

std::vector<DifferingRange> DifferingRanges(std::span<const std::uint8_t> expected, std::span<const std::uint8_t> chip,
                                            std::span<const std::uint8_t> covered)
{
    std::vector<DifferingRange> ranges;
    std::size_t size = std::min(expected.size(), chip.size());
    if (!covered.empty()) size = std::min(size, covered.size());
    // Compared with memcmp in blocks first: a flash that mostly agrees is walked at memory speed.
    constexpr std::size_t kBlock = 64;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t n = std::min(kBlock, size - i);
        if (std::equal(expected.begin() + static_cast<std::ptrdiff_t>(i),
                       expected.begin() + static_cast<std::ptrdiff_t>(i + n), chip.begin() + static_cast<std::ptrdiff_t>(i))) {
            i += n;
            continue;
        }
        for (const std::size_t end = i + n; i < end; ++i) {
            if (expected[i] == chip[i] || (!covered.empty() && covered[i] == 0)) continue;
            const auto address = static_cast<std::uint32_t>(i);
            if (!ranges.empty() && ranges.back().last + 1 == address) ranges.back().last = address;
            else ranges.push_back({address, address});
        }
    }
    return ranges;
}

std::string RangeText(const DifferingRange& range)
{
    std::string text = "0x" + AddressDigits(range.first);
    if (range.last != range.first) text += "-0x" + AddressDigits(range.last);
    return text + " (" + Plural(range.Size(), "byte") + ")";
}

std::vector<std::string> RangeLines(std::span<const DifferingRange> ranges)
{
    std::vector<std::string> lines;
    const std::size_t listed = std::min(ranges.size(), kListedRanges);
    for (std::size_t i = 0; i < listed; ++i) lines.push_back("  " + RangeText(ranges[i]));
    if (ranges.size() > listed) lines.push_back("  and " + Plural(ranges.size() - listed, "more range"));
    return lines;
}

Result CompareMemory(Session& session, MemoryKind memory, std::span<const std::uint8_t> expected, Comparison& out,
                     std::span<const std::uint8_t> covered)
{
    out = {};
    const bool flash = memory == MemoryKind::Program;
    Log& log = session.bus.log;
    ProgressGuard progress(session.progress);
    session.bus.ForgetFailure();
    log.LogMessage(LogTrying, flash ? " compare the program" : " compare the EEPROM");
    log.LogStartTime();

    Result failure;
    const ChipRow* entry = LookUpUnit(session, failure);
    if (entry == nullptr) return Ended(session, progress, failure);

    // The chip is read into a buffer of its own: the images stay what the user loaded.
    std::vector<std::uint8_t> chip(ChipMemory(session.chip, memory).size(), 0xFF);
    const WalkResult walk = ReadMemory(session.bus, *entry, TargetOf(session.chip), memory, chip,
                                       [&progress](std::uint32_t done, std::uint32_t total) {
                                           progress.SetFraction(done, total);
                                       },
                                       {.answersInFlight = session.answersInFlight, .unboundedInFlight = session.unboundedInFlight});
    if (walk.end == WalkResult::End::Cancelled) {
        log.LogMessage(LogText, "Cancelled by the user");
        log.LogMessage(LogText, "The chip is unchanged");
        return Ended(session, progress, Result::Cancelled("The chip is unchanged"));
    }
    if (walk.end == WalkResult::End::NotOffered) return Ended(session, progress, NotOffered());
    if (!walk.Done()) {
        LeaveSocketUnpowered(session);
        Result failed = FinishedWithFailure(session, kWithFail);
        // A port closed without a failed step: answers that came out of step.
        if (failed.failure == FailureKind::Chip && !session.bus.link.IsOpen()) failed.failure = FailureKind::Link;
        return Ended(session, progress, failed);
    }
    if (!LeaveSocketUnpowered(session)) {
        Result unpowered = FinishedWithFailure(session, kWithFail);
        unpowered.failure = FailureKind::Link;
        return Ended(session, progress, unpowered);
    }

    out.ranges = DifferingRanges(expected, chip, covered);
    for (const DifferingRange& range : out.ranges) out.differing += range.Size();
    out.chip = std::move(chip);
    progress.Free();
    if (out.ranges.empty()) {
        log.LogMessage(LogFinished, ". No differences found.");
        std::size_t compared = std::min(expected.size(), out.chip.size());
        if (!covered.empty())
            compared = static_cast<std::size_t>(std::count_if(covered.begin(), covered.begin() + static_cast<std::ptrdiff_t>(std::min(compared, covered.size())),
                                                              [](std::uint8_t c) { return c != 0; }));
        log.LogMessage(LogText, "Compared " + Plural(compared, "byte") + ".");
        log.LogEndTime();
        return Result::Ok();
    }
    const std::string summary = ". " + Plural(out.differing, "byte") + (out.differing == 1 ? " differs" : " differ") +
                                " in " + Plural(out.ranges.size(), "range") + ":";
    log.LogMessage(LogFinished, summary);
    std::string words = LineOf(LogFinished, summary);
    for (const std::string& line : RangeLines(out.ranges)) {
        log.LogMessage(LogText, line);
        words += "\n" + line;
    }
    log.LogEndTime();
    return Result::Failed(FailureKind::Differs, words);
}

}  // namespace quillon
