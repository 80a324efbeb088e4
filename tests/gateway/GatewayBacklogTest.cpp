#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "gateway/GatewayBacklog.h"
#include "model/GatewayInput.h"

namespace quillon {
namespace {

using Clock = GatewayBacklog::Clock;
using Bytes = std::vector<std::uint8_t>;

// A long serial read paced by the backlog model alone, as the link paces it behind an adapter
// whose answers come much later, fed to the simulated gateway's 32-byte input in virtual time:
// each read loads an SPI instruction (5 bytes), exchanges it (1) and reads it back (1, answered
// with 8 bytes), so the gateway is busy sending answers and the line's pace is the gateway's.
struct Stream {
    double commandDelayMs = 0;  // a gateway this much slower per command than the line
    int lateEvery = 0;          // every so many reads, one packet arrives late
    double lateMs = 0;
};

std::uint64_t LostInLongSerialRead(const Stream& s)
{
    GatewayBacklog backlog;
    sim::GatewayInput input(GatewayBacklog::kInputBytes, 0.044, s.commandDelayMs);
    auto execute = [](const Bytes& command, double) {
        return sim::GatewayInput::Executed{command[0] == 0x45 ? 8u : 0u, 0};
    };
    const Clock::time_point start{};
    Clock::time_point now = start + std::chrono::seconds(1);
    auto ms = [&](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - start).count(); };
    const Bytes packets[] = {{0x44, 0x20, 0x01, 0x02, 0x00}, {0x46}, {0x45}};
    for (int read = 0; read < 8192; ++read) {
        for (const Bytes& packet : packets) {
            now += backlog.WaitBefore(packet.size(), GatewayBacklog::kInputBytes, now);
            backlog.Sent(packet.size(), packet[0] == 0x45 ? 8 : 0, now);
            const bool late = s.lateEvery > 0 && read % s.lateEvery == 0 && packet[0] == 0x44;
            input.Arrive(packet, ms(now) + (late ? s.lateMs : 0.0), execute);
        }
    }
    input.RunUntil(ms(now) + 1000, execute);
    return input.Lost();
}

TEST(GatewayBacklog, LongSerialReadsLoseNothingOnAGatewayThatFallsBehind)
{
    // A gateway paced at exactly its own speed never makes up a late packet: each of these ends
    // in lost bytes unless the model leaves it room to catch up.
    const struct {
        const char* what;
        Stream stream;
    } cases[] = {
        {"as fast as the line", {}},
        {"a hair slower than the line", {.commandDelayMs = 0.002}},
        {"a packet 0.9 ms late now and then", {.lateEvery = 100, .lateMs = 0.9}},
        {"both", {.commandDelayMs = 0.002, .lateEvery = 100, .lateMs = 0.9}},
    };
    for (const auto& c : cases) EXPECT_EQ(LostInLongSerialRead(c.stream), 0u) << c.what;
}

}  // namespace
}  // namespace quillon
