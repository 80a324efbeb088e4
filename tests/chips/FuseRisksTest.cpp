// Which lock and fuse bytes this tool warns about, judged from the bit names and the chip's
// programming mode, over every chip of the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "chips/ChipTable.h"
#include "chips/FuseRisks.h"

namespace quillon {
namespace {

bool Has(const std::vector<std::string>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::uint8_t> Factory(const ChipRow& row)
{
    return {row.factoryLockFuse.begin(), row.factoryLockFuse.begin() + row.lockFuseCount};
}

// Every named bit of every chip, flipped alone from the factory bytes: what it raises follows
// from its name and from whether the chip is programmed serially here.
TEST(FuseRisks, EveryBitOfEveryChipRaisesWhatItsNameAndTheModeCallFor)
{
    for (const ChipRow& row : Catalogue()) {
        if (row.driver == nullptr) continue;
        const bool serial = row.family == Family::Serial;
        const std::vector<std::uint8_t> factory = Factory(row);
        EXPECT_TRUE(JudgeFuseBytes(row, factory, factory).None()) << row.name << ": the factory bytes warn";
        for (std::size_t slot = 0; slot < row.bitNames.size(); ++slot) {
            for (std::size_t bit = 0; bit < 8; ++bit) {
                const std::string name(row.bitNames[slot].bit[bit]);
                if (name.empty()) continue;
                std::vector<std::uint8_t> after = factory;
                after[slot] ^= static_cast<std::uint8_t>(1u << bit);
                const bool programmed = (after[slot] & (1u << bit)) == 0;
                const FuseRisks r = JudgeFuseBytes(row, factory, after);
                const std::string where = std::string(row.name) + " " + name;

                const bool endsSerial = (name == "SPIEN" && !programmed) ||
                                        ((name == "RSTDISBL" || name == "DWEN") && programmed);
                const bool clock = name.starts_with("CKSEL") || name == "RCEN" || name == "PLLCK" ||
                                   name == "CKOPT";
                EXPECT_EQ(Has(r.lockOut, name), serial && (endsSerial || clock)) << where;
                EXPECT_EQ(Has(r.serialLockOut, name), !serial && endsSerial) << where;
                EXPECT_EQ(Has(r.lockBits, name), (name == "LB1" || name == "LB2") && programmed) << where;
                if (!endsSerial && !clock && name != "LB1" && name != "LB2") {
                    EXPECT_TRUE(r.None()) << where;
                }
            }
        }
    }
}

TEST(FuseRisks, NamedCases)
{
    struct Case {
        const char* chip;
        std::vector<std::uint8_t> after;
        std::vector<std::string> lockOut, lockBits, serialLockOut;
    };
    const Case cases[] = {
        // The report that started it: RSTDISBL ticked, SPIEN cleared, both lock bits set.
        {"ATtiny85", {0x62, 0x7F, 0xFF, 0xFC}, {"RSTDISBL", "SPIEN"}, {"LB1", "LB2"}, {}},
        // An external crystal on an ATtiny13 (CKSEL 01 -> 00 is the external clock).
        {"ATtiny13", {0x68, 0xFF, 0xFF}, {"CKSEL1"}, {}, {}},
        // The AT90S2343 without RCEN needs an external clock.
        {"AT90S2343", {0xDF, 0xFF}, {"RCEN"}, {}, {}},
        // A parallel chip: this tool still reaches it, serial programmers do not.
        {"ATmega8", {0xE1, 0xF9, 0xFF}, {}, {}, {"SPIEN"}},
        {"ATmega48", {0x62, 0x5F, 0xFF, 0xFF}, {}, {}, {"RSTDISBL"}},
        // Boot lock bits only restrict the chip's own code.
        {"ATmega8", {0xE1, 0xD9, 0xC3}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        const ChipRow* row = FindChipByName(c.chip);
        ASSERT_NE(row, nullptr) << c.chip;
        const FuseRisks r = JudgeFuseBytes(*row, Factory(*row), c.after);
        std::vector<std::string> lockOut = r.lockOut;
        std::sort(lockOut.begin(), lockOut.end());
        EXPECT_EQ(lockOut, c.lockOut) << c.chip;
        EXPECT_EQ(r.lockBits, c.lockBits) << c.chip;
        EXPECT_EQ(r.serialLockOut, c.serialLockOut) << c.chip;
    }
}

// The warnings speak the setting's words: the serial chip's question, the parallel chip's line.
TEST(FuseRisks, ExplainTheSettingsInWords)
{
    struct Case {
        const char* chip;
        std::vector<std::uint8_t> after;
        std::vector<std::string> explanations, information;
    };
    const std::string extClock = "Clock source: external clock on XTAL1. The chip will not run, and cannot be "
                                 "programmed serially, until a clock signal is fed to XTAL1 \u2014 a crystal alone "
                                 "will not start it.";
    const Case cases[] = {
        // SUT_CKSEL 10 0000 on an ATmega8: the parallel chip gets the information line.
        {"ATmega8", {0xE0, 0xD9, 0xFF}, {}, {extClock}},
        // A clock with no needs on a parallel chip is no news.
        {"ATmega8", {0xE4, 0xD9, 0xFF}, {}, {}},
        {"ATmega48", {0x62, 0x5F, 0xFF, 0xFF}, {},
         {"RSTDISBL on: the RESET pin becomes an I/O pin, so a serial programmer can no longer hold the chip in "
          "reset."}},
        // A serial chip: every clock change is asked about, in words.
        {"ATtiny85", {0x60, 0xDF, 0xFF, 0xFF},
         {"Clock source: external clock on CLKI. The chip will not run, and cannot be programmed serially, until a "
          "clock signal is fed to CLKI \u2014 a crystal alone will not start it."},
         {}},
        {"ATtiny85", {0x62, 0x9F, 0xFF, 0xFF},
         {"DWEN on: debugWIRE takes the RESET pin; serial programming stops until debugWIRE turns it off."}, {}},
        {"ATtiny13", {0x6B, 0xFF, 0xFF},
         {"Clock source: internal 128 kHz watchdog oscillator. The chip then runs at 128 kHz: a serial programmer "
          "must slow its clock below 32 kHz to reach it."},
         {}},
    };
    for (const Case& c : cases) {
        const ChipRow* row = FindChipByName(c.chip);
        ASSERT_NE(row, nullptr) << c.chip;
        const FuseRisks r = JudgeFuseBytes(*row, Factory(*row), c.after);
        EXPECT_EQ(r.explanations, c.explanations) << c.chip;
        EXPECT_EQ(r.information, c.information) << c.chip;
    }
    // What a rescue reports: every cause, each on its own.
    const ChipRow& m8 = *FindChipByName("ATmega8");
    const std::vector<std::uint8_t> bricked{0xE0, 0x59, 0xFC};
    const std::vector<std::string> causes = SerialReachCauses(m8, bricked);
    ASSERT_EQ(causes.size(), 3u);
    EXPECT_TRUE(causes[0].starts_with("RSTDISBL on"));
    EXPECT_EQ(causes[1], extClock);
    EXPECT_TRUE(causes[2].starts_with("Lock bits LB1, LB2 programmed"));
    EXPECT_TRUE(SerialReachCauses(m8, std::vector<std::uint8_t>{0xE1, 0xD9, 0xFF}).empty());
}

}  // namespace
}  // namespace quillon
