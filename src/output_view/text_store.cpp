#include "output_view/text_store.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vexlo {

std::wstring_view TextStore::Run(std::size_t p, std::size_t count) const noexcept {
  const std::size_t offset = p & (kChunkSize - 1);
  return {chunks_[p >> kChunkBits].get() + offset, std::min(count, kChunkSize - offset)};
}

std::size_t TextStore::Append(std::wstring_view text, const ReadTimes* times) {
  const std::size_t start = end_;
  if (text.empty()) return start;
  const std::size_t needed = (end_ + text.size() + kChunkSize - 1) >> kChunkBits;
  // Allocating first: a failure leaves the text as it was, with spare chunks.
  if (needed > chunks_.size()) {
    chunks_.reserve(needed);
    while (chunks_.size() < needed) chunks_.push_back(std::make_unique_for_overwrite<wchar_t[]>(kChunkSize));
  }
  // Should a stamp fail, those added lie past the end, and the next piece's stamps
  // at the same place come after them and win.
  if (times == nullptr || times->empty() || times->front().offset != 0) stamps_.Add(start, std::nullopt);
  if (times != nullptr) {
    for (const ReadTime& time : *times) {
      if (time.offset >= text.size()) continue;
      stamps_.Add(start + time.offset, time.utcTicks != 0 ? std::optional(time.utcTicks) : std::nullopt);
    }
  }
  while (!text.empty()) {
    const std::size_t used = end_ & (kChunkSize - 1);
    const std::size_t n = std::min(text.size(), kChunkSize - used);
    std::memcpy(chunks_[end_ >> kChunkBits].get() + used, text.data(), n * sizeof(wchar_t));
    end_ += n;
    text.remove_prefix(n);
  }
  lastStart_ = start;
  return start;
}

bool TextStore::LastPieceIs(std::wstring_view text) const noexcept {
  // Where nothing refers to it any more, its first chunk may be gone already.
  if (text.empty() || end_ - lastStart_ != text.size() || lastStart_ < FirstHeld()) return false;
  for (std::size_t p = lastStart_; !text.empty();) {
    const std::wstring_view run = Run(p, text.size());
    if (std::wmemcmp(run.data(), text.data(), run.size()) != 0) return false;
    p += run.size();
    text.remove_prefix(run.size());
  }
  return true;
}

void TextStore::Refer(std::size_t start) { ++starts_[start]; }

void TextStore::Unrefer(std::size_t start) noexcept {
  const auto it = starts_.find(start);
  if (it == starts_.end()) return;
  if (--it->second == 0) {
    starts_.erase(it);
    FreeUnreferenced();
  }
}

void TextStore::FreeUnreferenced() noexcept {
  const std::size_t firstReferred = starts_.empty() ? end_ : starts_.begin()->first;
  for (; freed_ < (firstReferred >> kChunkBits) && freed_ < chunks_.size(); ++freed_) chunks_[freed_].reset();
  stamps_.Forget(firstReferred);
}

StoreRange::StoreRange(std::shared_ptr<TextStore> store, std::size_t start, std::size_t length)
    : store_(std::move(store)), start_(start), length_(length) {
  store_->Refer(start_);
}

StoreRange::StoreRange(StoreRange&& other) noexcept
    : store_(std::move(other.store_)), start_(other.start_), length_(other.length_) {}

StoreRange& StoreRange::operator=(StoreRange other) noexcept {
  std::swap(store_, other.store_);
  std::swap(start_, other.start_);
  std::swap(length_, other.length_);
  return *this;
}

StoreRange::~StoreRange() {
  if (store_) store_->Unrefer(start_);
}

ChunkedText& ChunkedText::operator=(ChunkedText&& other) noexcept {
  parts_.swap(other.parts_);
  std::swap(size_, other.size_);
  own_.swap(other.own_);
  return *this;
}

const ChunkedText::Part& ChunkedText::PartAt(std::size_t i) const noexcept {
  if (parts_.size() == 1) return parts_.front();
  const auto after = std::upper_bound(parts_.begin(), parts_.end(), i,
                                      [](std::size_t p, const Part& part) { return p < part.at; });
  return *(after - 1);
}

std::vector<ChunkedText::Part> ChunkedText::Head(std::size_t size) const {
  std::vector<Part> head;
  std::size_t held = 0;
  for (const Part& part : parts_) {
    if (held >= size) break;
    Add(head, held, part.range.Part(0, std::min(part.range.length(), size - held)));
  }
  return head;
}

void ChunkedText::Add(std::vector<Part>& parts, std::size_t& size, StoreRange range) {
  if (range.length() == 0) return;
  const std::size_t length = range.length();
  if (!parts.empty() && parts.back().range.In(&range.store()) && parts.back().range.end() == range.start()) {
    parts.back().range.Resize(parts.back().range.length() + length);
  } else {
    parts.push_back(Part{std::move(range), size});
  }
  size += length;
}

StoreRange ChunkedText::Own(std::wstring_view text) {
  std::shared_ptr<TextStore> own = own_ ? own_ : std::make_shared<TextStore>();
  const std::size_t start = own->Append(text);
  own_ = own;
  return StoreRange(std::move(own), start, text.size());
}

void ChunkedText::Append(const wchar_t* text, std::size_t count) {
  if (count == 0) return;
  StoreRange range = Own({text, count});
  Add(parts_, size_, std::move(range));
}

void ChunkedText::AppendShared(const std::shared_ptr<TextStore>& shared, std::wstring_view text,
                               const ReadTimes* times) {
  if (text.empty()) return;
  StoreRange* last = parts_.empty() || !parts_.back().range.In(shared.get()) ? nullptr : &parts_.back().range;
  if (last != nullptr && last->end() == shared->LastPieceStart() && shared->LastPieceIs(text)) {
    // Another text appended these characters just now, after the same ones as here.
    last->Resize(last->length() + text.size());
  } else if (last != nullptr && last->end() == shared->End()) {
    shared->Append(text, times);
    last->Resize(last->length() + text.size());
  } else {
    // A text that went its own way (emptied, or written anew) joins the store's end.
    const std::size_t start = shared->LastPieceIs(text) ? shared->LastPieceStart() : shared->Append(text, times);
    Add(parts_, size_, StoreRange(shared, start, text.size()));
    return;
  }
  size_ += text.size();
}

void ChunkedText::ReplaceFrom(std::size_t from, std::initializer_list<std::wstring_view> parts) {
  std::vector<Part> next = Head(from);
  std::size_t size = std::min(from, size_);
  for (const std::wstring_view part : parts) {
    if (!part.empty()) Add(next, size, Own(part));
  }
  parts_.swap(next);
  size_ = size;
}

void ChunkedText::Replace(std::size_t first, std::size_t last, std::wstring_view text) {
  std::vector<Part> next = Head(first);
  std::size_t size = std::min(first, size_);
  if (!text.empty()) Add(next, size, Own(text));
  for (const Part& part : parts_) {
    const std::size_t end = part.at + part.range.length();
    if (end <= last) continue;
    const std::size_t offset = last > part.at ? last - part.at : 0;
    Add(next, size, part.range.Part(offset, part.range.length() - offset));
  }
  parts_.swap(next);
  size_ = size;
}

void ChunkedText::Truncate(std::size_t size) noexcept {
  if (size >= size_) return;
  auto it = parts_.begin();
  while (it != parts_.end() && it->at + it->range.length() < size) ++it;
  if (it != parts_.end() && it->at < size) {
    it->range.Resize(size - it->at);
    ++it;
  }
  parts_.erase(it, parts_.end());
  size_ = size;
}

void ChunkedText::CopyTo(std::size_t from, std::size_t count, wchar_t* out) const {
  ForEachRun(from, count, [&out](const wchar_t* run, std::size_t n) {
    std::memcpy(out, run, n * sizeof(wchar_t));
    out += n;
  });
}

std::wstring ChunkedText::Slice(std::size_t from, std::size_t count) const {
  std::wstring s(count, L'\0');
  CopyTo(from, count, s.data());
  return s;
}

}  // namespace vexlo
