#include <gtest/gtest.h>

#include <optional>
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

// Typed bytes, a fill: each one step back and forward, with the bytes, their marks and the caret.
TEST(MemoryDocumentUndo, EachEditIsOneStepThatRestoresBytesMarksAndCaret)
{
    MemoryDocument document(32);
    const ByteEdit typed[] = {{4, 0x1F, 0}, {4, 0x12, 0}};  // two digits of one byte
    document.Edit(typed, 10, 16);
    std::vector<ByteEdit> fill;
    for (std::size_t a = 0; a < 32; ++a) fill.push_back({a, 0x00, 0});
    document.Edit(fill, 16, 16);
    ASSERT_EQ(document.At(31), 0x00);
    EXPECT_EQ(document.MarksAt(31), kChangedByUser);

    EXPECT_EQ(document.Undo(), std::optional<std::size_t>(16));
    EXPECT_EQ(document.At(4), 0x12);
    EXPECT_EQ(document.At(31), 0xFF);
    EXPECT_EQ(document.MarksAt(31), 0);
    EXPECT_EQ(document.Undo(), std::optional<std::size_t>(10));
    EXPECT_EQ(document.At(4), 0xFF) << "an address edited twice in one step undoes to its first value";
    EXPECT_EQ(document.MarksAt(4), 0);
    EXPECT_EQ(document.Undo(), std::nullopt);

    EXPECT_EQ(document.Redo(), std::optional<std::size_t>(16));
    EXPECT_EQ(document.At(4), 0x12);
    EXPECT_EQ(document.MarksAt(4), kChangedByUser);

    // A new edit after an undo drops the steps that were undone.
    document.Edit(std::vector<ByteEdit>{{5, 0x77, kShownUpperCase}}, 16, 19);
    EXPECT_FALSE(document.CanRedo());
    EXPECT_EQ(document.MarksAt(5), kShownUpperCase | kChangedByUser);
}

TEST(MemoryDocumentUndo, AReadOrLoadLeavesNothingToUndoAndNoMarks)
{
    MemoryDocument document(16);
    document.Edit(std::vector<ByteEdit>{{1, 0x00, 0}}, 0, 0);
    const std::vector<std::uint8_t> read(16, 0xAA);
    document.Assign(read);
    EXPECT_FALSE(document.CanUndo());
    EXPECT_EQ(document.MarksAt(1), 0);
    document.Edit(std::vector<ByteEdit>{{1, 0x00, 0}}, 0, 0);
    document.Reset(16);
    EXPECT_FALSE(document.CanUndo());
}

TEST(MemoryDocumentUndo, TheHistoryKeepsTheNewestStepsWithinItsBound)
{
    MemoryDocument document(std::size_t{1} << 18);  // the largest flash
    std::vector<ByteEdit> fill(document.Size());
    for (std::size_t a = 0; a < fill.size(); ++a) fill[a] = {a, static_cast<std::uint8_t>(a), 0};
    for (int i = 0; i < 6; ++i) document.Edit(fill, 0, static_cast<std::size_t>(i));
    int undone = 0;
    while (document.Undo()) ++undone;
    EXPECT_EQ(undone, 4);
    EXPECT_EQ(document.At(7), 7) << "the oldest steps were forgotten, not the newest";
}

TEST(MemoryDocumentMarks, DifferencesAreMarkedTypingOverOneAndAWriteClearThem)
{
    MemoryDocument document(8);
    const std::vector<std::uint8_t> chip = {0xFF, 0x00, 0xFF, 0xFF, 0x11, 0xFF, 0xFF};  // one shorter
    std::vector<std::pair<std::size_t, std::size_t>> heard;
    auto listening = document.Listen([&](std::size_t first, std::size_t last) { heard.emplace_back(first, last); });
    EXPECT_EQ(document.MarkDifferences(chip), 2u);
    EXPECT_EQ(heard.back(), (std::pair<std::size_t, std::size_t>{0, 8}));
    EXPECT_EQ(document.MarksAt(1), kDiffersFromChip);
    EXPECT_EQ(document.MarksAt(4), kDiffersFromChip);
    EXPECT_EQ(document.MarksAt(7), 0) << "a byte the chip's bytes do not reach is not a difference";

    document.Edit(std::vector<ByteEdit>{{4, 0x11, 0}}, 0, 0);
    EXPECT_EQ(document.MarksAt(4), kChangedByUser);
    document.MarkWritten();
    for (std::size_t a = 0; a < 8; ++a) EXPECT_EQ(document.MarksAt(a), 0) << a;
    EXPECT_TRUE(document.CanUndo()) << "a write keeps the edits undoable";
}

// After a write the chip holds the edited bytes: taking an edit back makes the byte differ from
// the chip again, and doing it again makes it the chip's once more.
TEST(MemoryDocumentMarks, UndoAcrossAWriteMarksWhatNoLongerMatchesTheChip)
{
    MemoryDocument document(4);
    document.Edit(std::vector<ByteEdit>{{1, 0x11, 0}}, 1, 2);
    document.Edit(std::vector<ByteEdit>{{1, 0x22, 0}, {2, 0x33, 0}}, 2, 3);
    document.MarkWritten();  // the chip holds FF 22 33 FF
    document.Edit(std::vector<ByteEdit>{{2, 0xFF, 0}}, 3, 3);  // after the write
    ASSERT_EQ(document.MarksAt(2), kChangedByUser);

    struct Step {
        const char* what;
        std::uint8_t at1, marks1, at2, marks2;
    };
    const Step steps[] = {
        {"undo the edit after the write", 0x22, 0, 0x33, 0},
        {"undo the written edit", 0x11, kChangedByUser, 0xFF, kChangedByUser},
        {"undo the first edit", 0xFF, kChangedByUser, 0xFF, kChangedByUser},
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(document.Undo()) << s.what;
        EXPECT_EQ(document.At(1), s.at1) << s.what;
        EXPECT_EQ(document.MarksAt(1), s.marks1) << s.what;
        EXPECT_EQ(document.At(2), s.at2) << s.what;
        EXPECT_EQ(document.MarksAt(2), s.marks2) << s.what;
    }
    document.Redo();
    document.Redo();
    EXPECT_EQ(document.MarksAt(1), 0) << "redone to what the chip holds";
    EXPECT_EQ(document.MarksAt(2), 0);
    document.Redo();
    EXPECT_EQ(document.MarksAt(2), kChangedByUser);
}

}  // namespace
}  // namespace quillon
