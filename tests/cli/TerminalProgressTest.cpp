#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/TerminalProgress.h"

namespace quillon::cli {
namespace {

std::string Contents(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    std::string s;
    for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
    return s;
}

// The bar is redrawn in place, lifted out of the way of a log line, and gone after Free.
TEST(TerminalProgress, DrawsInPlaceAndMakesRoomForLogLines)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    TerminalProgress bar(f);
    bar.Create();
    bar.SetPosition(50);
    bar.SetPosition(50);  // no change, no redraw
    bar.Hide();
    std::fputs("a log line\n", f);
    bar.Show();
    bar.SetPosition(150);  // kept within the bar
    bar.Free();
    bar.Show();  // a freed window stays away
    const std::string empty(40, ' ');
    const std::string half = std::string(20, '#') + std::string(20, ' ');
    EXPECT_EQ(Contents(f), "\r[" + empty + "] 0%" + "\r[" + half + "] 50%" + "\r\033[K" + "a log line\n" +
                               "\r[" + half + "] 50%" + "\r[" + std::string(40, '#') + "] 100%" + "\r\033[K");
    std::fclose(f);
}

// After the first seconds the bar tells the time left and the rate; a shorter text then leaves
// no tail of the longer one on the line.
TEST(TerminalProgress, TellsTimeLeftAndRateOnceTheRateSettles)
{
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    using Clock = ProgressText::Clock;
    Clock::time_point now{};
    TerminalProgress bar(f, [&now] { return now; });
    bar.Create();
    now += std::chrono::milliseconds(500);
    bar.SetCount(1000, 262144, 0);  // too early for an estimate
    now = Clock::time_point{} + std::chrono::seconds(4);
    bar.SetCount(65536, 262144, 25);  // 16384 B/s: 196608 bytes take 12 s more
    now = Clock::time_point{} + std::chrono::seconds(16);
    bar.SetCount(262144, 262144, 100);
    bar.Free();
    const std::string text = Contents(f);
    EXPECT_NE(text.find("] 0%\r"), std::string::npos) << text;
    EXPECT_NE(text.find("] 25%  0:12 left  16 KB/s\r"), std::string::npos) << text;
    // The last draw pads over the longer one before it.
    EXPECT_NE(text.find("] 100%  0:00 left  16 KB/s\r"), std::string::npos) << text;
    std::fclose(f);
}

TEST(ProgressText, DurationsAndRates)
{
    EXPECT_EQ(DurationText(std::chrono::seconds(7)), "0:07");
    EXPECT_EQ(DurationText(std::chrono::seconds(83)), "1:23");
    EXPECT_EQ(DurationText(std::chrono::seconds(3723)), "1:02:03");
    EXPECT_EQ(RateText(640), "640 B/s");
    EXPECT_EQ(RateText(1650), "1.6 KB/s");
    EXPECT_EQ(RateText(16384), "16 KB/s");
}

}  // namespace
}  // namespace quillon::cli
