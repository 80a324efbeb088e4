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

}  // namespace
}  // namespace quillon::cli
