// A scripted stand-in for the gateway that records every packet and sleep of a driver and
// answers the reading commands from queues, for byte-exact traces without a simulated chip.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "UnitSocket.h"
#include "gateway/Transport.h"

namespace quillon::test {

struct FakeWire {
    struct Entry {
        std::vector<std::uint8_t> bytes;  // empty for a sleep
        int sleepMs = 0;
    };
    std::vector<Entry> entries;
    std::deque<std::uint8_t> bus;  // ReadPINB answers; 0xFF once empty
    std::deque<std::uint8_t> spi;  // answer byte 0 of SpiReadBack; 0xFF once empty
    bool ready = true;             // bit 0 of ReadPINC
    bool answers = true;           // false: every reading command stays unanswered
    bool echo = true;              // the SPI chip echoes I2 (false: out of step)
    int failWriteNumber = -1;      // counted from the first write after Attach
    int writes = 0;
    std::deque<std::uint8_t> pending;
    std::uint8_t lastI2 = 0;
};

class FakeTransport final : public Transport {
public:
    explicit FakeTransport(std::shared_ptr<FakeWire> wire) : wire_(std::move(wire)) {}

    bool Write(std::span<const std::uint8_t> bytes) override
    {
        FakeWire& w = *wire_;
        if (w.writes++ == w.failWriteNumber) return false;
        w.entries.push_back({{bytes.begin(), bytes.end()}, 0});
        for (std::size_t i = 0; i < bytes.size();) {
            const std::uint8_t c = bytes[i];
            std::size_t args = 0;
            switch (c) {
            case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x13: case 0x15: case 0x1D: args = 1; break;
            case 0x0A: args = 2; break;
            case 0x44: args = 4; w.lastI2 = i + 3 < bytes.size() ? bytes[i + 3] : 0; break;
            case 0x17: Answer(Next(w.bus)); break;
            case 0x18: Answer(w.ready ? 0x01 : 0x00); break;
            case 0x04: Answer(0x00); break;
            case 0x45:
                if (w.answers) {
                    w.pending.push_back(Next(w.spi));
                    w.pending.push_back(w.echo ? w.lastI2 : 0x00);  // I2 echoed while I3 goes out
                    for (int k = 0; k < 6; ++k) w.pending.push_back(0x00);
                }
                break;
            default: break;
            }
            i += 1 + args;
        }
        return true;
    }

    std::size_t Read(std::span<std::uint8_t> buffer, std::chrono::milliseconds) override
    {
        std::size_t n = 0;
        while (n < buffer.size() && !wire_->pending.empty()) {
            buffer[n++] = wire_->pending.front();
            wire_->pending.pop_front();
        }
        return n;
    }

private:
    static std::uint8_t Next(std::deque<std::uint8_t>& queue)
    {
        if (queue.empty()) return 0xFF;
        const std::uint8_t v = queue.front();
        queue.pop_front();
        return v;
    }
    void Answer(std::uint8_t v)
    {
        if (wire_->answers) wire_->pending.push_back(v);
    }

    std::shared_ptr<FakeWire> wire_;
};

// A socket talking to a fresh fake gateway, connected, with sleeps recorded instead of slept.
struct FakeBench {
    std::shared_ptr<FakeWire> wire = std::make_shared<FakeWire>();
    UnitSocket ctx{[w = wire](const std::string&) -> OpenedPort {
        return {std::make_unique<FakeTransport>(w), OpenFailure::None};
    }};

    FakeBench()
    {
        ctx.bus.sleep = [w = wire](int ms) { w->entries.push_back({{}, ms}); };
        ctx.bus.link.OpenPort("sim:fake");
        Clear();
    }
    void Clear()
    {
        wire->entries.clear();
        wire->pending.clear();
        wire->writes = 0;
        logStart = ctx.bus.log.Size();
    }
    // The log lines written since the last Clear.
    std::vector<std::string> Lines() const
    {
        auto all = ctx.bus.log.Lines();
        return {all.begin() + static_cast<std::ptrdiff_t>(logStart), all.end()};
    }
    std::size_t logStart = 0;
};

inline std::string Hex(const std::vector<std::uint8_t>& bytes, std::size_t from = 0, std::size_t to = ~std::size_t{0})
{
    std::string s;
    char b[4];
    for (std::size_t i = from; i < bytes.size() && i < to; ++i) {
        std::snprintf(b, sizeof b, "%02X", bytes[i]);
        if (!s.empty()) s += ' ';
        s += b;
    }
    return s;
}

// The trace in the words of the programming methods: a load step's three packets become
// "Cmd 02", "AddrL 10", "AddrH 01", "AddrE 01", "DataL 5A" or "DataH A5"; an SPI instruction
// and its exchange become "SPI AC 80 00 00" (in the order the chip receives it), its read-back
// "readback"; a ready poll is "rdy"; a sleep "sleep 9"; anything else its bytes.
inline std::vector<std::string> Decode(const FakeWire& wire)
{
    std::vector<std::string> out;
    const auto& e = wire.entries;
    auto is = [&](std::size_t i, std::initializer_list<int> pattern) {
        if (i >= e.size() || e[i].bytes.size() != pattern.size()) return false;
        std::size_t k = 0;
        for (int p : pattern) {
            if (p >= 0 && e[i].bytes[k] != p) return false;
            ++k;
        }
        return true;
    };
    for (std::size_t i = 0; i < e.size(); ++i) {
        if (e[i].bytes.empty()) {
            out.push_back("sleep " + std::to_string(e[i].sleepMs));
            continue;
        }
        if (is(i, {0x11, -1, 0x15, -1}) && is(i + 1, {0x0B, 0xFF, 0x0D, -1}) && is(i + 2, {0x1D, 0x02})) {
            const int pc = e[i].bytes[1], pd = e[i].bytes[3];
            const char* name = pc == 0x18 && pd == 0x14   ? "Cmd"
                               : pc == 0x08 && pd == 0x14 ? "AddrL"
                               : pc == 0x0A && pd == 0x14 ? "AddrH"
                               : pc == 0x08 && pd == 0x94 ? "AddrE"
                               : pc == 0x08 && pd == 0x54 ? "DataL"
                               : pc == 0x0A && pd == 0x54 ? "DataH"
                                                          : nullptr;
            if (name) {
                out.push_back(std::string(name) + " " + Hex(e[i + 1].bytes, 3));
                i += 2;
                continue;
            }
        }
        if (is(i, {0x44, -1, -1, -1, -1}) && is(i + 1, {0x46})) {
            const auto& b = e[i].bytes;
            out.push_back("SPI " + Hex({b[4], b[3], b[2], b[1]}));
            ++i;
            continue;
        }
        if (is(i, {0x45})) {
            out.push_back("readback");
            continue;
        }
        if (is(i, {0x18})) {
            out.push_back("rdy");
            continue;
        }
        out.push_back(Hex(e[i].bytes));
    }
    return out;
}

}  // namespace quillon::test
