// How a driver ends when the chip differs, the gateway fails or the chip stays busy: which of
// them log, which close the port, and what a verify leaves on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

#include "SimUnitSocket.h"
#include "support/PacketWords.h"

namespace quillon::test {
namespace {

using Trace = std::vector<std::string>;

// Into programming mode, as every command starts, so that the chip in the socket answers as
// silicon does from here on.
void Enter(SimUnitSocket& socket)
{
    EXPECT_TRUE(drive::Run(socket.driver().EnterProgMode, socket.unit));
}

struct VerifyCase {
    const char* chip;
    bool eeprom;
    std::int32_t pos;
    std::size_t differing;  // offset from pos of the byte the chip gives differently
    Trace expected;         // the packets and sleeps up to the difference
};

void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.chip << (c.eeprom ? " EEPROM" : " flash"); }

class VerifyDifference : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(VerifyDifference, StopsSilentlyWithThePortOpen)
{
    const auto& c = GetParam();
    SimUnitSocket socket(c.chip);
    UnitSocket& unit = socket.unit;
    std::span<std::uint8_t> image = c.eeprom ? std::span<std::uint8_t>(unit.chip.eeprom)
                                             : std::span<std::uint8_t>(unit.chip.flash);
    const Driver& d = socket.driver();
    auto read = [&](std::int32_t pos, bool verify) {
        if (c.eeprom) return drive::ReadEepromByte(d, unit, pos, verify);
        return d.ReadFlashWord ? drive::ReadFlashWord(d, unit, pos, verify) : drive::ReadFlashByte(d, unit, pos, verify);
    };
    // A read from the start of the memory, as the walk does, leaves the chip set up for the
    // addresses after it.
    Enter(socket);
    ASSERT_TRUE(read(0, false));
    socket.Mark();
    // The chip is blank and reads 0xFF everywhere; the image differs in one byte.
    std::fill(image.begin(), image.end(), 0xFF);
    image[static_cast<std::size_t>(c.pos) + c.differing] = 0x00;
    EXPECT_FALSE(read(c.pos, true));
    EXPECT_EQ(socket.Wire(), c.expected);
    EXPECT_TRUE(socket.Lines().empty());
    EXPECT_TRUE(unit.bus.link.IsOpen());
    EXPECT_EQ(image[static_cast<std::size_t>(c.pos) + c.differing], 0x00) << "a verify never stores";

    // The next address still reads and compares.
    EXPECT_TRUE(read(c.pos + (c.eeprom || !d.ReadFlashWord ? 1 : 2) + static_cast<std::int32_t>(c.differing), true));
}

// The wire the words of a trace stand for, in the form SimUnitSocket::Wire gives it.
Trace Spelled(std::initializer_list<const char*> words)
{
    Trace out;
    for (const char* word : words)
        for (const WireStep& step : Spell(word))
            out.push_back(step.sleepMs ? "sleep " + std::to_string(*step.sleepMs) : sim::Hex(step.packet));
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Chips, VerifyDifference,
    ::testing::Values(
        VerifyCase{"ATmega8", false, 2, 0, Spelled({"AddrL 01", "0B 00 15 10 17"})},
        VerifyCase{"ATmega8", false, 2, 1, Spelled({"AddrL 01", "0B 00 15 10 17", "11 0A 17 15 14"})},
        VerifyCase{"AT90S1200", false, 4, 0, Spelled({"AddrH 00", "AddrL 02", "0B 00 15 10 17"})},
        VerifyCase{"ATmega640", true, 9, 0, Spelled({"AddrH 00", "AddrL 09", "0B 00 15 10 17 15 14"})},
        // The read-back after the exchange; its answer is not part of the wire compared here.
        VerifyCase{"ATtiny85", false, 7, 0, Spelled({"SPI 28 00 03 00", "sleep 2", "45"})},
        VerifyCase{"ATtiny13", true, 5, 0, Spelled({"SPI A0 00 05 00", "sleep 2", "45"})}));

struct GatewayFailureCase {
    const char* chip;
    const char* what;
    std::function<bool(const Driver&, UnitSocket&)> call;
    int failWrite;          // -1: every write goes through
    bool silent;            // the gateway answers nothing
    std::string logLine;
};

void PrintTo(const GatewayFailureCase& c, std::ostream* os) { *os << c.chip << " " << c.what; }

class GatewayFailure : public ::testing::TestWithParam<GatewayFailureCase> {};

TEST_P(GatewayFailure, LogsTheStepAndClosesThePort)
{
    const auto& c = GetParam();
    SimUnitSocket socket(c.chip);
    if (c.failWrite >= 0) socket.HangUpAfter(c.failWrite);
    if (c.silent) socket.FallSilentAfter(0);
    EXPECT_FALSE(c.call(socket.driver(), socket.unit));
    ASSERT_FALSE(socket.Lines().empty());
    EXPECT_EQ(socket.Lines().back(), c.logLine);
    EXPECT_FALSE(socket.unit.bus.link.IsOpen());
}

const std::string kExec = "Error executing commands: ";
const std::string kAnswer = "Error reading the answer";

INSTANTIATE_TEST_SUITE_P(
    Chips, GatewayFailure,
    ::testing::Values(
        GatewayFailureCase{"ATmega8", "read flash", [](const Driver& d, UnitSocket& c) { return drive::ReadFlashWord(d, c, 2, false); },
                           3, false, kExec + " read flash word low byte"},
        GatewayFailureCase{"ATmega8", "read flash, no answer",
                           [](const Driver& d, UnitSocket& c) { return drive::ReadFlashWord(d, c, 2, false); }, -1, true,
                           kAnswer + " (PINB)"},
        GatewayFailureCase{"ATmega2560", "page", [](const Driver& d, UnitSocket& c) { return drive::WriteFlashPage(d, c, 254); }, 6,
                           false, kExec + " GiveWRNegPulse"},
        GatewayFailureCase{"ATtiny461", "page", [](const Driver& d, UnitSocket& c) { return drive::WriteFlashPage(d, c, 62); }, 3,
                           false, kExec + " set BS1=0, GiveWRNegPulse"},
        GatewayFailureCase{"ATmega8", "page, no ready answer",
                           [](const Driver& d, UnitSocket& c) { return drive::WriteFlashPage(d, c, 62); }, -1, true,
                           kAnswer + " (PINC)"},
        GatewayFailureCase{"ATmega603", "erase", [](const Driver& d, UnitSocket& c) { return drive::Run(d.EraseChip, c); }, 3, false,
                           kExec + " GiveWR100NegPulse"},
        GatewayFailureCase{"ATtiny2313", "fuse high", [](const Driver& d, UnitSocket& c) { return drive::Run(d.WriteFuseHigh, c); }, 7,
                           false, kExec + " 0x1D 0x03"},
        GatewayFailureCase{"AT90CAN64", "lock read", [](const Driver& d, UnitSocket& c) { return drive::Run(d.ReadLockBits, c); }, 3,
                           false, kExec + " read Lock-byte"},
        GatewayFailureCase{"AT90S4433", "first flash pulse",
                           [](const Driver& d, UnitSocket& c) { return drive::WriteFlashWord(d, c, 2); }, 6, false,
                           kExec + " 0x1D 0x03"},
        GatewayFailureCase{"ATtiny25", "read flash", [](const Driver& d, UnitSocket& c) { return drive::ReadFlashByte(d, c, 0x201, false); },
                           0, false, kExec + " 0x44 0x00 b a 0x2H"},
        GatewayFailureCase{"ATtiny13", "load flash", [](const Driver& d, UnitSocket& c) { return drive::LoadFlashByte(d, c, 0); },
                           0, false, kExec + " 0x44 Data b 0x00 0x4H"},
        GatewayFailureCase{"ATtiny85", "fuse low", [](const Driver& d, UnitSocket& c) { return drive::Run(d.WriteFuseLow, c); }, 0,
                           false, kExec + " 0x44 Fuse Low 0x00 0xA0 0xAC"},
        GatewayFailureCase{"ATtiny85", "exchange", [](const Driver& d, UnitSocket& c) { return drive::Run(d.WriteFuseLow, c); }, 1,
                           false, kExec + " 0x46"},
        GatewayFailureCase{"ATtiny26", "calibration, no answer",
                           [](const Driver& d, UnitSocket& c) { return drive::Run(d.ReadCalibration, c); }, -1, true,
                           kAnswer + " (SPI paket)"}));

TEST(BusyChip, WaitReadyGivingUpSaysTheChipStayedBusyAndKeepsThePort)
{
    const std::string busy = "The chip did not become ready after the programming pulse";
    SimUnitSocket socket("ATmega8");
    Enter(socket);
    socket.sim.faults().neverReady = true;
    socket.Mark();
    EXPECT_FALSE(drive::WriteFlashPage(socket.driver(), socket.unit, 62));
    const Trace wire = socket.Wire();
    EXPECT_EQ(std::count(wire.begin(), wire.end(), "18"), 50) << "ready polls";
    EXPECT_EQ(socket.Lines(), std::vector<std::string>{busy});
    EXPECT_TRUE(socket.unit.bus.link.IsOpen());

    socket.Mark();
    EXPECT_FALSE(drive::Run(socket.driver().WriteLockBits, socket.unit));
    EXPECT_EQ(socket.Lines(), (std::vector<std::string>{"Trying to write lock-bits", busy}));
    EXPECT_TRUE(socket.unit.bus.link.IsOpen());
}

TEST(FailedOneByteRead, KeepsTheSlotsItHadNotReachedYet)
{
    SimUnitSocket socket("ATtiny2313");
    socket.sim.chip().fuses[0] = 0x64;
    Enter(socket);
    socket.Mark();
    socket.unit.chip.lockFuse = {1, 2, 3, 4};
    socket.HangUpAfter(4);  // the fuse high read, after the command's three packets and the fuse low read
    EXPECT_FALSE(drive::Run(socket.driver().ReadFuseLockBits, socket.unit));
    EXPECT_EQ(socket.unit.chip.lockFuse[0], 0x64);
    EXPECT_EQ(socket.unit.chip.lockFuse[1], 2);
    EXPECT_EQ(socket.Lines().back(), kExec + " read Fuse High bits");
}

}  // namespace
}  // namespace quillon::test

namespace quillon::test {
namespace {

TEST(OutsideTheImages, PositionsAreRefusedWithoutTraffic)
{
    for (const char* chip : {"ATmega2560", "AT90S8515", "ATtiny85", "ATtiny12"}) {
        SimUnitSocket socket(chip);
        const Driver& d = socket.driver();
        UnitSocket& unit = socket.unit;
        for (std::int32_t pos : {-2, -1, static_cast<std::int32_t>(kFlashImageSize) - 1,
                                 static_cast<std::int32_t>(kFlashImageSize)}) {
            if (d.ReadFlashWord) {
                EXPECT_FALSE(drive::ReadFlashWord(d, unit, pos, false)) << chip << " " << pos;
                EXPECT_FALSE(drive::WriteFlashWord(d, unit, pos)) << chip << " " << pos;
            } else if (pos != static_cast<std::int32_t>(kFlashImageSize) - 1) {
                EXPECT_FALSE(drive::ReadFlashByte(d, unit, pos, true)) << chip << " " << pos;
                EXPECT_FALSE((d.LoadFlashByte ? drive::LoadFlashByte : drive::WriteFlashByte)(d, unit, pos)) << chip << " " << pos;
            }
        }
        for (std::int32_t pos : {-1, static_cast<std::int32_t>(kEepromImageSize)}) {
            EXPECT_FALSE(drive::ReadEepromByte(d, unit, pos, false)) << chip << " " << pos;
            EXPECT_FALSE((d.LoadEepromByte ? drive::LoadEepromByte : drive::WriteEepromByte)(d, unit, pos)) << chip << " " << pos;
        }
        EXPECT_TRUE(socket.Wire().empty()) << chip;
        EXPECT_TRUE(unit.bus.link.IsOpen());
    }
}

}  // namespace
}  // namespace quillon::test

namespace quillon::test {
namespace {

// Every packet of an operation failed in turn: the text each failure logs, in the order of the
// packets. A load step stands for its three packets ("Cmd", "AddrL", "AddrH", "AddrE", "DataL",
// "DataH"), "rdy" for the ready poll, "I <text>" for an SPI instruction (load, exchange) and
// "Q <text>" for a query (load, exchange, read-back); anything else is one packet's text.
struct StepTextsCase {
    const char* chip;
    const char* what;
    std::function<bool(const Driver&, UnitSocket&)> call;
    std::vector<std::string> steps;
    bool fromProgrammingMode = true;  // false: the call starts from a socket that is off
};

void PrintTo(const StepTextsCase& c, std::ostream* os) { *os << c.chip << " " << c.what; }

std::vector<std::string> ExpandSteps(const std::vector<std::string>& steps)
{
    const std::map<std::string, std::vector<std::string>> loads{
        {"Cmd", {" set XA1, XA0 = 10, BS1, BS2 = 00", " set Command", " GiveXtalPosPulse"}},
        {"AddrL", {" set XA1, XA0 = 00, BS1, BS2 = 00", " Load Address Low Byte", " 0x1D 0x02"}},
        {"AddrH", {" set XA1, XA0 = 00, BS1, BS2 = 10", " 0x0D a", " 0x1D 0x02"}},
        {"AddrE", {" set XA1, XA0 = 00, BS1, BS2 = 01", " 0x0D a", " 0x1D 0x02"}},
        {"DataL", {" set XA1, XA0 = 01, BS1, BS2 = 00", " Load Data Low Byte", " 0x1D 0x02"}},
        {"DataH", {" set XA1, XA0 = 01, BS1, BS2 = 10", " Load Data High Byte", " 0x1D 0x02"}},
        {"rdy", {" PINCRead"}},
    };
    std::vector<std::string> out;
    for (const std::string& s : steps) {
        if (auto it = loads.find(s); it != loads.end()) {
            out.insert(out.end(), it->second.begin(), it->second.end());
        } else if (s.starts_with("I ") || s.starts_with("Q ")) {
            out.push_back(s.substr(1));
            out.push_back(" 0x46");
            if (s[0] == 'Q') out.push_back(" 0x45");
        } else {
            out.push_back(s);
        }
    }
    return out;
}

class StepTexts : public ::testing::TestWithParam<StepTextsCase> {};

TEST_P(StepTexts, EveryPacketFailsWithItsOwnText)
{
    const auto& c = GetParam();
    const std::vector<std::string> expected = ExpandSteps(c.steps);
    // The socket as the call finds it in a command, with the packets counted from there. Every
    // transfer takes 20 ms, as through a slow adapter, longer than any programming time: the
    // chip is done by the time a ready poll reaches it, so each wait for ready is one poll.
    auto prepared = [&c] {
        auto socket = std::make_unique<SimUnitSocket>(c.chip);
        socket->sim.faults().latencyUs = 20000;
        if (c.fromProgrammingMode) Enter(*socket);
        socket->Mark();
        return socket;
    };
    {
        const auto socket = prepared();
        ASSERT_TRUE(c.call(socket->driver(), socket->unit)) << ::testing::PrintToString(socket->Lines());
        ASSERT_EQ(socket->PacketsSinceMark(), static_cast<int>(expected.size())) << "packets of a run without failure";
    }
    const std::string prefix = "Error executing commands: ";
    std::vector<std::string> logged;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const auto socket = prepared();
        socket->HangUpAfter(static_cast<int>(k));
        EXPECT_FALSE(c.call(socket->driver(), socket->unit)) << "write " << k;
        EXPECT_FALSE(socket->unit.bus.link.IsOpen()) << "write " << k;
        const auto lines = socket->Lines();
        logged.push_back(!lines.empty() && lines.back().starts_with(prefix) ? lines.back().substr(prefix.size())
                                                                            : "(no error line)");
    }
    EXPECT_EQ(logged, expected);
}

auto Run(drive::AnyOperation op) { return [op](const Driver& d, UnitSocket& c) { return drive::Run(d, op, c); }; }
auto At(bool (*op)(const Driver&, UnitSocket&, std::int32_t), std::int32_t pos)
{
    return [op, pos](const Driver& d, UnitSocket& c) { return op(d, c, pos); };
}
auto ReadAt(bool (*op)(const Driver&, UnitSocket&, std::int32_t, bool), std::int32_t pos)
{
    return [op, pos](const Driver& d, UnitSocket& c) { return op(d, c, pos, false); };
}
// One EEPROM page written from address 0, as the write command drives the parallel units.
auto EepromPageRun(std::int32_t bytes)
{
    return [bytes](const Driver& d, UnitSocket& c) {
        for (std::int32_t pos = 0; pos < bytes; ++pos)
            if (!drive::WriteEepromByte(d, c, pos)) return false;
        return true;
    };
}

const std::vector<std::string> kXtal6(6, " GiveXTALPosPulse");
std::vector<std::string> SteppedEntry()
{
    std::vector<std::string> s{" set DDRB=0, PORTB=0", " set DDRC=0x32, PORTC=0x0", " set DDRD=0xFC, PORTD=0x0",
                               " enable +5V"};
    s.insert(s.end(), kXtal6.begin(), kXtal6.end());
    s.insert(s.end(), {" enable +12V", " set WR=1, OE=1"});
    return s;
}
const std::vector<std::string> kHexEntry{" 0x0B 0x0 0x0D 0x0", " 0x0F 0x32 0x11 0x0", " 0x13 0xFC 0x15 0x0",
                                         " 0x1D 0x0", " 0x15 0x14(PD_WORK)"};

INSTANTIATE_TEST_SUITE_P(
    Classic, StepTexts,
    ::testing::Values(
        StepTextsCase{"AT90S1200", "entry", Run(&Driver::EnterProgMode),
                      {" set DDRB=0x0, PORTB=0x0", " set DDRC=0x32, PORTC=0x0", " set DDRD=0xFC, PORTD=0x0",
                       " EnterHVPPrgMode_AVR", " set WR=1, OE=1"},
                      false},
        StepTextsCase{"AT90S2313", "entry", Run(&Driver::EnterProgMode), kHexEntry, false},
        StepTextsCase{"AT90S1200", "erase", Run(&Driver::EraseChip), {"Cmd", " GiveWR100NegPulse"}},
        StepTextsCase{"AT90S1200", "read flash", ReadAt(drive::ReadFlashWord, 0),
                      {"Cmd", "AddrH", "AddrL", " read flash word low byte", " read flash word high byte"}},
        StepTextsCase{"AT90S8515", "write flash", At(drive::WriteFlashWord, 512),
                      {"AddrH", "AddrL", "DataL", " GiveWRNegPulse", "rdy", "DataH", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"AT90S8535", "write flash", At(drive::WriteFlashWord, 2),
                      {"AddrL", "DataL", " 0x1D 0x03", "rdy", "DataH", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"AT90S8515", "read EEPROM", ReadAt(drive::ReadEepromByte, 0x1FF),
                      {"AddrH", "AddrL", " read EEPROM byte"}},
        StepTextsCase{"AT90S8535", "write EEPROM", At(drive::WriteEepromByte, 0),
                      {"Cmd", "AddrH", "AddrL", "DataL", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"AT90S1200", "fuse and lock read", Run(&Driver::ReadFuseLockBits),
                      {"Cmd", " read Fuse & Lock byte"}},
        StepTextsCase{"AT90S4433", "fuse and lock read", Run(&Driver::ReadFuseLockBits),
                      {"Cmd", " read Fuse byte", " read Lock byte"}},
        StepTextsCase{"AT90S1200", "fuse write", Run(&Driver::WriteFuseLow), {"Cmd", "DataL", " GiveWR15NegPulse"}},
        StepTextsCase{"AT90S2313", "lock write", Run(&Driver::WriteLockBits),
                      {"Cmd", "DataL", " GiveWRNegPulse", "rdy"}}));

INSTANTIATE_TEST_SUITE_P(
    Paged, StepTexts,
    ::testing::Values(
        StepTextsCase{"ATmega8", "stepped entry", Run(&Driver::EnterProgMode), SteppedEntry(), false},
        StepTextsCase{"ATmega48", "built-in entry", Run(&Driver::EnterProgMode),
                      {" set DDRB=0, PORTB=0", " set DDRC=0x32, PORTC=0x0", " set DDRD=0xFC, PORTD=0x0",
                       " EnterHVPProgMode_AVR", " set WR=1, OE=1"},
                      false},
        StepTextsCase{"AT90CAN32", "entry", Run(&Driver::EnterProgMode), kHexEntry, false},
        StepTextsCase{"ATmega8", "erase", Run(&Driver::EraseChip), {"Cmd", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATmega2560", "read flash", ReadAt(drive::ReadFlashWord, 0),
                      {"Cmd", "AddrE", "AddrH", "AddrL", " read flash word low byte", " read flash word high byte"}},
        StepTextsCase{"ATmega603", "load word", At(drive::WriteFlashWord, 2),
                      {"AddrL", "DataL", " GivePagelPosPulse", "DataH", " GivePagelPosPulse"}},
        StepTextsCase{"ATmega2560", "last page", At(drive::WriteFlashPage, 262142),
                      {"AddrH", "AddrE", " GiveWRNegPulse", "rdy", "Cmd"}},
        StepTextsCase{"ATtiny261", "page", At(drive::WriteFlashPage, 30),
                      {"AddrH", " set BS1=0, GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATmega640", "read EEPROM", ReadAt(drive::ReadEepromByte, 0),
                      {"Cmd", "AddrH", "AddrL", " read EEPROM byte"}},
        StepTextsCase{"ATmega8", "EEPROM page", EepromPageRun(4),
                      {"Cmd", "AddrH", "AddrL", "DataL", " GivePagelPosPulse", "AddrL", "DataL", " GivePagelPosPulse",
                       "AddrL", "DataL", " GivePagelPosPulse", "AddrL", "DataL", " GivePagelPosPulse",
                       " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATtiny261", "EEPROM page", EepromPageRun(4),
                      {"Cmd", "AddrH", "AddrL", "DataL", " set BS1=1", "AddrL", "DataL", " set BS1=1", "AddrL", "DataL",
                       " set BS1=1", "AddrL", "DataL", " set BS1=1", " set BS1=0", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATtiny2313", "fuse and lock read", Run(&Driver::ReadFuseLockBits),
                      {"Cmd", " read Fuse Low bits", " read Fuse High bits", " read Fuse Extended bits",
                       " read Lock bits"}},
        StepTextsCase{"ATmega640", "lock read", Run(&Driver::ReadLockBits), {"Cmd", " set BS2=0, BS1=1"}},
        StepTextsCase{"ATtiny461", "lock read", Run(&Driver::ReadLockBits), {"Cmd", " set BS2(XA1)=0, BS1=1"}},
        StepTextsCase{"AT90CAN64", "lock read", Run(&Driver::ReadLockBits), {"Cmd", " read Lock-byte"}},
        StepTextsCase{"ATmega103", "lock read", Run(&Driver::ReadLockBits), {"Cmd", " read Lock byte"}},
        StepTextsCase{"ATmega8", "fuse low read", Run(&Driver::ReadFuseLow), {"Cmd", " read Low Fuse byte"}},
        StepTextsCase{"ATmega603", "fuse read", Run(&Driver::ReadFuseLow), {"Cmd", " read Fuse byte"}},
        StepTextsCase{"ATmega8", "fuse high read", Run(&Driver::ReadFuseHigh), {"Cmd", " read Fuse High byte"}},
        StepTextsCase{"ATmega128", "fuse extended read", Run(&Driver::ReadFuseExtended),
                      {"Cmd", " read Fuse Extended byte"}},
        StepTextsCase{"ATmega640", "fuse extended write", Run(&Driver::WriteFuseExtended),
                      {"Cmd", "DataL", " set BS2=1", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATmega48", "fuse extended write", Run(&Driver::WriteFuseExtended),
                      {"Cmd", "DataL", " set BS2=1, BS1=0", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"AT90CAN32", "fuse extended write", Run(&Driver::WriteFuseExtended),
                      {"Cmd", "DataL", " set BS1=0, BS2=1", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATtiny861", "fuse extended write", Run(&Driver::WriteFuseExtended),
                      {"Cmd", "DataL", " set BS2(XA1)=1, BS1=0", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATtiny2313", "fuse extended write", Run(&Driver::WriteFuseExtended),
                      {"Cmd", "DataL", " set BS1=0, BS2(XA1)=1", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATmega8", "fuse high write", Run(&Driver::WriteFuseHigh),
                      {"Cmd", "DataL", " set BS1=1, BS2=0", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATtiny2313", "fuse high write", Run(&Driver::WriteFuseHigh),
                      {"Cmd", "DataL", " set BS1=1, BS2(XA1)=0", " 0x1D 0x03", "rdy"}},
        StepTextsCase{"ATtiny261", "fuse high write", Run(&Driver::WriteFuseHigh),
                      {"Cmd", "DataL", " set BS1=1, BS2(XA1)=0", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATmega103", "fuse write", Run(&Driver::WriteFuseLow), {"Cmd", "DataL", " GiveWR15NegPulse"}},
        StepTextsCase{"ATmega161", "lock write", Run(&Driver::WriteLockBits),
                      {"Cmd", "DataL", " GiveWRNegPulse", "rdy"}},
        StepTextsCase{"ATmega169", "calibration", Run(&Driver::ReadCalibration),
                      {"Cmd", "AddrL", " read Calibration byte"}},
        StepTextsCase{"ATtiny2313", "calibration", Run(&Driver::ReadCalibration),
                      {"Cmd", "AddrL", " set BS1=1, BS2(XA1)=0", " read Calibration Bytes", "AddrL",
                       " set BS1=1, BS2(XA1)=0", " read Calibration Bytes"}}));

INSTANTIATE_TEST_SUITE_P(
    Serial, StepTexts,
    ::testing::Values(
        StepTextsCase{"AT90S2323", "entry", Run(&Driver::EnterProgMode),
                      {" 0x48", " 0x47", "Q 0x44 0x00 0x00 0x53 0xAC"}, false},
        StepTextsCase{"ATtiny13", "erase", Run(&Driver::EraseChip), {"I 0x44 0x00 0x00 0x80 0xAC"}},
        StepTextsCase{"ATtiny12", "write flash", At(drive::WriteFlashByte, 0x200), {"I 0x44 Data b a 0x4H"}},
        StepTextsCase{"ATtiny85", "load flash", At(drive::LoadFlashByte, 0x200), {"I 0x44 Data b a 0x4H"}},
        StepTextsCase{"ATtiny26", "page", At(drive::WriteFlashPage, 0x7FF), {"I 0x44 0x00 b a 0x4C"}},
        StepTextsCase{"ATtiny85", "read EEPROM", ReadAt(drive::ReadEepromByte, 0x1FF), {"Q 0x44 0x00 b a 0xA0"}},
        StepTextsCase{"ATtiny15", "read EEPROM", ReadAt(drive::ReadEepromByte, 0x3F), {"Q 0x44 0x00 b 0x00 0xA0"}},
        StepTextsCase{"AT90S2343", "write EEPROM", At(drive::WriteEepromByte, 0x7F), {"I 0x44 Data b 0x00 0xC0"}},
        StepTextsCase{"ATtiny25", "load EEPROM", At(drive::LoadEepromByte, 6), {"I 0x44 Data b 0x00 0xC1"}},
        StepTextsCase{"ATtiny45", "EEPROM page", At(drive::WriteEepromPage, 0xFF), {"I 0x44 0x00 b a 0xC2"}},
        StepTextsCase{"ATtiny13", "EEPROM page", At(drive::WriteEepromPage, 0x3F), {"I 0x44 0x00 b 0x00 0xC2"}},
        StepTextsCase{"ATtiny22", "fuse and lock read", Run(&Driver::ReadFuseLockBits), {"Q 0x44 0x00 0x00 0x00 0x58"}},
        StepTextsCase{"ATtiny12", "lock read", Run(&Driver::ReadLockBits), {"Q 0x44 0x00 0x00 0x00 0x58"}},
        StepTextsCase{"ATtiny15", "fuse read", Run(&Driver::ReadFuseLow), {"Q 0x44 0x00 0x00 0x00 0x50"}},
        StepTextsCase{"ATtiny26", "fuse high read", Run(&Driver::ReadFuseHigh), {"Q 0x44 0x00 0x00 0x08 0x58"}},
        StepTextsCase{"ATtiny85", "fuse extended read", Run(&Driver::ReadFuseExtended), {"Q 0x44 0x00 0x00 0x08 0x50"}},
        StepTextsCase{"AT90S2323", "lock write", Run(&Driver::WriteLockBits), {"I 0x44 0x00 0x00 Lock 0xAC"}},
        StepTextsCase{"ATtiny15", "lock write", Run(&Driver::WriteLockBits), {"I 0x44 0x00 0x00 Lock 0xAC"}},
        StepTextsCase{"ATtiny13", "lock write", Run(&Driver::WriteLockBits), {"I 0x44 Lock 0x00 0xE0 0xAC"}},
        StepTextsCase{"ATtiny22", "fuse write", Run(&Driver::WriteFuseLow), {"I 0x44 0x00 0x00 FSTRT 0xAC"}},
        StepTextsCase{"ATtiny12", "fuse write", Run(&Driver::WriteFuseLow), {"I 0x44 Fuse 0x00 0xA0 0xAC"}},
        StepTextsCase{"ATtiny26", "fuse low write", Run(&Driver::WriteFuseLow), {"I 0x44 Fuse Low 0x00 0xA0 0xAC"}},
        StepTextsCase{"ATtiny13", "fuse high write", Run(&Driver::WriteFuseHigh), {"I 0x44 Fuse High 0x00 0xA8 0xAC"}},
        StepTextsCase{"ATtiny45", "fuse extended write", Run(&Driver::WriteFuseExtended),
                      {"I 0x44 Fuse Extended 0x00 0xA4 0xAC"}},
        StepTextsCase{"ATtiny25", "calibration", Run(&Driver::ReadCalibration),
                      {"Q 0x44 0x00 i 0x00 0x38", "Q 0x44 0x00 i 0x00 0x38"}},
        StepTextsCase{"ATtiny12", "blank byte", Run(&Driver::WriteBlankFlashByte), {"I 0x44 0xFF 0 0 0x40"}}));

}  // namespace
}  // namespace quillon::test
