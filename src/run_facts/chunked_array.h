#pragma once
// An array that grows by fixed chunks: no copy when it grows, and no more than one
// chunk of room unused, where a doubling vector may leave half its capacity unused.

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

namespace vexlo {

template <typename T, std::size_t kPerChunk>
class ChunkedArray {
 public:
  void PushBack(const T& value) {
    if (size_ % kPerChunk == 0) chunks_.push_back(std::make_unique_for_overwrite<Chunk>());
    (*chunks_.back())[size_ % kPerChunk] = value;
    ++size_;
  }
  [[nodiscard]] const T& operator[](std::size_t index) const { return (*chunks_[index / kPerChunk])[index % kPerChunk]; }
  [[nodiscard]] std::size_t Size() const noexcept { return size_; }
  void Clear() noexcept {
    chunks_.clear();
    chunks_.shrink_to_fit();
    size_ = 0;
  }
  [[nodiscard]] std::size_t MemoryBytes() const noexcept {
    return chunks_.capacity() * sizeof(chunks_[0]) + chunks_.size() * sizeof(Chunk);
  }

 private:
  using Chunk = std::array<T, kPerChunk>;
  std::vector<std::unique_ptr<Chunk>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace vexlo
