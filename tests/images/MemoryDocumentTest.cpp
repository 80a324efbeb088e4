#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "images/MemoryDocument.h"

namespace quillon {
namespace {

using Range = std::pair<std::size_t, std::size_t>;

TEST(MemoryDocument, ListenersHearTheRangeEachChangeCovers)
{
    MemoryDocument document(64);
    std::vector<Range> heard;
    auto listening = document.Listen([&](std::size_t first, std::size_t last) { heard.emplace_back(first, last); });

    const ByteEdit edits[] = {{40, 0x12, 0}, {3, 0x34, kShownUpperCase}, {64, 0x56, 0}};
    document.Apply(edits);
    const std::uint8_t bytes[] = {1, 2, 3, 4};
    document.Assign(bytes, 62);  // two of them fit
    document.Assign(bytes, 64);  // none fits: nothing to tell
    const ByteEdit outside[] = {{100, 0, 0}};
    document.Apply(outside);
    document.Reset(16, 0x00);

    EXPECT_EQ(heard, (std::vector<Range>{{3, 41}, {62, 64}, {0, 16}}));
    EXPECT_EQ(document.Size(), 16u);
    EXPECT_EQ(document.At(3), 0x00);
    EXPECT_EQ(document.MarksAt(3), 0) << "a reset clears the marks";
}

TEST(MemoryDocument, EditsSetBytesAndMarksAndAnAssignClearsTheMarks)
{
    MemoryDocument document(32);
    const ByteEdit edits[] = {{5, 0x61, kShownUpperCase}, {6, 0x00, 0}};
    document.Apply(edits);
    EXPECT_EQ(document.At(5), 0x61);
    EXPECT_EQ(document.MarksAt(5), kShownUpperCase);
    EXPECT_EQ(document.At(6), 0x00);
    EXPECT_EQ(document.At(7), 0xFF);

    const std::uint8_t bytes[] = {0x61, 0x62};
    document.Assign(bytes, 5);
    EXPECT_EQ(document.MarksAt(5), 0);
    EXPECT_EQ(document.At(6), 0x62);
}

TEST(MemoryDocument, AListenerStopsWithItsHandleAndACopyHasNone)
{
    MemoryDocument document(16);
    int calls = 0;
    const ByteEdit edit[] = {{0, 0x00, 0}};
    {
        auto listening = document.Listen([&](std::size_t, std::size_t) { ++calls; });
        MemoryDocument::Listening moved = std::move(listening);
        document.Apply(edit);
        MemoryDocument copy = document;
        copy.Apply(edit);
        EXPECT_EQ(copy.At(0), 0x00);
    }
    document.Apply(edit);
    EXPECT_EQ(calls, 1);

    // A window destroys its documents before its widgets and their handles.
    MemoryDocument::Listening outlives;
    {
        MemoryDocument gone(16);
        outlives = gone.Listen([&](std::size_t, std::size_t) { ++calls; });
    }
}

}  // namespace
}  // namespace quillon
