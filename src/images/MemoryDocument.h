// The bytes one hex view shows and edits (a page's flash or EEPROM), apart from any widget: who
// wants to know which bytes changed listens for ranges, every byte has room for marks, and the
// user's edits can be undone and redone step by step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quillon {

// Bits of a byte's marks.
enum ByteMark : std::uint8_t {
    // Typed as a lower-case key code into the character column: the byte holds the code (saved
    // images keep what was typed), the column shows the letter upper-cased, the look users know
    // (kept: docs/compatibility.md).
    kShownUpperCase = 0x01,
    // Edited by the user since the last read, load or write of the memory.
    kChangedByUser = 0x02,
    // The last compare found another value in the chip here.
    kDiffersFromChip = 0x04,
};

// One byte of a document set to a value with its marks.
struct ByteEdit {
    std::size_t address = 0;
    std::uint8_t value = 0;
    std::uint8_t marks = 0;
    bool operator==(const ByteEdit&) const = default;
};

class MemoryDocument {
public:
    // Told that the bytes [first, last) changed. Called on the thread that changed them.
    using ChangeListener = std::function<void(std::size_t first, std::size_t last)>;

private:
    struct Listeners {
        std::vector<std::pair<int, ChangeListener>> entries;
        int next = 1;
    };

public:
    // Stops a listener when it goes out of scope; harmless after the document is gone (a window
    // may destroy its documents before its widgets).
    class Listening {
    public:
        Listening() = default;
        Listening(std::weak_ptr<Listeners> listeners, int id) : listeners_(std::move(listeners)), id_(id) {}
        Listening(Listening&& other) noexcept = default;
        Listening& operator=(Listening&& other) noexcept;
        Listening(const Listening&) = delete;
        Listening& operator=(const Listening&) = delete;
        ~Listening() { Stop(); }

    private:
        void Stop();

        std::weak_ptr<Listeners> listeners_;
        int id_ = 0;
    };

    MemoryDocument() = default;
    explicit MemoryDocument(std::size_t size, std::uint8_t fill = 0xFF);
    // A copy takes the bytes and marks, never the listeners.
    MemoryDocument(const MemoryDocument& other);
    MemoryDocument& operator=(const MemoryDocument& other);

    std::size_t Size() const { return bytes_.size(); }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }
    std::uint8_t At(std::size_t address) const { return bytes_[address]; }
    std::uint8_t MarksAt(std::size_t address) const { return marks_[address]; }

    // A new size with every byte `fill` and no marks. Nothing is left to undo.
    void Reset(std::size_t size, std::uint8_t fill = 0xFF);
    // Copies bytes into the start of the document (as many as fit) and clears their marks: what a
    // read or a load does. Nothing is left to undo, as the bytes before it are gone from the view.
    void Assign(std::span<const std::uint8_t> bytes, std::size_t at = 0);
    // Edits outside the document are left out; listeners hear one range for all of them.
    void Apply(std::span<const ByteEdit> edits);

    // A user's edit (one key, a fill, a paste) as one step that Undo takes back whole. The bytes
    // get the changed mark and lose a difference mark. The carets come back with Undo and Redo.
    void Edit(std::span<const ByteEdit> edits, std::size_t caretBefore, std::size_t caretAfter);
    bool CanUndo() const { return done_ > 0; }
    bool CanRedo() const { return done_ < steps_.size(); }
    // The caret the step left from, or none when there is nothing to undo.
    std::optional<std::size_t> Undo();
    // The caret the step went to, or none when there is nothing to redo.
    std::optional<std::size_t> Redo();

    // Takes `mask` off every byte's marks.
    void ClearMarks(std::uint8_t mask);
    // The chip now holds these bytes (a write of them succeeded): no byte is changed or differs,
    // and the edits left to undo or redo are marked changed by whether they would take a byte
    // away from what the chip holds. The history stays.
    void MarkWritten();
    // Marks the bytes whose value the chip does not hold (compared over the shorter of the two);
    // the others lose the mark. Returns how many differ.
    std::size_t MarkDifferences(std::span<const std::uint8_t> chip);

    [[nodiscard]] Listening Listen(ChangeListener listener);

private:
    struct Step {
        std::vector<ByteEdit> before;
        std::vector<ByteEdit> after;
        std::size_t caretBefore = 0;
        std::size_t caretAfter = 0;
    };

    void Changed(std::size_t first, std::size_t last) const;
    void ForgetSteps();
    // Sets the bytes and marks as the edits say, and tells the listeners.
    void Put(std::span<const ByteEdit> edits);

    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> marks_;
    std::vector<Step> steps_;
    std::size_t done_ = 0;      // steps_[0, done_) are done, the rest undone
    std::size_t keptEdits_ = 0;  // the byte edits all steps hold, kept within a bound
    std::shared_ptr<Listeners> listeners_ = std::make_shared<Listeners>();
};

}  // namespace quillon
