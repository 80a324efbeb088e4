// A transport that records what is written and answers from a script, for tests of the link
// and of steps whose answers do not need a simulated chip.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "gateway/Transport.h"

namespace quillon::test {

struct ScriptedWire {
    std::vector<std::vector<std::uint8_t>> written;  // one entry per Write
    std::deque<std::uint8_t> pending;                // bytes the next reads deliver
    int failWriteNumber = -1;                        // the n-th write (0-based) fails
    // Whether `pending` counts as already received. Off, it is a script of answers yet to come,
    // so several answers can be set up at once.
    bool pendingIsQueued = false;
    int writes = 0;
    int reads = 0;
};

class ScriptedTransport final : public Transport {
public:
    explicit ScriptedTransport(std::shared_ptr<ScriptedWire> wire) : wire_(std::move(wire)) {}

    bool Write(std::span<const std::uint8_t> bytes) override
    {
        const int number = wire_->writes++;
        wire_->written.emplace_back(bytes.begin(), bytes.end());
        return number != wire_->failWriteNumber;
    }

    std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds) override
    {
        ++wire_->reads;
        std::size_t n = std::min(buffer.size(), wire_->pending.size());
        for (std::size_t i = 0; i < n; ++i) {
            buffer[i] = wire_->pending.front();
            wire_->pending.pop_front();
        }
        return n;
    }

    std::size_t Queued(std::chrono::microseconds) override
    {
        return wire_->pendingIsQueued ? wire_->pending.size() : 0;
    }
    void DiscardInput() override { wire_->pending.clear(); }

private:
    std::shared_ptr<ScriptedWire> wire_;
};

// An opener that hands out a scripted transport, or fails the way it is told to.
inline PortOpener ScriptedOpener(std::shared_ptr<ScriptedWire> wire,
                                 OpenFailure failure = OpenFailure::None, int systemError = 0)
{
    return [wire, failure, systemError](const std::string&) -> OpenedPort {
        if (failure != OpenFailure::None) return {nullptr, failure, systemError};
        return {std::make_unique<ScriptedTransport>(wire), OpenFailure::None};
    };
}

}  // namespace quillon::test
