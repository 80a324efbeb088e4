// The record a selection fills, the factory bytes it restores, and the chip table against the
// drivers' lock and fuse operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "UnitSocket.h"
#include "support/ScriptedTransport.h"
#include "chips/BitNames.h"
#include "chips/ChipMenu.h"
#include "model/ChipDescription.h"

namespace quillon::test {
namespace {

std::vector<std::uint8_t> Slots(const Chip& chip) { return {chip.lockFuse.begin(), chip.lockFuse.end()}; }

TEST(SelectChip, RestoresTheFactoryLockAndFuseBytesWhateverWasReadBefore)
{
    UnitSocket socket{ScriptedOpener(std::make_shared<ScriptedWire>())};
    struct Case {
        const char* chip;
        std::vector<std::uint8_t> slots;
    };
    for (const Case& c : {Case{"ATmega8", {0xE1, 0xD9, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                          Case{"ATmega128", {0xE1, 0x99, 0xFD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                          Case{"ATmega88", {0x62, 0xDF, 0xF9, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                          Case{"ATmega328P", {0x62, 0xD9, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
                          Case{"ATmega8", {0xE1, 0xD9, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}}) {
        socket.chip.lockFuse.fill(0x00);
        socket.Select(*FindChipByName(c.chip));
        EXPECT_EQ(Slots(socket.chip), c.slots) << c.chip;
    }
}

TEST(ResetImage, OnlyTheNamedPartChanges)
{
    UnitSocket socket{ScriptedOpener(std::make_shared<ScriptedWire>())};
    Chip& chip = socket.chip;
    socket.Select(*FindChip(0x07931E));
    chip.flash.fill(0);
    chip.eeprom.fill(0);
    chip.lockFuse.fill(0);
    chip.calibration.fill(0);
    ResetImage(chip, ImagePart::Eeprom);
    EXPECT_EQ(chip.eeprom[0] & chip.eeprom[kEepromImageSize - 1], 0xFF);
    EXPECT_EQ(chip.flash[0] | chip.lockFuse[0] | chip.calibration[0], 0);
    // A signature outside the catalogue has no factory values: every slot becomes 0xFF.
    chip.signature = 0x123456;
    ResetImage(chip, ImagePart::LockFuse);
    EXPECT_EQ(Slots(chip), std::vector<std::uint8_t>(8, 0xFF));
}

// The build checks the rows against each other; what it cannot see is the units' operations.
TEST(Tables, EveryChipsUnitServesItsRow)
{
    for (const ChipRow& chip : Catalogue()) {
        SCOPED_TRACE(std::string(chip.name));
        EXPECT_EQ(FindChip(chip.signature), &chip);
        EXPECT_EQ(FindChipByName(chip.name), &chip);
        // A chip with calibration bytes has a unit that reads them, unless its row says not.
        if (chip.calibrationCount != 0 && !chip.calibrationUnread) {
            ASSERT_NE(chip.CalibrationUnit(), nullptr);
            EXPECT_NE(chip.CalibrationUnit()->ReadCalibration, nullptr);
        }
        EXPECT_EQ(chip.family == Family::Classic, chip.page == 0 && chip.driver->WriteFlashWord != nullptr);
        EXPECT_EQ(BitNamesFor(chip.signature).data(), chip.bitNames.data());
        EXPECT_EQ(chip.bitNames.back().caption, "Lock bits");

        // The dialog reads and writes every slot the chip has, the lock byte last on writing.
        const Driver& d = *chip.driver;
        const OperationList writes = LockFuseWriteSequence(d);
        EXPECT_EQ(writes.count, chip.lockFuseCount);
        EXPECT_EQ(writes.op[writes.count - 1], d.WriteLockBits);
        const OperationList reads = LockFuseReadSequence(d);
        EXPECT_EQ(reads.count, d.ReadFuseLockBits ? 1u : chip.lockFuseCount);
    }
    EXPECT_EQ(FindChip(0), nullptr);
    EXPECT_EQ(FindChip(0xFFFFFF), nullptr);
    EXPECT_TRUE(BitNamesFor(0).empty());
}

// The program and the simulated socket know the same chips, each by the same signature and sizes
// (the simulator's from the datasheets): a row added to one table and not the other shows here,
// and the two tables are the only places that count the chips.
TEST(Tables, TheSimulatorHoldsEveryChipAndNoOther)
{
    for (const ChipRow& chip : Catalogue()) {
        SCOPED_TRACE(std::string(chip.name));
        const sim::ChipDescription* d = sim::FindChipDescription(chip.name);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->signature[0] | d->signature[1] << 8 | d->signature[2] << 16, chip.signature);
        EXPECT_EQ(d->flashBytes, chip.flashSize);
        EXPECT_EQ(d->eepromBytes, chip.eepromSize);
    }
    EXPECT_EQ(sim::AllChipDescriptions().size(), Catalogue().size());
}

// Users find a chip by its name: each submenu holds one name family in name order (the CAN
// chips after the AT90S ones, by size), every chip once, and only the serial chips and the AT90C8534,
// which nothing programs, are greyed.
TEST(ChipMenu, GroupsChipsByNameInNameOrder)
{
    struct Group {
        std::string_view caption, prefix;
    };
    const Group groups[] = {{"AT90...", "AT90"}, {"AVR tiny", "ATtiny"}, {"AVR mega", "ATmega"}};
    const auto menu = ChipMenu();
    ASSERT_EQ(menu.size(), std::size(groups));
    std::set<const ChipRow*> listed;
    for (std::size_t g = 0; g < menu.size(); ++g) {
        EXPECT_EQ(menu[g].caption, groups[g].caption);
        for (const ChipMenuItem& item : menu[g].items) {
            SCOPED_TRACE(std::string(item.caption));
            EXPECT_TRUE(item.caption.starts_with(groups[g].prefix));
            if (item.chip == nullptr) {
                EXPECT_EQ(item.caption, "AT90C8534");
                EXPECT_FALSE(item.enabled);
                continue;
            }
            EXPECT_EQ(item.caption, item.chip->name);
            EXPECT_TRUE(item.enabled);
            EXPECT_EQ(item.serial, item.chip->family == Family::Serial);
            EXPECT_TRUE(listed.insert(item.chip).second);
        }
        // The CAN chips come last, smallest first, as their names do not sort by size.
        auto key = [](const ChipMenuItem& i) {
            const bool can = i.caption.starts_with("AT90CAN");
            return std::tuple{can, can ? i.chip->flashSize : 0u, i.caption};
        };
        EXPECT_TRUE(std::is_sorted(menu[g].items.begin(), menu[g].items.end(),
                                   [&](const auto& a, const auto& b) { return key(a) < key(b); }))
            << menu[g].caption;
    }
    EXPECT_EQ(listed.size(), Catalogue().size());
}

TEST(BitNames, OnlyTheAtmega169sReservedBitIsGreyed)
{
    std::vector<std::string> greyed;
    for (const ChipRow& chip : Catalogue()) {
        const auto slots = BitNamesFor(chip.signature);
        for (std::size_t s = 0; s < slots.size(); ++s)
            for (int b = 0; b < 8; ++b)
                if (slots[s].greyed & (1 << b))
                    greyed.push_back(std::string(chip.name) + " " + std::to_string(s) + "." + std::to_string(b) + " " +
                                     std::string(slots[s].bit[static_cast<std::size_t>(b)]));
    }
    EXPECT_EQ(greyed, (std::vector<std::string>{"ATmega169 2.0 RESERVED"}));
}

TEST(BitNames, LockBitsSitWhereTheChipKeepsThem)
{
    struct Case {
        const char* chip;
        std::array<std::string_view, 8> lock;
    };
    for (const Case& c : {Case{"AT90S1200", {"", "LB1", "LB2"}}, Case{"ATtiny15", {"", "LB1", "LB2"}},
                          Case{"ATtiny13", {"LB1", "LB2"}}, Case{"ATmega161", {"LB1", "LB2", "BLB01", "BLB02", "BLB11", "BLB12"}}}) {
        EXPECT_EQ(BitNamesFor(FindChipByName(c.chip)->signature).back().bit, c.lock) << c.chip;
    }
    const auto m162 = BitNamesFor(FindChipByName("ATmega162")->signature);
    EXPECT_EQ(m162[2].bit, (std::array<std::string_view, 8>{"", "BODLEVEL0", "BODLEVEL1", "BODLEVEL2", "M161C"}));
}

TEST(ChipTable, PageSizesAreTheChipsOwn)
{
    // The ATtiny45 and ATtiny85 have 32-word pages; committing every 32 bytes would program
    // each page twice without an erase between and spoil its upper half.
    for (auto [chip, page] : {std::pair{"ATtiny25", 32u}, {"ATtiny45", 64u}, {"ATtiny85", 64u}, {"ATmega644", 256u},
                              {"ATmega164", 128u}, {"ATtiny261", 32u}, {"ATtiny461", 64u}, {"ATmega168", 128u}})
        EXPECT_EQ(FindChipByName(chip)->page, page) << chip;
}

}  // namespace
}  // namespace quillon::test

namespace quillon::test {
namespace {

// The dialog reads the lock byte first and writes it last, the fuse bytes from extended down.
TEST(LockFuseSequences, FollowTheDialogsOrder)
{
    using R = Driver::FuseRead Driver::*;
    using W = Driver::FuseWrite Driver::*;
    struct Case {
        const char* chip;
        std::vector<R> read;
        std::vector<W> write;
    };
    const Case cases[] = {
        {"ATtiny85", {&Driver::ReadLockBits, &Driver::ReadFuseExtended, &Driver::ReadFuseHigh, &Driver::ReadFuseLow},
         {&Driver::WriteFuseExtended, &Driver::WriteFuseHigh, &Driver::WriteFuseLow, &Driver::WriteLockBits}},
        {"ATmega8", {&Driver::ReadLockBits, &Driver::ReadFuseHigh, &Driver::ReadFuseLow},
         {&Driver::WriteFuseHigh, &Driver::WriteFuseLow, &Driver::WriteLockBits}},
        {"ATtiny2313", {&Driver::ReadFuseLockBits},
         {&Driver::WriteFuseExtended, &Driver::WriteFuseHigh, &Driver::WriteFuseLow, &Driver::WriteLockBits}},
        {"ATmega103", {&Driver::ReadLockBits, &Driver::ReadFuseLow}, {&Driver::WriteFuseLow, &Driver::WriteLockBits}},
        {"AT90S2323", {&Driver::ReadFuseLockBits}, {&Driver::WriteFuseLow, &Driver::WriteLockBits}},
    };
    for (const Case& c : cases) {
        const Driver& d = *FindChipByName(c.chip)->driver;
        std::vector<Driver::FuseRead> read;
        std::vector<Driver::FuseWrite> write;
        for (R p : c.read) read.push_back(d.*p);
        for (W p : c.write) write.push_back(d.*p);
        const auto r = LockFuseReadSequence(d);
        const auto w = LockFuseWriteSequence(d);
        EXPECT_EQ(std::vector<Driver::FuseRead>(r.begin(), r.end()), read) << c.chip;
        EXPECT_EQ(std::vector<Driver::FuseWrite>(w.begin(), w.end()), write) << c.chip;
    }
}

}  // namespace
}  // namespace quillon::test
