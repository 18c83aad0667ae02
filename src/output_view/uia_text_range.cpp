#include "output_view/uia_text_range.h"

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "output_view/uia_api.h"
#include "output_view/uia_call.h"

namespace vexlo {
namespace {

constexpr TEXTATTRIBUTEID kIsReadOnlyAttribute = 40015;

// A private identity: how a range recognises another range of ours.
constexpr GUID kTextRangeIid = {0x6f1c2a7e, 0x58b4, 0x4c1d, {0x9e, 0x31, 0x0d, 0x7a, 0x52, 0x9b, 0x44, 0xe1}};

enum class Unit { kCharacter, kWord, kLine, kParagraph, kDocument };

Unit UnitOf(TextUnit unit) noexcept {
  // An unsupported unit falls back to the next larger one: Format to Word, Page to
  // Document.
  switch (unit) {
    case TextUnit_Character: return Unit::kCharacter;
    case TextUnit_Format:
    case TextUnit_Word: return Unit::kWord;
    case TextUnit_Line: return Unit::kLine;
    case TextUnit_Paragraph: return Unit::kParagraph;
    default: return Unit::kDocument;
  }
}

bool AfterCrLf(const TextSource& v, std::size_t p) noexcept {
  return p >= 2 && v.CharAt(p - 2) == L'\r' && v.CharAt(p - 1) == L'\n';
}

// Between the two halves of a surrogate pair, which make one character.
bool InsidePair(const TextSource& v, std::size_t p) noexcept {
  return p > 0 && p < v.Length() && IS_HIGH_SURROGATE(v.CharAt(p - 1)) && IS_LOW_SURROGATE(v.CharAt(p));
}

bool IsBoundary(TextSource& v, Unit unit, std::size_t p) {
  if (p == 0 || p >= v.Length()) return true;
  switch (unit) {
    case Unit::kCharacter: return !InsidePair(v, p);
    case Unit::kWord: return v.IsWordBoundary(p);
    case Unit::kLine: return v.RowStart(v.RowOf(p)) == p;
    case Unit::kParagraph: return AfterCrLf(v, p);
    case Unit::kDocument: return false;
  }
  return true;
}

std::size_t NextBoundary(TextSource& v, Unit unit, std::size_t p) {
  const std::size_t length = v.Length();
  if (p >= length) return length;
  switch (unit) {
    case Unit::kCharacter:
      ++p;
      return InsidePair(v, p) ? p + 1 : p;
    case Unit::kWord: return v.NextWordStart(p);
    case Unit::kLine: {
      const std::size_t row = v.RowOf(p);
      return row + 1 < v.RowCount() ? v.RowStart(row + 1) : length;
    }
    case Unit::kParagraph:
      do ++p; while (p < length && !AfterCrLf(v, p));
      return p;
    case Unit::kDocument: return length;
  }
  return length;
}

std::size_t PreviousBoundary(TextSource& v, Unit unit, std::size_t p) {
  if (p == 0) return 0;
  p = std::min(p, v.Length());
  switch (unit) {
    case Unit::kCharacter:
      --p;
      return InsidePair(v, p) ? p - 1 : p;
    case Unit::kWord: return v.PreviousWordStart(p);
    case Unit::kLine: {
      const std::size_t row = v.RowOf(p);
      return v.RowStart(row) < p ? v.RowStart(row) : v.RowStart(row - 1);
    }
    case Unit::kParagraph:
      do --p; while (p > 0 && !AfterCrLf(v, p));
      return p;
    case Unit::kDocument: return 0;
  }
  return 0;
}

// Moves p by count units; returns how many it moved. A range that is a unit cannot
// start at the end, where no unit follows.
int MoveBy(TextSource& v, Unit unit, int count, std::size_t& p, bool needsUnitAfter) {
  int moved = 0;
  for (; moved < count; ++moved) {
    const std::size_t next = NextBoundary(v, unit, p);
    if (next == p || (needsUnitAfter && next >= v.Length())) break;
    p = next;
  }
  for (; moved > count && p > 0; --moved) p = PreviousBoundary(v, unit, p);
  return moved;
}

}  // namespace

TextRange::TextRange(ElementProvider& owner, std::size_t start, std::size_t end) noexcept
    : owner_(owner), start_(start), end_(end) {
  owner_.AddRef();
}

TextRange::~TextRange() { owner_.Release(); }

void* TextRange::OtherInterface(REFIID iid) noexcept {
  return iid == kTextRangeIid ? static_cast<ITextRangeProvider*>(this) : nullptr;
}

void TextRange::Clamp(const TextSource& view) noexcept {
  end_ = std::min(end_, view.Length());
  start_ = std::min(start_, end_);
}

std::size_t TextRange::Endpoint(TextPatternRangeEndpoint e) const noexcept {
  return e == TextPatternRangeEndpoint_Start ? start_ : end_;
}

void TextRange::SetEndpoint(TextPatternRangeEndpoint e, std::size_t p) noexcept {
  // An endpoint moved past the other one takes it along.
  if (e == TextPatternRangeEndpoint_Start) {
    start_ = p;
    end_ = std::max(end_, p);
  } else {
    end_ = p;
    start_ = std::min(start_, p);
  }
}

const TextRange* TextRange::Ours(ITextRangeProvider* other) const {
  if (other == nullptr) return nullptr;
  void* found = nullptr;
  if (FAILED(other->QueryInterface(kTextRangeIid, &found))) return nullptr;
  auto* range = static_cast<TextRange*>(static_cast<ITextRangeProvider*>(found));
  range->Release();  // the caller holds it for the call
  return &range->owner_ == &owner_ ? range : nullptr;
}

HRESULT TextRange::Clone(ITextRangeProvider** out) {
  return uia::Call(View(), out, [&](TextSource&) {
    *out = owner_.NewRange(start_, end_);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

HRESULT TextRange::Compare(ITextRangeProvider* other, BOOL* out) {
  return uia::Call(View(), out, [&](TextSource&) {
    const TextRange* range = Ours(other);
    if (range == nullptr) return E_INVALIDARG;
    *out = range->start_ == start_ && range->end_ == end_;
    return S_OK;
  });
}

HRESULT TextRange::CompareEndpoints(TextPatternRangeEndpoint endpoint, ITextRangeProvider* target,
                                    TextPatternRangeEndpoint targetEndpoint, int* out) {
  return uia::Call(View(), out, [&](TextSource&) {
    const TextRange* range = Ours(target);
    if (range == nullptr) return E_INVALIDARG;
    const std::size_t mine = Endpoint(endpoint);
    const std::size_t theirs = range->Endpoint(targetEndpoint);
    *out = mine < theirs ? -1 : mine > theirs ? 1 : 0;
    return S_OK;
  });
}

HRESULT TextRange::ExpandToEnclosingUnit(TextUnit textUnit) {
  return uia::Call(View(), [&](TextSource& v) {
    Clamp(v);
    const Unit unit = UnitOf(textUnit);
    const std::size_t start = IsBoundary(v, unit, start_) ? start_ : PreviousBoundary(v, unit, start_);
    // The end goes on to a boundary, and past the start's own.
    std::size_t end = std::max(end_, start);
    if (!IsBoundary(v, unit, end) || end == start) end = NextBoundary(v, unit, end);
    start_ = start;
    end_ = end;
    return S_OK;
  });
}

HRESULT TextRange::FindAttribute(TEXTATTRIBUTEID, VARIANT, BOOL, ITextRangeProvider** out) {
  // Every attribute is alike across the text: nothing to find, a null range.
  return uia::Call(View(), out, [](TextSource&) { return S_OK; });
}

HRESULT TextRange::FindText(BSTR text, BOOL backward, BOOL ignoreCase, ITextRangeProvider** out) {
  return uia::Call(View(), out, [&](TextSource& v) {
    const AutomationApi& automation = Automation();
    if (!automation.Usable()) return E_FAIL;
    if (text == nullptr || automation.stringLen(text) == 0) return E_INVALIDARG;
    Clamp(v);
    std::wstring haystack = v.Slice(start_, end_ - start_);
    std::wstring needle(text, automation.stringLen(text));
    if (ignoreCase) {
      for (auto* s : {&haystack, &needle}) {
        for (wchar_t& c : *s) c = static_cast<wchar_t>(std::towlower(c));
      }
    }
    const std::size_t at = backward ? haystack.rfind(needle) : haystack.find(needle);
    if (at == std::wstring::npos) return S_OK;  // not found: a null range
    *out = owner_.NewRange(start_ + at, start_ + at + needle.size());
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

HRESULT TextRange::GetAttributeValue(TEXTATTRIBUTEID attribute, VARIANT* out) {
  return uia::Call(View(), out, [&](TextSource&) {
    if (attribute == kIsReadOnlyAttribute) {
      out->vt = VT_BOOL;
      out->boolVal = VARIANT_TRUE;
      return S_OK;
    }
    // Other attributes are not supported: UI Automation's reserved value says so.
    IUnknown* notSupported = nullptr;
    if (Uia().getReservedNotSupportedValue != nullptr &&
        SUCCEEDED(Uia().getReservedNotSupportedValue(&notSupported))) {
      out->vt = VT_UNKNOWN;
      out->punkVal = notSupported;
    }
    return S_OK;
  });
}

HRESULT TextRange::GetBoundingRectangles(SAFEARRAY** out) {
  return uia::Call(View(), out, [&](TextSource& v) {
    Clamp(v);
    const std::vector<RECT> rects = v.RangeRects(start_, end_);
    // Left, top, width and height of each, in screen coordinates.
    const AutomationApi& automation = Automation();
    if (!automation.Usable()) return E_FAIL;
    SAFEARRAY* array = automation.arrayCreateVector(VT_R8, 0, static_cast<ULONG>(rects.size() * 4));
    if (array == nullptr) return E_OUTOFMEMORY;
    double* values = nullptr;
    if (FAILED(automation.arrayAccessData(array, reinterpret_cast<void**>(&values)))) {
      automation.arrayDestroy(array);
      return E_FAIL;
    }
    for (std::size_t i = 0; i < rects.size(); ++i) {
      POINT topLeft{rects[i].left, rects[i].top};
      ::ClientToScreen(v.hwnd(), &topLeft);
      values[i * 4] = topLeft.x;
      values[i * 4 + 1] = topLeft.y;
      values[i * 4 + 2] = rects[i].right - rects[i].left;
      values[i * 4 + 3] = rects[i].bottom - rects[i].top;
    }
    automation.arrayUnaccessData(array);
    *out = array;
    return S_OK;
  });
}

HRESULT TextRange::GetEnclosingElement(IRawElementProviderSimple** out) {
  return uia::Call(View(), out, [&](TextSource&) {
    owner_.AddRef();
    *out = &owner_;
    return S_OK;
  });
}

HRESULT TextRange::GetText(int maxLength, BSTR* out) {
  return uia::Call(View(), out, [&](TextSource& v) {
    if (maxLength < -1) return E_INVALIDARG;
    Clamp(v);
    std::size_t n = end_ - start_;
    if (maxLength >= 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(maxLength));
    *out = uia::AllocString(v.Slice(start_, n));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

HRESULT TextRange::Move(TextUnit textUnit, int count, int* out) {
  return uia::Call(View(), out, [&](TextSource& v) {
    Clamp(v);
    if (count == 0) return S_OK;
    const Unit unit = UnitOf(textUnit);
    const bool degenerate = start_ == end_;
    std::size_t p = start_;
    // A range that spans text first collapses to the start of its first unit.
    if (!degenerate && !IsBoundary(v, unit, p)) p = PreviousBoundary(v, unit, p);
    *out = MoveBy(v, unit, count, p, !degenerate);
    start_ = p;
    end_ = degenerate ? p : NextBoundary(v, unit, p);
    return S_OK;
  });
}

HRESULT TextRange::MoveEndpointByUnit(TextPatternRangeEndpoint endpoint, TextUnit textUnit, int count, int* out) {
  return uia::Call(View(), out, [&](TextSource& v) {
    Clamp(v);
    std::size_t p = Endpoint(endpoint);
    *out = MoveBy(v, UnitOf(textUnit), count, p, false);
    SetEndpoint(endpoint, p);
    return S_OK;
  });
}

HRESULT TextRange::MoveEndpointByRange(TextPatternRangeEndpoint endpoint, ITextRangeProvider* target,
                                       TextPatternRangeEndpoint targetEndpoint) {
  return uia::Call(View(), [&](TextSource&) {
    const TextRange* range = Ours(target);
    if (range == nullptr) return E_INVALIDARG;
    SetEndpoint(endpoint, range->Endpoint(targetEndpoint));
    return S_OK;
  });
}

HRESULT TextRange::Select() {
  return uia::Call(View(), [&](TextSource& v) {
    Clamp(v);
    v.Select(start_, end_);
    return S_OK;
  });
}

HRESULT TextRange::AddToSelection() {
  return uia::Call(View(), [](TextSource&) { return UIA_E_INVALIDOPERATION; });  // one selection only
}

HRESULT TextRange::RemoveFromSelection() {
  return uia::Call(View(), [](TextSource&) { return UIA_E_INVALIDOPERATION; });
}

HRESULT TextRange::ScrollIntoView(BOOL alignToTop) {
  return uia::Call(View(), [&](TextSource& v) {
    Clamp(v);
    v.ScrollIntoView(alignToTop ? start_ : end_);
    return S_OK;
  });
}

HRESULT TextRange::GetChildren(SAFEARRAY** out) {
  return uia::Call(View(), out, [&](TextSource&) {
    const AutomationApi& automation = Automation();
    if (!automation.Usable()) return E_FAIL;
    *out = automation.arrayCreateVector(VT_UNKNOWN, 0, 0);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

}  // namespace vexlo
