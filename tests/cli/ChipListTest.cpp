// `quillon-cli list-chips` and the chip lists of the README and the usage page, which are that
// command's output pasted between markers.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "Subprocess.h"
#include "chips/ChipTable.h"
#include "cli/ChipList.h"

namespace quillon::cli {
namespace {

const std::string kCli = test::Cli();

TEST(ListChips, OneChipALineFromTheChipTableWithoutAPort)
{
    const test::Finished run = test::RunProgram(kCli, {"list-chips"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, ChipListText(ChipListRows()));

    std::istringstream lines(run.out);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_EQ(all.size(), Catalogue().size() + 1);
    EXPECT_EQ(all[0], "chip         signature  flash EEPROM page  mode");
    for (const char* expected : {"ATmega328P   1E 95 0F   32768   1024  128  parallel",
                                 "AT90S1200    1E 90 01    1024     64    -  parallel",
                                 "ATtiny84     1E 93 0C    8192    512   64  serial",
                                 "ATmega2560   1E 98 01  262144   4096  256  parallel"})
        EXPECT_NE(std::find(all.begin(), all.end(), expected), all.end()) << expected;

    const test::Finished mixed = test::RunProgram(kCli, {"--port", "sim:ATmega8", "list-chips", "erase"});
    EXPECT_EQ(mixed.status, 2);
    EXPECT_NE(mixed.err.find("list-chips runs on its own"), std::string::npos) << mixed.err;
}

// The text between "<!-- chip list -->" and "<!-- end of chip list -->", without the code fence.
std::string ListedIn(const std::string& file)
{
    std::ifstream in(std::string(QUILLON_SOURCE_DIR) + "/" + file);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    const std::string begin = "<!-- chip list", end = "<!-- end of chip list -->";
    const std::size_t b = s.find(begin), e = s.find(end);
    if (b == std::string::npos || e == std::string::npos || e < b) return "(no chip list markers)";
    const std::size_t open = s.find("```\n", s.find('\n', b)), close = s.rfind("```", e);
    if (open == std::string::npos || close == std::string::npos || close <= open) return "(no code block)";
    return s.substr(open + 4, close - open - 4);
}

TEST(ListChips, TheDocsListTheTablesChips)
{
    const std::string listed = ChipListText(ChipListRows());
    for (const char* file : {"README.md", "docs/usage.md"})
        EXPECT_EQ(ListedIn(file), listed) << file << " lists other chips than the chip table: run "
                                          << "scripts/update-chip-list.sh after building";
}

}  // namespace
}  // namespace quillon::cli
