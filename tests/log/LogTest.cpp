#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "log/Log.h"

namespace quillon {
namespace {

TEST(Log, LinesArePrefixFollowedByText)
{
    struct Case {
        int index;
        std::string text;
        std::string line;
    };
    const Case cases[] = {
        {0, "OSCCAL = 0xA5", "OSCCAL = 0xA5"},
        {19, "", "       Finished"},
        {19, " with success.", "       Finished with success."},
        {18, " erase the chip", "Trying to erase the chip"},
        {6, " 0x46", "Error executing commands:  0x46"},
        {15, " ATmega8", "Selected chip is  ATmega8"},
        {2, "", "Error. The COM-port is not available"},
        {20, "", "Command is not available for this chip"},
    };
    Log log;
    for (const auto& c : cases) log.LogMessage(c.index, c.text);
    log.LogMessage(21, "out of range");
    log.LogMessage(-1, "out of range");
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), std::size(cases));
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], cases[i].line);
}

TEST(Log, TimeLinesHaveNoLeadingZeros)
{
    Log log;
    log.SetClock([] { return TimeOfDay{10, 0, 3}; });
    log.LogStartTime();
    log.SetClock([] { return TimeOfDay{9, 5, 7}; });
    log.LogEndTime();
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Start time: 10:0:3", "End time: 9:5:7"}));
}

TEST(Log, ListenerSeesEveryLineInOrder)
{
    Log log;
    std::vector<std::string> seen;
    log.SetListener([&](const std::string& line) { seen.push_back(line); });
    log.LogMessage(3, "");
    log.LogMessage(1, "/dev/ttyUSB0");
    EXPECT_EQ(seen, (std::vector<std::string>{"The COM-port is closed", "The COM-port is open: /dev/ttyUSB0"}));
}

std::string CollapseSpaces(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

// unrtf is an independent reader: the text it extracts must be the log's lines. It folds runs
// of blanks as HTML does, so the runs themselves are checked in the document's source.
TEST(LogRtf, AWordProcessorReadsTheLinesBack)
{
    if (std::system("command -v unrtf >/dev/null 2>&1") != 0) GTEST_SKIP() << "unrtf is not installed";
    const std::vector<std::string> lines = {
        "Trying to read the program",
        "       Finished with success.",
        "Loading program from file: C:\\work\\{a}.hex",
        "Error executing commands:  0x44 0x00 b a 0x2H",
        "End time: 10:0:3",
    };
    const std::string document = LogToRtf(lines);
    EXPECT_EQ(document.rfind("{\\rtf1", 0), 0u);
    EXPECT_NE(document.find("       Finished with success.\\par"), std::string::npos);
    EXPECT_NE(document.find("commands:  0x44"), std::string::npos);

    const auto dir = std::filesystem::temp_directory_path() / "quillon-log-rtf";
    std::filesystem::create_directories(dir);
    const auto rtf = dir / "log.txt";  // a text extension still gets a rich-text document
    std::ofstream(rtf, std::ios::binary) << document;
    const auto text = dir / "log.out";
    const std::string command = "unrtf --text --quiet '" + rtf.string() + "' > '" + text.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::ifstream in(text);
    std::vector<std::string> got;
    bool body = false;  // unrtf's own header ends with a line of dashes
    for (std::string line; std::getline(in, line);) {
        if (!body) {
            body = line.rfind("-----", 0) == 0;
            continue;
        }
        got.push_back(line);
    }
    while (!got.empty() && got.back().empty()) got.pop_back();
    std::vector<std::string> expected;
    for (const auto& line : lines) expected.push_back(CollapseSpaces(line));
    EXPECT_EQ(got, expected);
}

TEST(LogRtf, NonAsciiTextIsWrittenAsUnicodeEscapes)
{
    const std::string document = LogToRtf(std::vector<std::string>{"Datei \xC3\x9C\xF0\x9F\x98\x80 \xFF."});
    EXPECT_NE(document.find("Datei \\u220?\\u-10179?\\u-8704? \\u-3?."), std::string::npos) << document;
}

}  // namespace
}  // namespace quillon

#include "log/SaveLog.h"

namespace quillon {
namespace {

TEST(SaveLogAs, WritesTheDocumentThenLogsTheName)
{
    const auto dir = std::filesystem::temp_directory_path() / "quillon-save-log";
    std::filesystem::create_directories(dir);
    const auto path = (dir / "session.log").string();
    Log log;
    log.LogMessage(LogTrying, " erase the chip");
    ASSERT_FALSE(SaveLogAs(log, path).Failed());
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), LogToRtf(std::vector<std::string>{"Trying to erase the chip"}));
    EXPECT_EQ(log.Lines().back(), "Log saved to file: " + path);  // not in the saved file
}

TEST(SaveLogAs, AFailedWriteLogsNothingAndSaysWhy)
{
    Log log;
    log.LogMessage(LogPortClosed, "");
    const auto status = SaveLogAs(log, "/nonexistent-dir/quillon/log.rtf");
    EXPECT_EQ(status, FailureKind::File);
    EXPECT_NE(status.words.find("/nonexistent-dir/quillon/log.rtf"), std::string::npos) << status.words;
    EXPECT_EQ(log.Lines().size(), 1u);
}

}  // namespace
}  // namespace quillon
