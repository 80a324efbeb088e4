// Reads and verifies with answers in flight against tavro-sim on a pseudo-terminal, through the
// real serial path, with each of the gateway's faults: they end with the log lines of one read
// at a time, never succeed where one at a time fails, and keep no byte that belongs to another
// address.
#include <gtest/gtest.h>

#include <unistd.h>

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
using Lines = std::vector<std::string>;

// A chip whose bytes all differ from their neighbours, so a shifted byte shows.
Bytes Pattern(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8) + 1);
    return bytes;
}

// A raw binary file for tavro-sim's --flash or --eeprom, removed with the object. The name is
// this process's own: the cases run side by side in processes of their own.
struct TempFile {
    std::string path;
    explicit TempFile(const Bytes& bytes, const std::string& name)
        : path(::testing::TempDir() + "answers-in-flight-" + std::to_string(::getpid()) + "-" + name + ".bin")
    {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { std::remove(path.c_str()); }
};

struct Outcome {
    bool started = false;  // tavro-sim served a terminal
    WalkResult walk;
    Lines lines;
    Bytes image;
    bool open = false;
};

// One read (or verify against the chip's own bytes) of a memory through tavro-sim started with
// `faults`, `depth` answers in flight.
Outcome ReadThroughSim(const std::string& chipName, MemoryKind kind, bool verify, const std::vector<std::string>& faults,
            int depth)
{
    const ChipRow& row = *FindChipByName(chipName);
    Chip chip;
    FillChipRecord(chip, row);
    const std::size_t size = kind == MemoryKind::Program ? chip.flashSize : chip.eepromSize;
    const Bytes content = Pattern(size);
    const TempFile file(content, chipName + std::to_string(depth));
    std::vector<std::string> args{"--chip", chipName, kind == MemoryKind::Program ? "--flash" : "--eeprom", file.path};
    args.insert(args.end(), faults.begin(), faults.end());
    TavroSimProcess sim(args);
    Outcome out;
    if (sim.Path().empty()) return out;
    out.started = true;
    Bus bus;
    bus.delay = 0;
    bus.link.OpenPort(sim.Path());
    if (!bus.link.IsOpen()) {
        out.lines = bus.log.Lines();
        return out;
    }
    // What a failed read keeps: the bytes below where it stopped.
    Bytes image(size, 0x00);
    const ReadChoices choices{.answersInFlight = depth};
    if (verify) {
        out.walk = VerifyMemory(bus, row, TargetOf(chip), kind, content, {}, {}, choices);
    } else {
        out.walk = ReadMemory(bus, row, TargetOf(chip), kind, image, {}, choices);
        const std::size_t kept = out.walk.Done() ? size : std::min<std::size_t>(out.walk.failure.address.value_or(0), size);
        image.resize(kept);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), content.begin()))
            << chipName << ": a byte kept from the read is not the chip's";
    }
    if (out.walk.Done()) bus.link.ConfirmInStep();
    out.lines = bus.log.Lines();
    out.image = image;
    out.open = bus.link.IsOpen();
    return out;
}

struct FaultCase {
    const char* what;
    const char* chip;
    MemoryKind kind;
    bool verify;
    std::vector<std::string> faults;
    bool succeeds;
    // A gateway that hangs up is met by whichever comes first, the next packet or the next
    // answer: with reads ahead that is often the packet.
    bool eitherLinkLine = false;
};

// The lines as compared: stray bytes that keep coming are counted when the link meets them,
// which is later with answers in flight; and where either step may meet a hang-up, a failed
// send and a missing answer are the same ending. A stray byte in flight is met either by the
// answer it lands behind (that step then logs its missing answer) or, when the shifted bytes
// show as a difference first, by the check for quiet that a difference must pass; which one
// comes first depends on how the answers bunch up on the line, so the step's own line after the
// out-of-step line is not compared.
Lines Comparable(Lines lines, bool eitherLinkLine)
{
    Lines out;
    for (auto line : lines) {
        if (line.rfind("The gateway sent ", 0) == 0 && line.find(" more than asked") != std::string::npos)
            line = "The gateway sent bytes more than asked: the answers are out of step";
        if (eitherLinkLine && (line.rfind("Error executing commands", 0) == 0 || line.rfind("Error reading the answer", 0) == 0))
            line = "a step of the link failed";
        if (!out.empty() && out.back().ends_with("the answers are out of step") &&
            line.rfind("Error reading the answer", 0) == 0)
            continue;
        out.push_back(line);
    }
    return out;
}

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class AnswersInFlight : public ::testing::TestWithParam<FaultCase> {};

TEST_P(AnswersInFlight, EndAsOneReadAtATime)
{
    const FaultCase& c = GetParam();
    const Outcome one = ReadThroughSim(c.chip, c.kind, c.verify, c.faults, 1);
    const Outcome eight = ReadThroughSim(c.chip, c.kind, c.verify, c.faults, 8);
    ASSERT_TRUE(one.started && eight.started) << "tavro-sim did not start";
    EXPECT_EQ(one.walk.Done(), c.succeeds);
    EXPECT_EQ(eight.walk.Done(), c.succeeds) << "answers in flight ended otherwise than one at a time";
    EXPECT_EQ(Comparable(eight.lines, c.eitherLinkLine), Comparable(one.lines, c.eitherLinkLine));
    EXPECT_EQ(eight.open, one.open);
    if (c.succeeds) EXPECT_EQ(eight.image, one.image);
}

// The handshake is three commands; an ATtiny13 read is 3 commands a byte after the 7 of
// programming mode's entry, an AT90S2313 read of EEPROM 4 a byte after the entry's 7.
INSTANTIATE_TEST_SUITE_P(
    Faults, AnswersInFlight,
    ::testing::Values(
        FaultCase{"no fault, serial flash", "ATtiny13", MemoryKind::Program, false, {}, true},
        FaultCase{"no fault, parallel EEPROM verify", "AT90S2313", MemoryKind::Data, true, {}, true},
        FaultCase{"silent mid-read", "ATtiny13", MemoryKind::Program, false, {"--silent-after", "400"}, false},
        FaultCase{"silent mid-verify, parallel", "AT90S2313", MemoryKind::Data, true, {"--silent-after", "200"}, false},
        FaultCase{"hang-up mid-read", "ATtiny13", MemoryKind::Program, false, {"--hangup-after", "400"}, false, true},
        FaultCase{"short SPI answers", "ATtiny13", MemoryKind::Data, false, {"--short-spi", "2"}, true},
        FaultCase{"empty SPI answers", "ATtiny13", MemoryKind::Data, false, {"--short-spi", "0"}, false},
        FaultCase{"a stray byte mid-read", "ATtiny13", MemoryKind::Program, false, {"--stray", "55@100"}, false},
        FaultCase{"stray bytes after every answer", "ATtiny13", MemoryKind::Program, false, {"--stray-every", "55,AA@50"},
                  false},
        FaultCase{"a stray byte mid-verify, parallel", "AT90S2313", MemoryKind::Data, true, {"--stray", "55@60"}, false}));

}  // namespace
}  // namespace quillon::test
