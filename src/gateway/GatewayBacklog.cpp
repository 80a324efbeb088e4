#include "gateway/GatewayBacklog.h"

#include <algorithm>

namespace quillon {

void GatewayBacklog::Sent(std::size_t length, std::size_t answerBytes, Clock::time_point at)
{
    lineFree_ = std::max(at, lineFree_) + LineTime(length);
    // Packets are taken in the order they went out, and every later packet's bytes arrive behind
    // this one's: those surely taken by then never count again. Forgetting them keeps each look
    // at the backlog short, also when the program runs far ahead of the line's pace.
    while (!waiting_.empty() && waiting_.front().taken + kLag <= lineFree_) waiting_.pop_front();
    const Clock::time_point taken = std::max(gatewayFree_, lineFree_);
    const auto answering = LineTime(answerBytes);
    gatewayFree_ = taken + answering + answering / kAnswerSlack;
    waiting_.push_back({length, taken});
}

std::size_t GatewayBacklog::WaitingWith(std::size_t length, Clock::time_point at) const
{
    // From the packet's first byte on, every packet the gateway may not have taken yet is still
    // in its input.
    const Clock::time_point arriving = std::max(at, lineFree_);
    std::size_t bytes = length;
    for (const Waiting& w : waiting_)
        if (w.taken + kLag > arriving) bytes += w.length;
    return bytes;
}

GatewayBacklog::Clock::duration GatewayBacklog::WaitBefore(std::size_t length, std::size_t bound,
                                                           Clock::time_point now) const
{
    // The packets are taken in order, so those surely taken by a moment are the first ones: one
    // pass, waiting until each in turn has surely been taken, until the rest fit.
    std::size_t waiting = length;
    for (const Waiting& w : waiting_) waiting += w.length;
    Clock::time_point at = now;
    std::size_t i = 0;
    for (;;) {
        const Clock::time_point arriving = std::max(at, lineFree_);
        while (i < waiting_.size() && waiting_[i].taken + kLag <= arriving) waiting -= waiting_[i++].length;
        if (waiting <= bound || i == waiting_.size()) break;
        at = std::max(at, waiting_[i].taken + kLag);
    }
    return at - now;
}

void GatewayBacklog::Reset()
{
    waiting_.clear();
    lineFree_ = {};
    gatewayFree_ = {};
}

}  // namespace quillon
