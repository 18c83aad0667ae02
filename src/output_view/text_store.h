#pragma once
// Text held once for everything that shows it. A store only ever grows at its end, so
// what it holds never moves or changes and any number of texts can refer to it; a
// text is a short list of ranges over stores. The output boxes share one store: a
// piece appended to each of them is held once, and a kept copy of a box is a copy of
// its ranges.

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/read_times.h"
#include "output_view/read_stamps.h"

namespace vexlo {

class TextStore {
 public:
  static constexpr unsigned kChunkBits = 16;
  static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkBits;

  TextStore() = default;
  TextStore(const TextStore&) = delete;
  TextStore& operator=(const TextStore&) = delete;

  // Where the next character goes. Positions count every character ever appended.
  [[nodiscard]] std::size_t End() const noexcept { return end_; }
  [[nodiscard]] wchar_t operator[](std::size_t p) const noexcept {
    return chunks_[p >> kChunkBits][p & (kChunkSize - 1)];
  }
  // The characters from p on that lie together in memory, at most `count` of them.
  [[nodiscard]] std::wstring_view Run(std::size_t p, std::size_t count) const noexcept;
  // All or nothing: the chunks it needs are allocated before anything changes.
  // Returns where the text starts. `times`, offsets in `text`: when its parts were
  // read; null for text without a time.
  std::size_t Append(std::wstring_view text, const ReadTimes* times = nullptr);
  // When the character at p was read; empty for text without a time.
  [[nodiscard]] std::optional<std::int64_t> TimeAt(std::size_t p) const { return stamps_.At(p); }
  [[nodiscard]] const ReadStamps& Stamps() const noexcept { return stamps_; }
  // The piece the last Append added.
  [[nodiscard]] std::size_t LastPieceStart() const noexcept { return lastStart_; }
  [[nodiscard]] bool LastPieceIs(std::wstring_view text) const noexcept;

  // Its own accounting: the chunks it holds, and the first position still held.
  [[nodiscard]] std::size_t ChunksHeld() const noexcept { return chunks_.size() - freed_; }
  [[nodiscard]] std::size_t BytesHeld() const noexcept {
    return ChunksHeld() * kChunkSize * sizeof(wchar_t) + stamps_.BytesHeld();
  }
  [[nodiscard]] std::size_t FirstHeld() const noexcept { return freed_ << kChunkBits; }

 private:
  friend class StoreRange;
  // Every range refers from its start on; the whole chunks before the first start
  // that any range refers to are freed, as nothing can read them again.
  void Refer(std::size_t start);
  void Unrefer(std::size_t start) noexcept;
  void FreeUnreferenced() noexcept;

  std::vector<std::unique_ptr<wchar_t[]>> chunks_;  // the first freed_ are null
  std::size_t freed_ = 0;
  std::size_t end_ = 0;
  std::size_t lastStart_ = 0;
  std::map<std::size_t, std::size_t> starts_;  // start of the ranges referring -> how many
  ReadStamps stamps_;
};

// [start, start + length) of a store, which the store keeps while the range lives.
class StoreRange {
 public:
  StoreRange(std::shared_ptr<TextStore> store, std::size_t start, std::size_t length);
  StoreRange(const StoreRange& other) : StoreRange(other.store_, other.start_, other.length_) {}
  StoreRange(StoreRange&& other) noexcept;
  StoreRange& operator=(StoreRange other) noexcept;
  ~StoreRange();

  [[nodiscard]] const TextStore& store() const noexcept { return *store_; }
  [[nodiscard]] bool In(const TextStore* store) const noexcept { return store_.get() == store; }
  [[nodiscard]] std::size_t start() const noexcept { return start_; }
  [[nodiscard]] std::size_t length() const noexcept { return length_; }
  [[nodiscard]] std::size_t end() const noexcept { return start_ + length_; }
  // Changes the end only: the start it refers from stays.
  void Resize(std::size_t length) noexcept { length_ = length; }
  // The part from `offset` on, for `length` characters.
  [[nodiscard]] StoreRange Part(std::size_t offset, std::size_t length) const {
    return StoreRange(store_, start_ + offset, length);
  }

 private:
  std::shared_ptr<TextStore> store_;
  std::size_t start_;
  std::size_t length_;
};

// A text as ranges of stores. Appending never moves what is held, and neither
// copying a text nor cutting it copies characters. Text that another store does not
// hold goes into a store of this text's own.
class ChunkedText {
 public:
  static constexpr unsigned kChunkBits = TextStore::kChunkBits;
  static constexpr std::size_t kChunkSize = TextStore::kChunkSize;

  ChunkedText() = default;
  ChunkedText(const ChunkedText&) = default;
  ChunkedText& operator=(const ChunkedText&) = default;
  ChunkedText(ChunkedText&& other) noexcept { *this = std::move(other); }
  ChunkedText& operator=(ChunkedText&& other) noexcept;

  [[nodiscard]] std::size_t size() const noexcept { return size_; }
  [[nodiscard]] wchar_t operator[](std::size_t i) const noexcept {
    const Part& part = PartAt(i);
    return part.range.store()[part.range.start() + (i - part.at)];
  }
  void Append(const wchar_t* text, std::size_t count);
  // Appends to `shared`, or refers to its last piece when that holds the same
  // characters: the same piece appended to several texts one after another is held
  // once. All or nothing.
  void AppendShared(const std::shared_ptr<TextStore>& shared, std::wstring_view text,
                    const ReadTimes* times = nullptr);
  // When the character at i was read; empty for text without a time.
  [[nodiscard]] std::optional<std::int64_t> TimeAt(std::size_t i) const {
    const Part& part = PartAt(i);
    return part.range.store().TimeAt(part.range.start() + (i - part.at));
  }
  // Keeps the first `from` characters and adds each part: all or nothing.
  void ReplaceFrom(std::size_t from, std::initializer_list<std::wstring_view> parts);
  // [first, last) becomes `text`, in storage of its own; what comes after keeps its
  // storage. All or nothing.
  void Replace(std::size_t first, std::size_t last, std::wstring_view text);
  // Keeps the first `size` characters.
  void Truncate(std::size_t size) noexcept;
  void CopyTo(std::size_t from, std::size_t count, wchar_t* out) const;
  [[nodiscard]] std::wstring Slice(std::size_t from, std::size_t count) const;
  // Calls visit(const wchar_t*, n) for [from, from + count), run by run in memory.
  template <typename Visit>
  void ForEachRun(std::size_t from, std::size_t count, Visit&& visit) const;
  // The chunks of the text's own store; shared stores count for themselves.
  [[nodiscard]] std::size_t BytesHeld() const noexcept { return own_ ? own_->BytesHeld() : 0; }
  [[nodiscard]] std::size_t RangeCount() const noexcept { return parts_.size(); }

 private:
  struct Part {
    StoreRange range;
    std::size_t at;  // where it starts in the text
  };
  [[nodiscard]] const Part& PartAt(std::size_t i) const noexcept;
  [[nodiscard]] std::vector<Part> Head(std::size_t size) const;
  // Adds `range` at the end of `parts`, joined to the last part where it goes on.
  static void Add(std::vector<Part>& parts, std::size_t& size, StoreRange range);
  [[nodiscard]] StoreRange Own(std::wstring_view text);

  std::vector<Part> parts_;
  std::size_t size_ = 0;
  std::shared_ptr<TextStore> own_;
};

template <typename Visit>
void ChunkedText::ForEachRun(std::size_t from, std::size_t count, Visit&& visit) const {
  if (count == 0) return;
  std::size_t index = static_cast<std::size_t>(&PartAt(from) - parts_.data());
  while (count > 0) {
    const Part& part = parts_[index++];
    std::size_t offset = from - part.at;
    std::size_t n = std::min(count, part.range.length() - offset);
    from += n;
    count -= n;
    while (n > 0) {
      const std::wstring_view run = part.range.store().Run(part.range.start() + offset, n);
      visit(run.data(), run.size());
      offset += run.size();
      n -= run.size();
    }
  }
}

}  // namespace vexlo
