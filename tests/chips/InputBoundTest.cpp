// Reads and verifies with the default answers in flight against a gateway whose input holds 32
// bytes: paced by the model of the gateway's input they lose nothing; a gateway slower than the
// model makes answers go missing and the read goes on one at a time; a silent gateway still
// fails, after a bounded number of packets.
//
// Whether bytes are lost is judged on the in-process simulated gateway, whose clock is the one
// the link paces by: the outcome does not depend on how busy the machine is. The same reads
// through tavro-sim on a pseudo-terminal run on the wall clock, where a simulator that wakes late
// is a gateway slower than the model; they are judged by the bytes they end with.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "chips/MemoryWalk.h"
#include "gateway/Bus.h"
#include "support/SimHarness.h"
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

struct Outcome {
    bool started = false;
    WalkResult read, verify;
    Bytes image;
    std::vector<std::string> lines;
    bool open = false;           // the port after the last walk
    long lost = -1;              // bytes the gateway's full input lost
    int packetsAfterSilence = 0;  // packets the program sent to a gateway that had gone silent
};

struct ReadRun {
    std::string chip;
    MemoryKind kind;
    ReadChoices choices{.answersInFlight = kAutoAnswersInFlight};
    bool verify = true;
};

bool Logged(const Outcome& o, const std::string& line)
{
    return std::find(o.lines.begin(), o.lines.end(), line) != o.lines.end();
}

std::size_t MemorySize(const Chip& chip, MemoryKind kind)
{
    return kind == MemoryKind::Program ? chip.flashSize : chip.eepromSize;
}

// Reads the memory into a zeroed image, then verifies it against the chip's own bytes, on the
// bus's open connection.
void ReadAndVerify(Bus& bus, const ChipRow& row, const Chip& chip, const ReadRun& r, const Bytes& content, Outcome& out)
{
    out.image.assign(content.size(), 0x00);
    out.read = ReadMemory(bus, row, TargetOf(chip), r.kind, out.image, {}, r.choices);
    if (r.verify && bus.link.IsOpen())
        out.verify = VerifyMemory(bus, row, TargetOf(chip), r.kind, content, {}, {}, r.choices);
    out.open = bus.link.IsOpen();
    out.lines = bus.log.Lines();
    if (out.read.Done() && out.image != content) out.read.ending = Ending::Failed;  // wrong bytes
}

// On the in-process simulated gateway, paced line, on virtual time.
Outcome InProcess(const ReadRun& r, sim::Faults faults)
{
    const ChipRow& row = *FindChipByName(r.chip);
    Chip chip;
    FillChipRecord(chip, row);
    const Bytes content = Pattern(MemorySize(chip, r.kind));
    faults.pace = true;
    SimHarness harness(r.chip, faults);
    if (r.kind == MemoryKind::Program)
        harness.PreloadFlash(content);
    else
        harness.PreloadEeprom(content);
    Outcome out;
    if (!harness.Connect()) return out;
    out.started = true;
    harness.bus().delay = 0;
    ReadAndVerify(harness.bus(), row, chip, r, content, out);
    out.lost = static_cast<long>(harness.device().LostBytes());
    if (faults.silentAfter) out.packetsAfterSilence = harness.device().PacketsWritten() - *faults.silentAfter;
    return out;
}

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "input-bound-" + std::to_string(::getpid()) + "-" + name;
}

// Through tavro-sim on a pseudo-terminal.
Outcome ThroughTavroSim(const ReadRun& r, const std::vector<std::string>& simOptions)
{
    const ChipRow& row = *FindChipByName(r.chip);
    Chip chip;
    FillChipRecord(chip, row);
    const Bytes content = Pattern(MemorySize(chip, r.kind));
    const std::string file = TempPath(r.chip + ".bin"), lostFile = TempPath(r.chip + ".lost");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    std::vector<std::string> args{"--chip", r.chip, r.kind == MemoryKind::Program ? "--flash" : "--eeprom", file,
                                  "--save-lost", lostFile};
    args.insert(args.end(), simOptions.begin(), simOptions.end());
    Outcome out;
    {
        TavroSimProcess sim(args);
        if (!sim.Path().empty()) {
            out.started = true;
            Bus bus;
            bus.delay = 0;
            bus.link.OpenPort(sim.Path());
            if (bus.link.IsOpen()) ReadAndVerify(bus, row, chip, r, content, out);
            out.lines = bus.log.Lines();
            sim.Stop();
        }
    }
    std::ifstream(lostFile) >> out.lost;
    std::remove(file.c_str());
    std::remove(lostFile.c_str());
    return out;
}

// A paced gateway behind an adapter of that latency, with an input of that many bytes, taking
// `delayUs` longer over every command than the line.
sim::Faults Gateway(int latencyUs, int inputBuffer, int delayUs = 0)
{
    sim::Faults f;
    f.latencyUs = latencyUs;
    f.inputBuffer = inputBuffer;
    f.commandDelayUs = delayUs;
    return f;
}

struct Family {
    const char* chip;
    MemoryKind kind;
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.chip; }

// One chip of each family: classic parallel, paged parallel, serial; small memories.
const auto kFamilies = ::testing::Values(Family{"AT90S2313", MemoryKind::Data}, Family{"ATmega8", MemoryKind::Data},
                                         Family{"ATtiny13", MemoryKind::Program});

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Family, int>>& info)
{
    return std::string(std::get<0>(info.param).chip) + "_" + std::to_string(std::get<1>(info.param) / 1000) + "ms";
}

class InputBound : public ::testing::TestWithParam<std::tuple<Family, int>> {};

TEST_P(InputBound, DefaultReadsAndVerifiesLoseNothing)
{
    const auto [family, latencyUs] = GetParam();
    const Outcome o = InProcess({family.chip, family.kind}, Gateway(latencyUs, 32));
    ASSERT_TRUE(o.started);
    EXPECT_EQ(o.lost, 0) << "the gateway's input overflowed";
    EXPECT_TRUE(o.read.Done()) << "the read failed or kept a wrong byte";
    EXPECT_TRUE(o.verify.Done());
    EXPECT_FALSE(Logged(o, kFellBehind));
}

// The same on the wall clock, through the terminal and the simulator's own reading thread.
TEST_P(InputBound, DefaultReadsThroughTavroSimEndWithTheChipsBytes)
{
    const auto [family, latencyUs] = GetParam();
    const Outcome o = ThroughTavroSim({family.chip, family.kind},
                                      {"--pace", "--input-buffer", "32", "--adapter-latency-us", std::to_string(latencyUs)});
    ASSERT_TRUE(o.started) << "tavro-sim did not start";
    EXPECT_EQ(o.lost, 0) << "the gateway's input overflowed";
    EXPECT_TRUE(o.read.Done()) << "the read failed or kept a wrong byte";
    EXPECT_TRUE(o.verify.Done());
    EXPECT_FALSE(Logged(o, kFellBehind));
}

INSTANTIATE_TEST_SUITE_P(Families, InputBound, ::testing::Combine(kFamilies, ::testing::Values(0, 1000, 16000)),
                         CaseName);

// A gateway slower than the model: its input overflows, answers go missing, and the read and the
// verify go on one at a time, ending with the chip's bytes and no difference that was only a
// lost answer.
TEST(InputBoundFallBack, SlowerGatewayFallsBackToOneAtATime)
{
    for (const Family family : {Family{"AT90S2313", MemoryKind::Data}, Family{"ATtiny13", MemoryKind::Program}}) {
        SCOPED_TRACE(family.chip);
        const Outcome o = InProcess({family.chip, family.kind}, Gateway(0, 32, 400));
        ASSERT_TRUE(o.started);
        EXPECT_GT(o.lost, 0) << "the gateway kept pace: nothing was tested";
        EXPECT_TRUE(Logged(o, kFellBehind));
        EXPECT_TRUE(o.read.Done()) << "the read did not end with the chip's bytes";
        EXPECT_TRUE(o.verify.Done()) << "the verify reported a difference or failed";
        EXPECT_TRUE(o.open);
    }
}

// A gateway that goes silent mid-read: the read fails as one at a time would, after the reads
// already in flight and the probes that look for it, not after endless retries.
TEST(InputBoundFallBack, SilentGatewayFailsWithinTheBound)
{
    for (const int latencyUs : {0, 16000}) {
        SCOPED_TRACE(latencyUs);
        sim::Faults silent = Gateway(latencyUs, 32);
        silent.silentAfter = 100;
        const Outcome o = InProcess({"ATtiny13", MemoryKind::Program, {.answersInFlight = kAutoAnswersInFlight}, false},
                                    silent);
        ASSERT_TRUE(o.started);
        EXPECT_FALSE(o.read.Done());
        EXPECT_FALSE(o.open);
        EXPECT_FALSE(Logged(o, kFellBehind)) << "a silent gateway is not one that fell behind";
        // The reads in flight (a serial read is up to three packets), the probes, the power-down.
        EXPECT_LE(o.packetsAfterSilence, 3 * kMaxAnswersInFlight + 4);
    }
}

// Past the bound, 16 reads in flight into an 8-byte input: the gateway loses bytes and reads the
// rest as other commands, which is what --unbounded-in-flight warns of.
TEST(InputBoundFallBack, UnboundedReadsOverflowASmallInput)
{
    const ReadRun unbounded{"ATtiny13", MemoryKind::Program, {.answersInFlight = 16, .unboundedInFlight = true}, false};
    EXPECT_GT(InProcess(unbounded, Gateway(1000, 8)).lost, 0);
}

}  // namespace
}  // namespace quillon::test
