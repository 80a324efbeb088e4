#include "images/MemoryDocument.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillon {

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
    Changed(0, size);
}

void MemoryDocument::Assign(std::span<const std::uint8_t> bytes, std::size_t at)
{
    if (at >= bytes_.size()) return;
    const std::size_t count = std::min(bytes.size(), bytes_.size() - at);
    if (count == 0) return;
    std::memcpy(bytes_.data() + at, bytes.data(), count);
    std::memset(marks_.data() + at, 0, count);
    Changed(at, at + count);
}

void MemoryDocument::Apply(std::span<const ByteEdit> edits)
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
