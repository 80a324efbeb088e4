// A transport that records what is written and answers from a script, for tests of the link, of
// steps and of commands whose answers do not need a simulated chip. The script is either an
// expectation list (each packet the test expects, in order, with the answer it gets, and the
// waits between them where the test hands the bus's sleeps to Slept) checked by Done(), which
// the test must call, or, for tests of the link itself, raw bytes to deliver whatever is written.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
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

    ScriptedWire() = default;
    ScriptedWire(const ScriptedWire&) = delete;
    ScriptedWire& operator=(const ScriptedWire&) = delete;
    // An expectation list nobody checked proves nothing: the test fails.
    ~ScriptedWire()
    {
        if (scripted && !checked)
            ADD_FAILURE() << "the expected packets were never checked: the test must end with EXPECT_TRUE(wire.Done())";
    }

    // The packet the program is to send next and what the gateway answers to it (nothing for a
    // command without an answer). Once any is given, every packet must be the next one expected.
    void Expect(std::vector<std::uint8_t> packet, std::vector<std::uint8_t> answer = {})
    {
        expected.push_back({std::move(packet), std::move(answer), kNoSleep});
        scripted = true;
        checked = false;
    }
    // A wait of the program between two packets, for tests whose bus sleeps through Slept: the
    // gaps a chip needs are as much part of the trace as the bytes.
    void ExpectSleep(int milliseconds)
    {
        expected.push_back({{}, {}, milliseconds});
        scripted = true;
        checked = false;
    }
    // Every expected packet was sent, in order, and nothing else: or the first that was not.
    ::testing::AssertionResult Done() const
    {
        checked = true;
        if (!mismatch.empty()) return ::testing::AssertionFailure() << mismatch;
        if (!expected.empty())
            return ::testing::AssertionFailure()
                   << expected.size() << " expected packet(s) never sent, the first " << Describe(expected.front())
                   << " after " << matched << " that were";
        return ::testing::AssertionSuccess();
    }

    // Takes a written packet against the expectation list: its answer, or none after a mismatch.
    void Check(const std::vector<std::uint8_t>& packet) { Meet({packet, {}, kNoSleep}); }
    // Takes a wait of the program against the expectation list (nothing without one).
    void Slept(int milliseconds) { Meet({{}, {}, milliseconds}); }

    static std::string Hex(const std::vector<std::uint8_t>& bytes)
    {
        std::string text;
        for (std::uint8_t b : bytes) {
            char digits[4];
            std::snprintf(digits, sizeof digits, "%02X", b);
            text += (text.empty() ? "" : " ") + std::string(digits);
        }
        return text;
    }

private:
    static constexpr int kNoSleep = -1;
    struct Expectation {
        std::vector<std::uint8_t> packet;
        std::vector<std::uint8_t> answer;
        int sleepMs = kNoSleep;  // a wait instead of a packet
    };

    static std::string Describe(const Expectation& e)
    {
        return e.sleepMs == kNoSleep ? "[" + Hex(e.packet) + "]" : "(sleep " + std::to_string(e.sleepMs) + " ms)";
    }

    void Meet(const Expectation& event)
    {
        if (!scripted || !mismatch.empty()) return;
        // Numbered in the expectation list, waits included.
        const std::string number = (event.sleepMs == kNoSleep ? "packet " : "step ") + std::to_string(matched + 1);
        if (expected.empty()) {
            mismatch = number + " " + Describe(event) + " sent after the last expected one";
            return;
        }
        const Expectation& next = expected.front();
        if (event.packet != next.packet || event.sleepMs != next.sleepMs) {
            mismatch = number + " was " + Describe(event) + ", expected " + Describe(next);
            return;
        }
        pending.insert(pending.end(), next.answer.begin(), next.answer.end());
        expected.pop_front();
        ++matched;
    }

    std::deque<Expectation> expected;
    bool scripted = false;
    mutable bool checked = false;  // Done() was asked since the last expectation
    int matched = 0;
    std::string mismatch;  // the first, in words
};

class ScriptedTransport final : public Transport {
public:
    explicit ScriptedTransport(std::shared_ptr<ScriptedWire> wire) : wire_(std::move(wire)) {}

    bool Write(std::span<const std::uint8_t> bytes) override
    {
        const int number = wire_->writes++;
        wire_->written.emplace_back(bytes.begin(), bytes.end());
        if (number == wire_->failWriteNumber) return false;
        wire_->Check(wire_->written.back());
        return true;
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
