// Answers damaged or split on the line, on the in-process simulated gateway: one that lost or
// gained a byte fails the command and never becomes data; one whose bytes all come within the
// answer bound is data however they are split. Every failure the gateway still hears ends with
// the socket switched off.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "chips/Catalogue.h"
#include "model/SimDevice.h"
#include "operations/ChipSelection.h"
#include "operations/Connection.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"
#include "operations/Session.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;

// A session on the in-process simulated gateway, the chip selected, the front ends' choices on,
// the chip's memories filled with a pattern that no misplaced byte would give.
struct Line {
    std::shared_ptr<sim::SimDevice> device;
    Session session;

    Line(const std::string& chip, sim::Faults faults)
        : device(std::make_shared<sim::SimDevice>(sim::MakeSocketChip(chip), sim::Faults{})),
          session([d = device](const std::string&) {
              return OpenedPort{std::make_unique<sim::SimTransport>(d), OpenFailure::None};
          })
    {
        for (std::size_t i = 0; i < device->Chip()->eeprom.size(); ++i)
            device->Chip()->eeprom[i] = static_cast<std::uint8_t>(0xC3 ^ (i * 37));
        for (std::size_t i = 0; i < device->Chip()->flash.size(); ++i)
            device->Chip()->flash[i] = static_cast<std::uint8_t>(0x5A ^ (i * 13));
        session.bus.sleep = [d = device](int ms) { d->Sleep(ms); };
        session.bus.delay = 0;
        session.bus.confirmAnswers = true;
        session.powerDownAfterCommand = true;
        EXPECT_TRUE(Connect(session, "sim:").Succeeded());
        SelectChip(session, FindChipByName(chip)->signature);
        // Answer numbers in the faults count from the command's first answer.
        const int before = device->AnswersSent();
        auto shift = [before](auto& fault) {
            if (fault) fault->answer += before;
        };
        shift(faults.lostByte);
        shift(faults.doubledByte);
        shift(faults.delayedAnswer);
        if (!faults.stray.empty()) faults.strayAfterAnswer += before;
        device->ActiveFaults() = faults;
    }
};

Result ReadFuses(Session& s)
{
    LockFusesDialog dialog = OpenLockFusesDialog(s.chip);
    return ReadLockFuses(s, dialog);
}

sim::Faults Lost(int answer, int index)
{
    sim::Faults f;
    f.lostByte = sim::Faults::AnswerByte{answer, index};
    return f;
}

sim::Faults Doubled(int answer, int index)
{
    sim::Faults f;
    f.doubledByte = sim::Faults::AnswerByte{answer, index};
    return f;
}

sim::Faults Delayed(int answer, int from, int ms)
{
    sim::Faults f;
    f.delayedAnswer = sim::Faults::AnswerDelay{answer, from, ms};
    return f;
}

sim::Faults ShortSpi(sim::Faults f = {})
{
    f.shortSpi = 2;
    return f;
}

sim::Faults Stray(int answer, sim::Faults f)
{
    f.stray = {0x00};
    f.strayAfterAnswer = answer;
    return f;
}

constexpr const char* kSwitchedOff = "The gateway was told to switch the socket off before the port closed";
constexpr const char* kIncomplete = "The gateway answered 7 of 8 bytes: an incomplete answer is not used";

struct FaultCase {
    const char* what;
    const char* chip;
    std::function<Result(Session&)> command;
    sim::Faults faults;
    const char* says;  // the line that explains the failure; null for a command that succeeds
    int inFlight = 1;
};

// The memory a read command fills, to hold against the chip's.
bool ImageHoldsTheChip(Line& line, const char* what)
{
    const sim::SocketChip& chip = *line.device->Chip();
    const Chip& image = line.session.chip;
    const std::string_view w = what;
    if (w.find("flash") != std::string_view::npos)
        return std::equal(chip.flash.begin(), chip.flash.end(), image.flash.begin());
    return std::equal(chip.eeprom.begin(), chip.eeprom.end(), image.eeprom.begin());
}

// Answer 1 of a command is its programming enable's (serial) or its first read's (parallel).
TEST(AnswerFaults, ADamagedAnswerFailsTheCommandAndAWholeOneIsDataHoweverItCame)
{
    const FaultCase cases[] = {
        // The data byte lost: the rest moves up, and the echo of I2 would be read as the data.
        {"EEPROM, data byte lost", "ATtiny85", ReadData, Lost(9, 0), kIncomplete},
        {"EEPROM, filler byte lost", "ATtiny13", ReadData, Lost(20, 6), kIncomplete},
        // In flight a missing byte is a gateway that fell behind: the read goes on one at a time.
        {"EEPROM, data byte lost, answers in flight", "ATtiny85", ReadData, Lost(9, 0), nullptr, 8},
        {"EEPROM, data byte lost and a stray byte behind it", "ATtiny85", ReadData, Stray(9, Lost(9, 0)),
         "The chip's answer does not echo the instruction (0xA0 where 0x00 went out): its bytes are not in their "
         "places"},
        {"EEPROM, byte doubled", "ATtiny85", ReadData, Doubled(5, 0),
         "The gateway sent 1 byte more than asked: the answers are out of step"},
        {"lock byte lost", "ATtiny13", ReadFuses, Lost(2, 0), kIncomplete},
        {"calibration byte lost", "ATtiny85", ReadCalibration, Lost(2, 0), kIncomplete},
        {"flash byte lost", "ATtiny13", ReadProgram, Lost(300, 0), kIncomplete},
        {"short gateway, byte lost", "ATtiny85", ReadData, ShortSpi(Lost(7, 1)),
         "The gateway answered 1 of 8 bytes: an incomplete answer is not used"},
        {"EEPROM, answer beyond the bound", "ATtiny85", ReadData, Delayed(6, 0, 1500),
         "Error reading the answer (SPI paket)"},
        {"parallel answer lost", "ATmega8", ReadData, Lost(40, 0), "Error reading the answer (PINB)"},
        {"parallel stray byte", "ATmega8", ReadData, Stray(40, {}),
         "The gateway sent 1 byte more than asked: the answers are out of step"},
        {"EEPROM, short gateway", "ATtiny85", ReadData, ShortSpi(), nullptr},
        {"EEPROM, answer 0.5 s late", "ATtiny85", ReadData, Delayed(6, 0, 500), nullptr},
        {"EEPROM, answer split by 30 ms", "ATtiny85", ReadData, Delayed(6, 2, 30), nullptr},
        {"EEPROM, answer split by 30 ms, answers in flight", "ATtiny85", ReadData, Delayed(6, 1, 30), nullptr, 8},
        {"EEPROM, first answer split by 30 ms", "ATtiny13", ReadData, Delayed(1, 1, 30), nullptr},
        {"EEPROM, first answer's tail 100 ms behind", "ATtiny13", ReadData, Delayed(1, 2, 100), nullptr},
        {"flash, answer split by 30 ms", "ATtiny13", ReadProgram, Delayed(100, 4, 30), nullptr},
    };
    for (const FaultCase& c : cases) {
        Line line(c.chip, c.faults);
        line.session.answersInFlight = c.inFlight;
        const Result result = c.command(line.session);
        const Lines lines = line.session.bus.log.Lines();
        const std::string all = ::testing::PrintToString(lines);
        if (c.says == nullptr) {
            EXPECT_TRUE(result.Succeeded()) << c.what << ": " << all;
            EXPECT_TRUE(ImageHoldsTheChip(line, c.what)) << c.what;
            EXPECT_TRUE(line.session.bus.link.IsOpen()) << c.what;
        } else {
            EXPECT_EQ(result.failure, FailureKind::Link) << c.what << ": " << all;
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.says), lines.end()) << c.what << ": " << all;
            EXPECT_EQ(std::count(lines.begin(), lines.end(), kSwitchedOff), 1) << c.what << ": " << all;
            EXPECT_FALSE(line.session.bus.link.IsOpen()) << c.what;
        }
        EXPECT_EQ(line.device->SocketPower(), "off") << c.what;
    }
}

// A port that is gone takes no power-down packet and the log claims none; off, a failure leaves
// the socket as it was and sends nothing more, as it always did.
TEST(AnswerFaults, OnlyAGoneOrAPoweredByChoicePortKeepsTheSocketAsItWas)
{
    {
        Line line("ATmega8", {});
        line.device->ActiveFaults().hangupAfter = line.device->PacketsWritten() + 40;
        EXPECT_FALSE(ReadData(line.session).Succeeded());
        const Lines lines = line.session.bus.log.Lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), kSwitchedOff), 0) << ::testing::PrintToString(lines);
        EXPECT_EQ(line.device->SocketPower(), "on: +5V +12V");
    }
    Line line("ATmega8", Lost(40, 0));
    line.session.bus.link.SetPowerDownOnFailure(false);
    line.device->Trace().Clear();
    EXPECT_FALSE(ReadData(line.session).Succeeded());
    const Lines lines = line.session.bus.log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Error reading the answer (PINB)"), lines.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kSwitchedOff), 0);
    EXPECT_EQ(line.device->SocketPower(), "on: +5V +12V");
    // Nothing went out after the read that got no answer.
    const sim::Bytes last = line.device->Trace().Packets().back();
    EXPECT_NE(std::find(last.begin(), last.end(), 0x17), last.end()) << ::testing::PrintToString(last);
}

}  // namespace
}  // namespace quillon
