#include "operations/Compare.h"

#include <algorithm>

#include "chips/ChipTable.h"
#include "chips/MemoryWalk.h"
#include "gateway/Step.h"
#include "operations/CommandFrame.h"
#include "operations/Session.h"

namespace quillon {

namespace {

constexpr std::string_view kWithFail = " with fail.";

std::string Plural(std::size_t count, std::string_view one)
{
    return std::to_string(count) + " " + std::string(one) + (count == 1 ? "" : "s");
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
    // Every ending closes the progress window before its last lines, as the reads do.
    CommandFrame frame(session, flash ? " compare the program" : " compare the EEPROM");
    const ChipRow* entry = frame.Unit();
    if (entry == nullptr) return frame.EndAfterWindow(frame.NoUnit());

    // The chip is read into a buffer of its own: the images stay what the user loaded.
    std::vector<std::uint8_t> chip(ChipMemory(session.chip, memory).size(), 0xFF);
    const WalkResult walk = ReadMemory(session.bus, *entry, TargetOf(session.chip), memory, chip,
                                       frame.WalkProgressBar(),
                                       {.answersInFlight = session.answersInFlight, .unboundedInFlight = session.unboundedInFlight});
    if (walk.Cancelled()) {
        log.LogMessage(LogText, "Cancelled by the user");
        log.LogMessage(LogText, "The chip is unchanged");
        return frame.EndAfterWindow(Result::Cancelled("The chip is unchanged"));
    }
    if (walk.failure == FailureKind::NotOffered) return frame.EndAfterWindow(NotOffered());
    if (!walk.Done()) {
        LeaveSocketUnpowered(session);
        return frame.EndAfterWindow(FinishedWithFailure(session, kWithFail, walk.failure));
    }
    if (!frame.PowerDown()) return frame.EndAfterWindow(FinishedWithFailure(session, kWithFail, StepsFailure(session.bus)));

    out.ranges = DifferingRanges(expected, chip, covered);
    for (const DifferingRange& range : out.ranges) out.differing += range.Size();
    out.chip = std::move(chip);
    frame.Progress().Free();
    if (out.ranges.empty()) {
        log.LogMessage(LogFinished, ". No differences found.");
        std::size_t compared = std::min(expected.size(), out.chip.size());
        if (!covered.empty())
            compared = static_cast<std::size_t>(std::count_if(covered.begin(), covered.begin() + static_cast<std::ptrdiff_t>(std::min(compared, covered.size())),
                                                              [](std::uint8_t c) { return c != 0; }));
        log.LogMessage(LogText, "Compared " + Plural(compared, "byte") + ".");
        return frame.EndAfterWindow(Result::Ok());
    }
    const std::string summary = ". " + Plural(out.differing, "byte") + (out.differing == 1 ? " differs" : " differ") +
                                " in " + Plural(out.ranges.size(), "range") + ":";
    log.LogMessage(LogFinished, summary);
    std::string words = LineOf(LogFinished, summary);
    for (const std::string& line : RangeLines(out.ranges)) {
        log.LogMessage(LogText, line);
        words += "\n" + line;
    }
    Failure differs(FailureKind::Differs, std::move(words));
    const std::uint32_t first = out.ranges.front().first;
    differs.address = first;
    differs.difference = ByteDifference{first, out.chip[first], expected[first]};
    return frame.EndAfterWindow(Result::Failed(std::move(differs)));
}

}  // namespace quillon
