// Byte-exact traces of the parallel drivers at the addresses where they load, latch and commit.
#include <gtest/gtest.h>

#include <algorithm>

#include "WiredChip.h"

namespace quillon::test {
namespace {

using Trace = std::vector<std::string>;

// The reads of the data bus, answered by an erased chip.
const std::string kReadLow = "0B 00 15 10 17 | FF";
const std::string kReadHigh = "11 0A 17 15 14 | FF";
const std::string kReadByte = "0B 00 15 10 17 15 14 | FF";

struct AddressCase {
    const char* chip;
    std::int32_t pos;
    Trace expected;
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.chip << " @" << c.pos; }

class ReadFlashWordTrace : public ::testing::TestWithParam<AddressCase> {};

TEST_P(ReadFlashWordTrace, LoadsCommandAndAddressBytesOnlyWhereTheyChange)
{
    WiredChip w(GetParam().chip);
    w.Expect(GetParam().expected);
    EXPECT_TRUE(drive::ReadFlashWord(w.driver(), w.socket, GetParam().pos, false));
    EXPECT_TRUE(w.wire->Done());
}

INSTANTIATE_TEST_SUITE_P(
    Chips, ReadFlashWordTrace,
    ::testing::Values(
        AddressCase{"ATmega2560", 0, {"Cmd 02", "AddrE 00", "AddrH 00", "AddrL 00", kReadLow, kReadHigh}},
        AddressCase{"ATmega2560", 131072, {"AddrE 01", "AddrH 00", "AddrL 00", kReadLow, kReadHigh}},
        AddressCase{"ATmega2560", 131584, {"AddrH 01", "AddrL 00", kReadLow, kReadHigh}},
        AddressCase{"ATmega2560", 514, {"AddrL 01", kReadLow, kReadHigh}},
        AddressCase{"ATmega1281", 0, {"Cmd 02", "AddrH 00", "AddrL 00", kReadLow, kReadHigh}},
        AddressCase{"ATmega1280", 131070, {"AddrL FF", kReadLow, kReadHigh}},
        AddressCase{"ATmega48", 2, {"AddrH 00", "AddrL 01", kReadLow, kReadHigh}},
        AddressCase{"ATtiny2313", 2046, {"AddrH 03", "AddrL FF", kReadLow, kReadHigh}},
        AddressCase{"AT90CAN128", 512, {"AddrH 01", "AddrL 00", kReadLow, kReadHigh}},
        AddressCase{"ATmega8", 1024, {"AddrH 02", "AddrL 00", kReadLow, kReadHigh}},
        AddressCase{"AT90S1200", 0, {"Cmd 02", "AddrH 00", "AddrL 00", kReadLow, kReadHigh}},
        AddressCase{"AT90S1200", 512, {"AddrH 01", "AddrL 00", kReadLow, kReadHigh}},
        AddressCase{"AT90S8515", 1022, {"AddrH 01", "AddrL FF", kReadLow, kReadHigh}}));

class WriteFlashTrace : public ::testing::TestWithParam<AddressCase> {};

// The image holds 0x5A at even and 0xA5 at odd addresses; pages use WriteFlashPage, words
// WriteFlashWord, chosen by whether the case's pos ends a page of the chip.
TEST_P(WriteFlashTrace, SendsTheWordOrPageExactly)
{
    WiredChip w(GetParam().chip);
    for (std::uint32_t i = 0; i < w.socket.chip.flashSize; ++i) w.socket.chip.flash[i] = i % 2 ? 0xA5 : 0x5A;
    const auto& entry = w.row();
    const std::int32_t pos = GetParam().pos;
    const bool pageEnd = entry.page != 0 && (static_cast<std::uint32_t>(pos) + 2) % entry.page == 0;
    w.Expect(GetParam().expected);
    EXPECT_TRUE(pageEnd ? drive::WriteFlashPage(w.driver(), w.socket, pos) : drive::WriteFlashWord(w.driver(), w.socket, pos));
    EXPECT_TRUE(w.wire->Done());
}

INSTANTIATE_TEST_SUITE_P(
    Chips, WriteFlashTrace,
    ::testing::Values(
        // Loading words into the page buffer.
        AddressCase{"ATmega640", 0, {"Cmd 10", "AddrL 00", "DataL 5A", "DataH A5", "1D 01", "sleep 2"}},
        AddressCase{"ATmega603", 2, {"AddrL 01", "DataL 5A", "1D 01", "DataH A5", "1D 01", "sleep 2"}},
        AddressCase{"ATmega161", 4, {"AddrL 02", "DataL 5A", "1D 01", "DataH A5", "1D 01", "sleep 2"}},
        AddressCase{"ATtiny2313", 2, {"AddrL 01", "DataL 5A", "DataH A5", "sleep 2"}},
        AddressCase{"ATtiny861", 2, {"AddrL 01", "DataL 5A", "DataH A5", "sleep 2"}},
        // Committing pages: the extended byte after the high byte on the chips above 128 KiB,
        // and the no-operation command after the last page only.
        AddressCase{"ATmega2560", 131326, {"AddrH 00", "AddrE 01", "11 08 15 14 1D 03", "sleep 2", "rdy"}},
        AddressCase{"ATmega2560", 254, {"AddrH 00", "AddrE 00", "11 08 15 14 1D 03", "sleep 2", "rdy"}},
        AddressCase{"ATmega2560", 262142,
                    {"AddrH FF", "AddrE 01", "11 08 15 14 1D 03", "sleep 2", "rdy", "Cmd 00"}},
        AddressCase{"ATmega1280", 131070, {"AddrH FF", "11 08 15 14 1D 03", "sleep 2", "rdy", "Cmd 00"}},
        AddressCase{"ATmega644", 510, {"AddrH 00", "11 08 15 14 1D 03", "sleep 2", "rdy"}},
        AddressCase{"ATmega8", 8190, {"AddrH 0F", "11 08 1D 03", "sleep 2", "rdy", "Cmd 00"}},
        AddressCase{"ATtiny261", 30, {"AddrH 00", "11 08 1D 03", "sleep 2", "rdy"}},
        AddressCase{"ATtiny2313", 62, {"AddrH 00", "1D 03", "sleep 2", "rdy"}},
        AddressCase{"AT90CAN32", 254, {"AddrH 00", "1D 03", "sleep 2", "rdy"}},
        // Classic chips program every word by two pulses; the high address byte every 256 words.
        AddressCase{"AT90S2313", 0,
                    {"Cmd 10", "AddrH 00", "AddrL 00", "DataL 5A", "1D 03", "sleep 2", "rdy", "DataH A5", "1D 03",
                     "sleep 2", "rdy"}},
        AddressCase{"AT90S2313", 512,
                    {"AddrH 01", "AddrL 00", "DataL 5A", "1D 03", "sleep 2", "rdy", "DataH A5", "1D 03", "sleep 2",
                     "rdy"}},
        AddressCase{"AT90S2313", 514,
                    {"AddrL 01", "DataL 5A", "1D 03", "sleep 2", "rdy", "DataH A5", "1D 03", "sleep 2", "rdy"}}));

class EepromTrace : public ::testing::TestWithParam<AddressCase> {};

TEST_P(EepromTrace, ReadsWithTheHighAddressByteWhereTheChipHasOne)
{
    WiredChip w(GetParam().chip);
    w.Expect(GetParam().expected);
    EXPECT_TRUE(drive::ReadEepromByte(w.driver(), w.socket, GetParam().pos, false));
    EXPECT_TRUE(w.wire->Done());
}

INSTANTIATE_TEST_SUITE_P(Chips, EepromTrace,
                         ::testing::Values(AddressCase{"AT90S8515", 0x1FF, {"AddrH 01", "AddrL FF", kReadByte}},
                                           AddressCase{"AT90S4414", 0xFF, {"AddrL FF", kReadByte}},
                                           AddressCase{"AT90S8535", 0x100, {"AddrH 01", "AddrL 00", kReadByte}},
                                           AddressCase{"AT90S2313", 0, {"Cmd 03", "AddrL 00", kReadByte}},
                                           AddressCase{"ATmega8", 0x1FF, {"AddrH 01", "AddrL FF", kReadByte}},
                                           AddressCase{"ATmega640", 0, {"Cmd 03", "AddrH 00", "AddrL 00", kReadByte}}));

// Where a run of EEPROM writes from address 0 loads the high address byte and programs a page.
struct EepromRun {
    const char* chip;
    std::vector<int> highLoads;  // addresses whose write loads the high byte
    std::vector<int> commits;    // addresses whose write ends with the WR pulse
};

void PrintTo(const EepromRun& c, std::ostream* os) { *os << c.chip; }

class EepromWriteRun : public ::testing::TestWithParam<EepromRun> {};

TEST_P(EepromWriteRun, ProgramsAtTheEndOfEveryPageOfTheChip)
{
    WiredChip w(GetParam().chip);
    std::vector<int> highLoads, commits;
    for (int pos = 0; pos < 16; ++pos) {
        w.Restart();
        w.wire->pending.assign(16, 0x01);  // ready whenever polled
        ASSERT_TRUE(drive::WriteEepromByte(w.driver(), w.socket, pos));
        const auto& sent = w.wire->written;
        if (Sent(sent, "AddrH 00")) highLoads.push_back(pos);
        const auto wrPulse = [](const std::vector<std::uint8_t>& p) {
            return p.size() >= 2 && p[p.size() - 2] == 0x1D && p.back() == 0x03;
        };
        if (std::any_of(sent.begin(), sent.end(), wrPulse)) commits.push_back(pos);
    }
    EXPECT_EQ(highLoads, GetParam().highLoads);
    EXPECT_EQ(commits, GetParam().commits);
}

const std::vector<int> kEvery{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

INSTANTIATE_TEST_SUITE_P(
    Chips, EepromWriteRun,
    ::testing::Values(EepromRun{"ATmega644", {0}, {7, 15}}, EepromRun{"ATmega164", {0}, {3, 7, 11, 15}},
                      EepromRun{"ATmega324", {0}, {3, 7, 11, 15}}, EepromRun{"ATmega8", {0, 4, 8, 12}, {3, 7, 11, 15}},
                      EepromRun{"ATmega2560", {0, 8}, {7, 15}}, EepromRun{"AT90CAN64", {0, 8}, {7, 15}},
                      EepromRun{"ATtiny2313", {0, 4, 8, 12}, {3, 7, 11, 15}},
                      EepromRun{"ATmega603", kEvery, kEvery}, EepromRun{"ATmega163", {0}, kEvery},
                      EepromRun{"AT90S2313", {}, kEvery}, EepromRun{"AT90S8515", kEvery, kEvery},
                      EepromRun{"AT90S4414", {}, kEvery}));

TEST(EepromPage, AtmegaLatchesEveryByteAndProgramsTheFullPage)
{
    WiredChip w("ATmega640");
    for (int i = 0; i < 8; ++i) w.socket.chip.eeprom[i] = static_cast<std::uint8_t>(0x10 + i);
    Trace expected{"Cmd 11", "AddrH 00"};
    for (int pos = 0; pos < 8; ++pos) {
        char b[16];
        std::snprintf(b, sizeof b, "AddrL %02X", pos);
        expected.push_back(b);
        std::snprintf(b, sizeof b, "DataL %02X", 0x10 + pos);
        expected.push_back(b);
        expected.push_back("1D 01");
    }
    expected.insert(expected.end(), {"1D 03", "sleep 2", "rdy"});
    w.Expect(expected);
    for (int pos = 0; pos < 8; ++pos) ASSERT_TRUE(drive::WriteEepromByte(w.driver(), w.socket, pos));
    EXPECT_TRUE(w.wire->Done());
}

TEST(EepromPage, SmallTiniesLatchByRaisingBs1AndLowerItBeforeProgramming)
{
    for (const char* chip : {"ATtiny261", "ATtiny2313"}) {
        WiredChip w(chip);
        w.Expect({"Cmd 11", "AddrH 00", "AddrL 00", "DataL FF", "11 0A", "sleep 2", "AddrL 01", "DataL FF", "11 0A",
                  "sleep 2", "AddrL 02", "DataL FF", "11 0A", "sleep 2", "AddrL 03", "DataL FF", "11 0A", "sleep 2",
                  "11 08", "1D 03", "sleep 2", "rdy"});
        for (int pos = 0; pos < 4; ++pos) ASSERT_TRUE(drive::WriteEepromByte(w.driver(), w.socket, pos)) << chip;
        EXPECT_TRUE(w.wire->Done()) << chip;
    }
}

struct EntryCase {
    const char* chip;
    Trace expected;
    const char* failText;  // logged when the power-up packet (the fourth write) fails
};

void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.chip; }

class EntryTrace : public ::testing::TestWithParam<EntryCase> {};

const Trace kStepped{"0B 00 0D 00", "0F 32 11 00", "13 FC 15 00", "sleep 1", "sleep 2", "0F 36", "1D 02", "1D 02",
                     "1D 02",       "1D 02",       "1D 02",       "1D 02",   "0F 3E 11 08", "sleep 1", "sleep 2", "15 14"};
const Trace kBuiltIn{"0B 00 0D 00", "0F 32 11 00", "13 FC 15 00", "sleep 1", "sleep 2",
                     "1D 00",       "sleep 1",     "sleep 2",     "15 14"};

TEST_P(EntryTrace, PowersUpAndLogsInTheUnitsWording)
{
    {
        WiredChip w(GetParam().chip);
        w.Expect(GetParam().expected);
        EXPECT_TRUE(drive::Run(w.driver().EnterProgMode, w.socket));
        EXPECT_TRUE(w.wire->Done());
        EXPECT_EQ(w.Lines(), (std::vector<std::string>{"Trying to enter Programming Mode",
                                                        "       Finished with success."}));
    }
    WiredChip failing(GetParam().chip);
    failing.wire->failWriteNumber = 3;
    EXPECT_FALSE(drive::Run(failing.driver().EnterProgMode, failing.socket));
    EXPECT_EQ(failing.Lines().back(), std::string("Error executing commands: ") + GetParam().failText);
    EXPECT_FALSE(failing.socket.bus.link.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Chips, EntryTrace,
                         ::testing::Values(EntryCase{"ATmega640", kStepped, " enable +5V"},
                                           EntryCase{"ATtiny461", kStepped, " enable +5V"},
                                           EntryCase{"ATmega48", kBuiltIn, " EnterHVPProgMode_AVR"},
                                           EntryCase{"AT90CAN32", kBuiltIn, " 0x1D 0x0"},
                                           EntryCase{"AT90S1200", kBuiltIn, " EnterHVPPrgMode_AVR"},
                                           EntryCase{"AT90S4433", kBuiltIn, " 0x1D 0x0"}));

// Lock, fuse and calibration operations: the trace, what lands in the record and the log.
struct ByteOpCase {
    const char* chip;
    drive::AnyOperation op;
    Trace expected;  // with what the chip puts on the data bus at every read
    std::vector<std::uint8_t> slots;  // the lock/fuse slots afterwards (lockFuseCount of them)
    std::vector<std::string> log;
};

void PrintTo(const ByteOpCase& c, std::ostream* os) { *os << c.chip; }

class ByteOpTrace : public ::testing::TestWithParam<ByteOpCase> {};

TEST_P(ByteOpTrace, MovesTheRightByteBetweenChipAndSlot)
{
    const auto& c = GetParam();
    WiredChip w(c.chip);
    auto& slot = w.socket.chip.lockFuse;
    for (std::size_t i = 0; i < 4; ++i) slot[i] = static_cast<std::uint8_t>(0xC0 + i);
    ASSERT_TRUE(drive::Offers(w.driver(), c.op));
    w.Expect(c.expected);
    EXPECT_TRUE(drive::Run(w.driver(), c.op, w.socket));
    EXPECT_TRUE(w.wire->Done());
    EXPECT_EQ(std::vector<std::uint8_t>(slot.begin(), slot.begin() + w.socket.chip.lockFuseCount), c.slots);
    EXPECT_EQ(w.Lines(), c.log);
}

const std::string kOk = "       Finished with success.";

INSTANTIATE_TEST_SUITE_P(
    Chips, ByteOpTrace,
    ::testing::Values(
        ByteOpCase{"ATmega640", &Driver::WriteFuseExtended, {"Cmd 40", "DataL C2", "15 94", "1D 03", "sleep 2", "rdy"},
                   {0xC0, 0xC1, 0xC2, 0xC3}, {"Trying to write fuse extended byte", kOk}},
        ByteOpCase{"ATtiny2313", &Driver::WriteFuseExtended, {"Cmd 40", "DataL C2", "11 18", "1D 03", "sleep 2", "rdy"},
                   {0xC0, 0xC1, 0xC2, 0xC3}, {"Trying to write fuse extended byte", kOk}},
        ByteOpCase{"ATmega8", &Driver::WriteFuseHigh, {"Cmd 40", "DataL C1", "11 0A", "1D 03", "sleep 2", "rdy"},
                   {0xC0, 0xC1, 0xC2}, {"Trying to write fuse high byte", kOk}},
        ByteOpCase{"ATmega8", &Driver::WriteLockBits, {"Cmd 20", "DataL C2", "1D 03", "sleep 2", "rdy"},
                   {0xC0, 0xC1, 0xC2}, {"Trying to write lock-bits", kOk}},
        ByteOpCase{"ATmega103", &Driver::WriteFuseLow, {"Cmd 40", "DataL C0", "1D 09", "sleep 2"}, {0xC0, 0xC1},
                   {"Trying to write fuse low byte", kOk}},
        ByteOpCase{"ATmega603", &Driver::ReadLockBits, {"Cmd 04", "11 0A 0B 00 15 10 17 15 14 | 06"}, {0xC0, 0xFF},
                   {"Trying to read lock-bits", kOk}},
        ByteOpCase{"ATmega103", &Driver::ReadLockBits, {"Cmd 04", "11 0A 0B 00 15 10 17 15 14 | 00"}, {0xC0, 0xF9},
                   {"Trying to read lock-bits", kOk}},
        ByteOpCase{"ATmega16", &Driver::ReadLockBits, {"Cmd 04", "11 0A 0B 00 15 10 17 15 14 | FB"},
                   {0xC0, 0xC1, 0xFB}, {"Trying to read lock-bits", kOk}},
        ByteOpCase{"ATmega64", &Driver::ReadFuseHigh, {"Cmd 04", "11 0A 0B 00 15 90 17 15 14 | 99"},
                   {0xC0, 0x99, 0xC2, 0xC3}, {"Trying to read fuse high byte", kOk}},
        ByteOpCase{"ATtiny861", &Driver::ReadFuseExtended, {"Cmd 04", "11 18 0B 00 15 10 17 15 14 | FE"},
                   {0xC0, 0xC1, 0xFE, 0xC3}, {"Trying to read fuse extended byte", kOk}},
        ByteOpCase{"ATtiny2313", &Driver::ReadFuseLockBits,
                   {"Cmd 04", "0B 00 11 08 15 10 17 | 64", "11 1A 17 | DF", "11 18 17 | FF", "11 0A 17 15 14 | FC"},
                   {0x64, 0xDF, 0xFF, 0xFC}, {"Trying to read fuse- & lock-bits", kOk}},
        ByteOpCase{"AT90S1200", &Driver::ReadFuseLockBits, {"Cmd 04", "11 0A 0B 00 15 10 17 15 14 | 3F"}, {0xFF, 0xF9},
                   {"Trying to read fuse- & lock-bits", kOk}},
        ByteOpCase{"AT90S4433", &Driver::ReadFuseLockBits, {"Cmd 04", "0B 00 15 10 17 | 1A", "11 0A 17 15 14 | 02"}, {0xDA, 0xFB},
                   {"Trying to read fuse- and lock-bits", kOk}},
        ByteOpCase{"AT90S2333", &Driver::WriteFuseLow, {"Cmd 40", "DataL C0", "1D 09", "sleep 2"}, {0xC0, 0xC1}, {kOk}},
        ByteOpCase{"AT90S1200", &Driver::WriteFuseLow, {"Cmd 40", "DataL C0", "1D 09", "sleep 2"}, {0xC0, 0xC1},
                   {"Trying to write fuse byte", kOk}},
        ByteOpCase{"ATmega603", &Driver::ReadFuseLow, {"Cmd 04", "11 08 0B 00 15 10 17 15 14 | 2B"}, {0x2B, 0xC1},
                   {"Trying to read fuse low byte", kOk}},
        ByteOpCase{"ATmega161", &Driver::WriteLockBits, {"Cmd 20", "DataL C1", "1D 03", "sleep 2", "rdy"},
                   {0xC0, 0xC1}, {"Trying to write lock-bits", kOk}},
        // Erase: the long pulse without a ready wait on the old chips, the short one with it.
        ByteOpCase{"AT90S1200", &Driver::EraseChip, {"Cmd 80", "1D 08", "sleep 2"}, {0xC0, 0xC1},
                   {"Trying to erase the chip", kOk}},
        ByteOpCase{"ATmega103", &Driver::EraseChip, {"Cmd 80", "1D 08", "sleep 2"}, {0xC0, 0xC1},
                   {"Trying to erase the chip", kOk}},
        ByteOpCase{"ATmega8", &Driver::EraseChip, {"Cmd 80", "1D 03", "sleep 2", "rdy"}, {0xC0, 0xC1, 0xC2},
                   {"Trying to erase the chip", kOk}},
        ByteOpCase{"AT90S8515", &Driver::WriteLockBits, {"Cmd 20", "DataL C1", "1D 03", "sleep 2", "rdy"},
                   {0xC0, 0xC1}, {"Trying to write lock-bits", kOk}}));

struct CalibrationCase {
    const char* chip;
    int count;  // calibration count set in the record
    Trace expected;
};

void PrintTo(const CalibrationCase& c, std::ostream* os) { *os << c.chip << " x" << c.count; }

class CalibrationTrace : public ::testing::TestWithParam<CalibrationCase> {};

TEST_P(CalibrationTrace, ReadsOneByteForEveryCalibrationAddress)
{
    WiredChip w(GetParam().chip);
    w.socket.chip.calibrationCount = static_cast<std::uint8_t>(GetParam().count);
    const Driver* unit = w.row().CalibrationUnit();
    ASSERT_NE(unit, nullptr);
    w.Expect(GetParam().expected);
    EXPECT_TRUE(drive::Run(unit->ReadCalibration, w.socket));
    EXPECT_TRUE(w.wire->Done());
    EXPECT_EQ(w.Lines(), (std::vector<std::string>{"Trying to read calibration bytes", "       Finished"}));
}

// A calibration byte read from the data bus, and what the chip puts there.
std::string Cal(const char* answer) { return std::string("11 0A 0B 00 15 10 17 15 14 | ") + answer; }

INSTANTIATE_TEST_SUITE_P(
    Chips, CalibrationTrace,
    ::testing::Values(CalibrationCase{"ATmega8", 4,
                                      {"Cmd 08", "AddrL 00", Cal("A0"), "AddrL 01", Cal("A1"), "AddrL 02", Cal("A2"),
                                       "AddrL 03", Cal("A3")}},
                      CalibrationCase{"ATmega8", 0, {"Cmd 08"}},
                      CalibrationCase{"AT90CAN128", 4, {"Cmd 08", "AddrL 00", Cal("A0")}},
                      CalibrationCase{"ATtiny2313", 2,
                                      {"Cmd 08", "AddrL 00", "11 0A", "0B 00 15 10 17 15 14 | A0", "AddrL 01", "11 0A",
                                       "0B 00 15 10 17 15 14 | A1"}},
                      CalibrationCase{"ATmega162", 1, {"Cmd 08", "AddrL 00", Cal("A0")}}));

TEST(Calibration, Atmega162IsReadWithTheAtmega163sBuiltInEntry)
{
    WiredChip w("ATmega162");
    ASSERT_EQ(w.driver().ReadCalibration, nullptr);
    const Driver* unit = w.row().CalibrationUnit();
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->name, "Atmega163");
    w.Expect(kBuiltIn);
    EXPECT_TRUE(drive::Run(unit->EnterProgMode, w.socket));
    EXPECT_TRUE(w.wire->Done());
}

}  // namespace
}  // namespace quillon::test
