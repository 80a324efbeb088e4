// Reads and verifies with the default answers in flight against tavro-sim on a pseudo-terminal
// whose gateway has a 32-byte input buffer: paced by the model of the gateway's input they lose
// nothing; a gateway slower than the model makes answers go missing and the read goes on one at
// a time; a silent gateway still fails within the answer bound.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "chips/MemoryWalk.h"
#include "gateway/Bus.h"
#include "support/TavroSimProcess.h"

namespace quillon::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kFellBehind = "The gateway fell behind with reads in flight; going on one at a time";

// A chip whose bytes all differ from their neighbours, so a shifted byte shows.
Bytes Pattern(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8) + 1);
    return bytes;
}

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "input-bound-" + std::to_string(::getpid()) + "-" + name;
}

struct Outcome {
    bool started = false;
    WalkResult read, verify;
    Bytes image;
    std::vector<std::string> lines;
    bool open = false;      // the port after the last walk
    long lost = -1;         // bytes the gateway's full input lost
    double seconds = 0;     // how long the walks took
};

struct SimRun {
    std::string chip;
    MemoryKind kind;
    std::vector<std::string> sim;  // tavro-sim's options besides the chip and its contents
    ReadChoices choices{.answersInFlight = kAutoAnswersInFlight};
    // The simulated gateway wakes late on a busy machine and then takes bytes written apart for
    // one burst; the tests that count lost bytes allow for that much.
    std::chrono::microseconds lag{4000};
    bool verify = true;
};

// Reads the memory, then verifies it against the chip's own bytes, on one connection.
Outcome ReadThroughSim(const SimRun& s)
{
    const ChipRow& row = *FindChipByName(s.chip);
    Chip chip;
    FillChipRecord(chip, row);
    const std::size_t size = s.kind == MemoryKind::Program ? chip.flashSize : chip.eepromSize;
    const Bytes content = Pattern(size);
    const std::string file = TempPath(s.chip + ".bin"), lostFile = TempPath(s.chip + ".lost");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    std::vector<std::string> args{"--chip", s.chip, s.kind == MemoryKind::Program ? "--flash" : "--eeprom", file,
                                  "--save-lost", lostFile};
    args.insert(args.end(), s.sim.begin(), s.sim.end());
    Outcome out;
    {
        TavroSimProcess sim(args);
        if (sim.Path().empty()) return out;
        out.started = true;
        Bus bus;
        bus.delay = 0;
        bus.link.SetInputLag(s.lag);
        bus.link.OpenPort(sim.Path());
        if (bus.link.IsOpen()) {
            const auto start = std::chrono::steady_clock::now();
            out.image.assign(size, 0x00);
            out.read = ReadMemory(bus, row, TargetOf(chip), s.kind, out.image, {}, s.choices);
            if (s.verify && bus.link.IsOpen())
                out.verify = VerifyMemory(bus, row, TargetOf(chip), s.kind, content, {}, {}, s.choices);
            out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            out.open = bus.link.IsOpen();
        }
        out.lines = bus.log.Lines();
        sim.Stop();
    }
    std::ifstream(lostFile) >> out.lost;
    std::remove(file.c_str());
    std::remove(lostFile.c_str());
    if (out.read.Done() && out.image != content) out.read.end = WalkResult::End::Failed;  // wrong bytes
    return out;
}

bool Logged(const Outcome& o, const std::string& line)
{
    return std::find(o.lines.begin(), o.lines.end(), line) != o.lines.end();
}

struct Family {
    const char* chip;
    MemoryKind kind;
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.chip; }

class InputBound : public ::testing::TestWithParam<std::tuple<Family, int>> {};

// One chip of each family: classic parallel, paged parallel, serial; small memories.
TEST_P(InputBound, DefaultReadsAndVerifiesLoseNothing)
{
    const auto [family, latencyUs] = GetParam();
    const Outcome o = ReadThroughSim({family.chip, family.kind,
                           {"--pace", "--input-buffer", "32", "--adapter-latency-us", std::to_string(latencyUs)}});
    ASSERT_TRUE(o.started) << "tavro-sim did not start";
    EXPECT_EQ(o.lost, 0) << "the gateway's input overflowed";
    EXPECT_TRUE(o.read.Done()) << "the read failed or kept a wrong byte";
    EXPECT_TRUE(o.verify.Done());
    EXPECT_FALSE(Logged(o, kFellBehind));
}

INSTANTIATE_TEST_SUITE_P(Families, InputBound,
                         ::testing::Combine(::testing::Values(Family{"AT90S2313", MemoryKind::Data},
                                                              Family{"ATmega8", MemoryKind::Data},
                                                              Family{"ATtiny13", MemoryKind::Program}),
                                            ::testing::Values(0, 1000, 16000)));

// A gateway slower than the model: its input overflows, answers go missing, and the read and
// the verify go on one at a time. Where they end otherwise it is a failure of the link, never a
// wrong byte kept nor a difference that was only a lost answer.
TEST(InputBoundFallBack, SlowerGatewayFallsBackToOneAtATime)
{
    for (const Family family : {Family{"ATtiny13", MemoryKind::Program}}) {
        SCOPED_TRACE(family.chip);
        const Outcome o = ReadThroughSim({family.chip, family.kind, {"--pace", "--input-buffer", "32", "--command-delay-us", "400"}});
        ASSERT_TRUE(o.started);
        EXPECT_GT(o.lost, 0) << "the gateway kept pace: nothing was tested";
        EXPECT_TRUE(Logged(o, kFellBehind));
        if (!o.read.Done() || !o.verify.Done()) {
            EXPECT_FALSE(o.open) << "a difference was reported where answers went missing";
        }
        EXPECT_TRUE(o.read.Done()) << "the read did not end with the chip's bytes";
    }
}

// A gateway that goes silent mid-read: the read fails after about the answer bound (1 s), plus
// the quiet pause and the probes of bringing the link back in step, not after endless retries.
TEST(InputBoundFallBack, SilentGatewayFailsWithinTheBound)
{
    SimRun s{"ATtiny13", MemoryKind::Program, {"--pace", "--silent-after", "400"}};
    s.verify = false;
    const Outcome o = ReadThroughSim(s);
    ASSERT_TRUE(o.started);
    EXPECT_FALSE(o.read.Done());
    EXPECT_FALSE(o.open);
    EXPECT_FALSE(Logged(o, kFellBehind)) << "a silent gateway is not one that fell behind";
    EXPECT_LT(o.seconds, 10.0);
}

// Past the bound, 16 reads in flight into an 8-byte input: the gateway loses bytes and reads
// the rest as other commands, which is what --unbounded-in-flight warns of.
TEST(InputBoundFallBack, UnboundedReadsOverflowASmallInput)
{
    SimRun s{"ATtiny13", MemoryKind::Program, {"--pace", "--input-buffer", "8"}};
    s.choices = {.answersInFlight = 16, .unboundedInFlight = true};
    s.verify = false;
    const Outcome o = ReadThroughSim(s);
    ASSERT_TRUE(o.started);
    EXPECT_GT(o.lost, 0);
}

}  // namespace
}  // namespace quillon::test
