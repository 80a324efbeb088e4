#include "images/MemoryDocument.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillon {

namespace {
// The undo history holds at most this many byte edits (16 bytes each, twice): four fills of the
// largest flash. Older steps are forgotten first.
constexpr std::size_t kKeptEdits = std::size_t{1} << 20;
}  // namespace

MemoryDocument::Listening& MemoryDocument::Listening::operator=(Listening&& other) noexcept
{
    if (this != &other) {
        Stop();
        listeners_ = std::move(other.listeners_);
        id_ = other.id_;
    }
    return *this;
}

void MemoryDocument::Listening::Stop()
{
    if (auto listeners = listeners_.lock())
        std::erase_if(listeners->entries, [this](const auto& entry) { return entry.first == id_; });
    listeners_.reset();
}

MemoryDocument::MemoryDocument(std::size_t size, std::uint8_t fill) : bytes_(size, fill), marks_(size, 0) {}

MemoryDocument::MemoryDocument(const MemoryDocument& other) : bytes_(other.bytes_), marks_(other.marks_) {}

MemoryDocument& MemoryDocument::operator=(const MemoryDocument& other)
{
    if (this == &other) return *this;
    bytes_ = other.bytes_;
    marks_ = other.marks_;
    ForgetSteps();
    Changed(0, bytes_.size());
    return *this;
}

void MemoryDocument::Reset(std::size_t size, std::uint8_t fill)
{
    bytes_.assign(size, fill);
    marks_.assign(size, 0);
    // A smaller document gives its memory back: the largest flash is 256 KiB per page.
    bytes_.shrink_to_fit();
    marks_.shrink_to_fit();
    ForgetSteps();
    Changed(0, size);
}

void MemoryDocument::Assign(std::span<const std::uint8_t> bytes, std::size_t at)
{
    if (at >= bytes_.size()) return;
    const std::size_t count = std::min(bytes.size(), bytes_.size() - at);
    if (count == 0) return;
    std::memcpy(bytes_.data() + at, bytes.data(), count);
    std::memset(marks_.data() + at, 0, count);
    ForgetSteps();
    Changed(at, at + count);
}

void MemoryDocument::Apply(std::span<const ByteEdit> edits) { Put(edits); }

void MemoryDocument::Put(std::span<const ByteEdit> edits)
{
    std::size_t first = bytes_.size();
    std::size_t last = 0;
    for (const ByteEdit& e : edits) {
        if (e.address >= bytes_.size()) continue;
        bytes_[e.address] = e.value;
        marks_[e.address] = e.marks;
        first = std::min(first, e.address);
        last = std::max(last, e.address + 1);
    }
    if (first < last) Changed(first, last);
}

void MemoryDocument::Edit(std::span<const ByteEdit> edits, std::size_t caretBefore, std::size_t caretAfter)
{
    Step step{{}, {}, caretBefore, caretAfter};
    step.before.reserve(edits.size());
    step.after.reserve(edits.size());
    for (const ByteEdit& e : edits) {
        if (e.address >= bytes_.size()) continue;
        step.before.push_back({e.address, bytes_[e.address], marks_[e.address]});
        const auto marks = static_cast<std::uint8_t>((e.marks | kChangedByUser) & ~kDiffersFromChip);
        step.after.push_back({e.address, e.value, marks});
    }
    // The earlier values go first, so that an address edited twice in one step undoes to its
    // value before the step.
    std::reverse(step.before.begin(), step.before.end());
    Put(step.after);
    steps_.resize(done_);
    keptEdits_ = 0;
    for (const Step& kept : steps_) keptEdits_ += kept.after.size();
    keptEdits_ += step.after.size();
    steps_.push_back(std::move(step));
    std::size_t drop = 0;
    while (keptEdits_ > kKeptEdits && drop + 1 < steps_.size()) keptEdits_ -= steps_[drop++].after.size();
    steps_.erase(steps_.begin(), steps_.begin() + static_cast<std::ptrdiff_t>(drop));
    done_ = steps_.size();
}

std::optional<std::size_t> MemoryDocument::Undo()
{
    if (!CanUndo()) return std::nullopt;
    const Step& step = steps_[--done_];
    Put(step.before);
    return step.caretBefore;
}

std::optional<std::size_t> MemoryDocument::Redo()
{
    if (!CanRedo()) return std::nullopt;
    const Step& step = steps_[done_++];
    Put(step.after);
    return step.caretAfter;
}

void MemoryDocument::ForgetSteps()
{
    steps_.clear();
    steps_.shrink_to_fit();
    done_ = 0;
    keptEdits_ = 0;
}

void MemoryDocument::ClearMarks(std::uint8_t mask)
{
    std::size_t first = marks_.size();
    std::size_t last = 0;
    for (std::size_t i = 0; i < marks_.size(); ++i) {
        if ((marks_[i] & mask) == 0) continue;
        marks_[i] = static_cast<std::uint8_t>(marks_[i] & ~mask);
        first = std::min(first, i);
        last = i + 1;
    }
    if (first < last) Changed(first, last);
}

void MemoryDocument::MarkWritten()
{
    ClearMarks(kChangedByUser | kDiffersFromChip);
    // Otherwise an undo would bring back the marks from before the write: a byte taken back to
    // what the chip held earlier would show as unchanged while the chip holds the newer value.
    for (Step& step : steps_)
        for (auto* edits : {&step.before, &step.after})
            for (ByteEdit& e : *edits) {
                const bool changed = e.value != bytes_[e.address];
                e.marks = static_cast<std::uint8_t>((changed ? e.marks | kChangedByUser : e.marks & ~kChangedByUser) &
                                                    ~kDiffersFromChip);
            }
}

std::size_t MemoryDocument::MarkDifferences(std::span<const std::uint8_t> chip)
{
    const std::size_t size = std::min(chip.size(), bytes_.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < marks_.size(); ++i) {
        const bool differs = i < size && bytes_[i] != chip[i];
        differing += differs ? 1 : 0;
        marks_[i] = static_cast<std::uint8_t>(differs ? marks_[i] | kDiffersFromChip : marks_[i] & ~kDiffersFromChip);
    }
    if (!marks_.empty()) Changed(0, marks_.size());
    return differing;
}

MemoryDocument::Listening MemoryDocument::Listen(ChangeListener listener)
{
    const int id = listeners_->next++;
    listeners_->entries.emplace_back(id, std::move(listener));
    return Listening(listeners_, id);
}

void MemoryDocument::Changed(std::size_t first, std::size_t last) const
{
    for (const auto& entry : listeners_->entries) entry.second(first, last);
}

}  // namespace quillon
