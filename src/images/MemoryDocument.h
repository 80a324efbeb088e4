// The bytes one hex view shows and edits (a page's flash or EEPROM), apart from any widget: who
// wants to know which bytes changed listens for ranges, and every byte has room for marks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace quillon {

// Bits of a byte's marks.
enum ByteMark : std::uint8_t {
    // Typed as a lower-case key code into the character column: the byte holds the code, the
    // column shows the letter upper-cased, as the editor always has.
    kShownUpperCase = 0x01,
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

    // A new size with every byte `fill` and no marks.
    void Reset(std::size_t size, std::uint8_t fill = 0xFF);
    // Copies bytes into the start of the document (as many as fit) and clears their marks.
    void Assign(std::span<const std::uint8_t> bytes, std::size_t at = 0);
    // Edits outside the document are left out; listeners hear one range for all of them.
    void Apply(std::span<const ByteEdit> edits);

    [[nodiscard]] Listening Listen(ChangeListener listener);

private:
    void Changed(std::size_t first, std::size_t last) const;

    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> marks_;
    std::shared_ptr<Listeners> listeners_ = std::make_shared<Listeners>();
};

}  // namespace quillon
