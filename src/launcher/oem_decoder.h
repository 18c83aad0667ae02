#pragma once
// Turns a console tool's output bytes into UTF-16, piece by piece, without ever
// splitting a multi-byte character between two pieces.

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace vexlo {

class OemDecoder {
 public:
  // codePage: the code page of the bytes; CP_OEMCP means this machine's OEM code page.
  explicit OemDecoder(UINT codePage);

  // Decodes the bytes that form whole characters; an incomplete character at the end
  // is held back and completed by the next call.
  [[nodiscard]] std::wstring Decode(std::string_view bytes);
  // Decodes whatever is still held back; for the end of the stream.
  [[nodiscard]] std::wstring Flush();
  // How many bytes are held back.
  [[nodiscard]] std::size_t PendingBytes() const noexcept { return pending_.size(); }

 private:
  [[nodiscard]] std::size_t CompleteLength(std::string_view bytes) const;

  UINT codePage_;
  bool doubleByte_ = false;
  std::string pending_;
};

// Decodes a whole byte string in the given code page.
[[nodiscard]] std::wstring DecodeBytes(UINT codePage, std::string_view bytes);

}  // namespace vexlo
