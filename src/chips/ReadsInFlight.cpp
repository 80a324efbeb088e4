#include "chips/ReadsInFlight.h"

#include <algorithm>
#include <array>
#include <deque>
#include <optional>

#include "chips/ReadPlan.h"
#include "chips/WalkEndings.h"
#include "gateway/Bus.h"

namespace quillon {

namespace {

class ReadsInFlight {
public:
    ReadsInFlight(Bus& bus, const Target& target, Driver::ReadRequest request, const AnswerShape& answer,
                  const ReadPlan& plan, const WalkProgress& progress, int depth)
        : bus_(bus), target_(target), request_(request), answer_(answer), plan_(plan), progress_(progress),
          depth_(static_cast<std::size_t>(std::clamp(depth, 1, kMaxAnswersInFlight)))
    {
    }

    InFlightEnd Walk()
    {
        WalkResult& result = result_;
        for (std::uint32_t address = 0; address < plan_.Size(); address += plan_.Step()) {
            if (bus_.cancel.Requested()) {
                if (!Drain()) return fellBehind_ && bus_.link.Resync() ? CancelledAt(bus_, 0, -1)
                                                                       : ReadFailedAt(bus_, plan_, address);
                return CancelledAt(bus_, address, -1);
            }
            if (!plan_.Reads(address)) {
                if (flight_.empty()) plan_.Progress(progress_, address);
                continue;
            }
            while (flight_.size() >= window_)
                if (!CollectOldest()) return Stopped();
            if (!request_(bus_, target_, static_cast<std::int32_t>(address))) {
                if (!bus_.link.IsOpen()) return ReadFailedAt(bus_, plan_, flight_.empty() ? address : flight_.front());
                // Refused before anything was sent: the reads before it still answer.
                if (!Drain()) return fellBehind_ ? Stopped() : InFlightEnd(ReadFailedAt(bus_, plan_, address));
                return StoppedAt(address);
            }
            flight_.push_back(address);
        }
        while (!flight_.empty())
            if (!CollectOldest()) return Stopped();
        return {result};
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
            auto answer = Collect();
            if (!answer) return false;
            whole = whole && answer->count == answer_.count;
            if (i < values.size()) values[i] = answer->data[0];
        }
        if (whole && window_ == 1) window_ = depth_;
        flight_.pop_front();
        if (!plan_.Take(address, std::span(values).first(width))) {
            differs_ = address;
            difference_ = plan_.DifferenceAt(address, std::span(values).first(width));
            return false;
        }
        if (plan_.Verify()) result_.bytes += plan_.Compared(address);
        plan_.Progress(progress_, address);
        return true;
    }

    // One answer. With reads in flight an answer that does not come whole means the gateway fell
    // behind (and may have lost bytes it was sent): that is noted for the caller, not failed.
    std::optional<Answer> Collect()
    {
        if (window_ == 1 || fellBehind_) return ReadStep(bus_, answer_);
        Answer answer = bus_.link.CollectOwed(answer_.count);
        if (answer.count == answer_.count) return answer;
        if (!bus_.link.IsOpen()) {
            // Bytes beyond those owed: logged and closed as any answer out of step.
            StepFailed(bus_, LogAnswerError, answer_.whatText);
            return std::nullopt;
        }
        fellBehind_ = true;
        return std::nullopt;
    }

    // A read's answers: one a byte it moves.
    std::size_t RequestWidth() const { return plan_.Step(); }

    // Takes the answers still owed so the port stays in step for the next command; false when
    // the gateway failed meanwhile (logged, port closed).
    bool Drain()
    {
        while (!flight_.empty()) {
            for (std::size_t i = 0; i < RequestWidth(); ++i)
                if (!Collect()) return false;
            flight_.pop_front();
        }
        return bus_.link.ConfirmInStep();
    }

    // After a collect failed: a difference the port stays open for, answers that went missing,
    // or a failure of the link.
    InFlightEnd Stopped()
    {
        if (differs_ && !fellBehind_) {
            const std::uint32_t at = *differs_;
            // The difference counts only if the answers behind it were in step.
            if (Drain()) return {DiffersAt(at, difference_)};
            if (!fellBehind_) return {ReadFailedAt(bus_, plan_, at)};
        }
        if (fellBehind_) {
            // Nothing read since the line was last known in step counts: a byte the gateway lost
            // shifts every answer after it, and only the last one shows it.
            flight_.clear();
            if (bus_.link.Resync()) return {WalkResult{}, true};
            if (!bus_.link.IsOpen()) return {ReadFailedAt(bus_, plan_, 0)};
            // The gateway does not answer at all: the read fails as one at a time would.
            StepFailed(bus_, LogAnswerError, answer_.whatText);
            return {ReadFailedAt(bus_, plan_, 0)};
        }
        return {ReadFailedAt(bus_, plan_, flight_.empty() ? plan_.Size() : flight_.front())};
    }

    Bus& bus_;
    const Target& target_;
    Driver::ReadRequest request_;
    AnswerShape answer_;
    const ReadPlan& plan_;
    const WalkProgress& progress_;
    std::size_t depth_;
    std::size_t window_ = 1;
    std::deque<std::uint32_t> flight_;  // addresses whose answers are owed, oldest first
    std::optional<std::uint32_t> differs_;
    std::optional<ByteDifference> difference_;
    bool fellBehind_ = false;
    WalkResult result_;
};

}  // namespace

InFlightEnd ReadInFlight(Bus& bus, const Target& target, Driver::ReadRequest request, const AnswerShape& answer,
                         const ReadPlan& plan, const WalkProgress& progress, int depth)
{
    return ReadsInFlight(bus, target, request, answer, plan, progress, depth).Walk();
}

}  // namespace quillon
