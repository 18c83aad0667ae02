#include "launcher/oem_decoder.h"

#include <algorithm>
#include <limits>

namespace vexlo {
namespace {

// Length of a UTF-8 sequence from its lead byte; 1 for anything else, so that stray
// bytes are passed on (and become U+FFFD) rather than held back for ever.
std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

std::wstring DecodeBytes(UINT codePage, std::string_view bytes) {
  std::wstring text;
  // MultiByteToWideChar takes an int length; output pieces are far below that.
  for (std::size_t done = 0; done < bytes.size();) {
    const int chunk = static_cast<int>(std::min<std::size_t>(
        bytes.size() - done, static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)));
    const char* from = bytes.data() + done;
    const int needed = ::MultiByteToWideChar(codePage, 0, from, chunk, nullptr, 0);
    if (needed <= 0) {
      // An unknown code page: keep the bytes visible rather than drop them.
      for (int i = 0; i < chunk; ++i) text.push_back(static_cast<unsigned char>(from[i]));
    } else {
      const std::size_t at = text.size();
      text.resize(at + static_cast<std::size_t>(needed));
      ::MultiByteToWideChar(codePage, 0, from, chunk, text.data() + at, needed);
    }
    done += static_cast<std::size_t>(chunk);
  }
  return text;
}

OemDecoder::OemDecoder(UINT codePage)
    : codePage_(codePage == CP_OEMCP ? ::GetOEMCP() : codePage) {
  CPINFO info{};
  if (codePage_ != CP_UTF8 && ::GetCPInfo(codePage_, &info) && info.MaxCharSize == 2) {
    doubleByte_ = true;
  }
}

std::size_t OemDecoder::CompleteLength(std::string_view bytes) const {
  const std::size_t n = bytes.size();
  if (codePage_ == CP_UTF8) {
    // Look back over at most three bytes for the lead byte of the last sequence.
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
      const auto c = static_cast<unsigned char>(bytes[n - back]);
      if ((c & 0xC0) == 0x80) continue;  // continuation byte
      return Utf8SequenceLength(c) > back ? n - back : n;
    }
    return n;
  }
  if (doubleByte_) {
    // Lead and trail bytes overlap in these code pages, so only a walk from a known
    // character boundary tells whether the last byte starts a character.
    std::size_t i = 0;
    while (i < n) {
      if (::IsDBCSLeadByteEx(codePage_, static_cast<BYTE>(bytes[i]))) {
        if (i + 1 == n) return i;
        i += 2;
      } else {
        ++i;
      }
    }
    return n;
  }
  return n;  // single-byte code page: every byte is a character
}

std::wstring OemDecoder::Decode(std::string_view bytes) {
  pending_.append(bytes);
  const std::size_t complete = CompleteLength(pending_);
  std::wstring text = DecodeBytes(codePage_, std::string_view(pending_).substr(0, complete));
  pending_.erase(0, complete);
  return text;
}

std::wstring OemDecoder::Flush() {
  std::wstring text = DecodeBytes(codePage_, pending_);
  pending_.clear();
  return text;
}

}  // namespace vexlo
