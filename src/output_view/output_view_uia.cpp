#include "output_view/output_view_uia.h"

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handles.h"
#include "output_view/output_view.h"
#include "output_view/uia_text_interfaces.h"

namespace vexlo {
namespace {

// Identifiers of UI Automation, as its headers define them.
constexpr int kTextPattern = 10014;
constexpr int kValuePattern = 10002;
constexpr PROPERTYID kControlTypeProperty = 30003;
constexpr PROPERTYID kNameProperty = 30005;
constexpr PROPERTYID kHasKeyboardFocusProperty = 30008;
constexpr PROPERTYID kIsKeyboardFocusableProperty = 30009;
constexpr PROPERTYID kAutomationIdProperty = 30011;
constexpr PROPERTYID kIsPasswordProperty = 30019;
constexpr PROPERTYID kIsTextPatternAvailableProperty = 30040;
constexpr PROPERTYID kIsValuePatternAvailableProperty = 30043;
constexpr PROPERTYID kValueIsReadOnlyProperty = 30046;
constexpr int kEditControlType = 50004;
constexpr EVENTID kTextSelectionChangedEvent = 20014;
constexpr EVENTID kTextChangedEvent = 20015;
constexpr TEXTATTRIBUTEID kIsReadOnlyAttribute = 40015;

// uiautomationcore.dll's functions, loaded once for the process.
struct UiaApi {
  UniqueModule module;
  LRESULT(WINAPI* returnRawElementProvider)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*) = nullptr;
  HRESULT(WINAPI* hostProviderFromHwnd)(HWND, IRawElementProviderSimple**) = nullptr;
  HRESULT(WINAPI* raiseAutomationEvent)(IRawElementProviderSimple*, EVENTID) = nullptr;
  BOOL(WINAPI* clientsAreListening)() = nullptr;
  HRESULT(WINAPI* disconnectProvider)(IRawElementProviderSimple*) = nullptr;  // Windows 8 and later
  HRESULT(WINAPI* getReservedNotSupportedValue)(IUnknown**) = nullptr;

  [[nodiscard]] bool Usable() const noexcept { return returnRawElementProvider != nullptr; }
};

template <typename Function>
void LoadInto(HMODULE module, const char* name, Function& f) {
  // Through void(*)(): the one function pointer type any other converts from cleanly.
  f = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

const UiaApi& Uia() {
  static const UiaApi api = [] {
    UiaApi a;
    a.module.reset(::LoadLibraryExW(L"uiautomationcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!a.module) return a;
    const HMODULE m = a.module.get();
    LoadInto(m, "UiaReturnRawElementProvider", a.returnRawElementProvider);
    LoadInto(m, "UiaHostProviderFromHwnd", a.hostProviderFromHwnd);
    LoadInto(m, "UiaRaiseAutomationEvent", a.raiseAutomationEvent);
    LoadInto(m, "UiaClientsAreListening", a.clientsAreListening);
    LoadInto(m, "UiaDisconnectProvider", a.disconnectProvider);
    LoadInto(m, "UiaGetReservedNotSupportedValue", a.getReservedNotSupportedValue);
    return a;
  }();
  return api;
}

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

bool AfterCrLf(const OutputView& v, std::size_t p) noexcept {
  return p >= 2 && v.CharAt(p - 2) == L'\r' && v.CharAt(p - 1) == L'\n';
}

bool IsBoundary(OutputView& v, Unit unit, std::size_t p) {
  if (p == 0 || p >= v.Length()) return true;
  switch (unit) {
    case Unit::kCharacter: return true;
    case Unit::kWord: return v.IsWordBoundary(p);
    case Unit::kLine: return v.RowStart(v.RowOf(p)) == p;
    case Unit::kParagraph: return AfterCrLf(v, p);
    case Unit::kDocument: return false;
  }
  return true;
}

std::size_t NextBoundary(OutputView& v, Unit unit, std::size_t p) {
  const std::size_t length = v.Length();
  if (p >= length) return length;
  switch (unit) {
    case Unit::kCharacter: return p + 1;
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

std::size_t PreviousBoundary(OutputView& v, Unit unit, std::size_t p) {
  if (p == 0) return 0;
  p = std::min(p, v.Length());
  switch (unit) {
    case Unit::kCharacter: return p - 1;
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

BSTR AllocString(const std::wstring& s) { return ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

// The body of a COM method that may allocate: no exception may cross COM.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace

class ElementProvider final : public IRawElementProviderSimple, public ITextProvider, public IValueProvider {
 public:
  explicit ElementProvider(OutputView& view) : view_(&view) {}
  void Disconnect() noexcept { view_ = nullptr; }
  [[nodiscard]] OutputView* View() const noexcept { return view_; }
  [[nodiscard]] ITextRangeProvider* NewRange(std::size_t start, std::size_t end);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IRawElementProviderSimple)) {
      *out = static_cast<IRawElementProviderSimple*>(this);
    } else if (iid == __uuidof(ITextProvider)) {
      *out = static_cast<ITextProvider*>(this);
    } else if (iid == __uuidof(IValueProvider)) {
      *out = static_cast<IValueProvider*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IRawElementProviderSimple
  HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* out) override {
    if (out == nullptr) return E_POINTER;
    *out = ProviderOptions_ServerSideProvider;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
    if (pattern == kTextPattern) *out = static_cast<ITextProvider*>(this);
    if (pattern == kValuePattern) *out = static_cast<IValueProvider*>(this);
    if (*out != nullptr) AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
    // The window's own element supplies the place, the process and the parent.
    return Uia().hostProviderFromHwnd != nullptr ? Uia().hostProviderFromHwnd(view_->hwnd(), out) : S_OK;
  }

  // ITextProvider
  HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** out) override;
  HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** out) override;
  HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple*, ITextRangeProvider** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return view_ == nullptr ? UIA_E_ELEMENTNOTAVAILABLE : E_INVALIDARG;  // the view has no children
  }
  HRESULT STDMETHODCALLTYPE RangeFromPoint(UiaPoint point, ITextRangeProvider** out) override;
  HRESULT STDMETHODCALLTYPE get_DocumentRange(ITextRangeProvider** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
    *out = NewRange(0, view_->Length());
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(SupportedTextSelection* out) override {
    if (out == nullptr) return E_POINTER;
    if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
    *out = SupportedTextSelection_Single;
    return S_OK;
  }

  // IValueProvider
  HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR) override {
    return view_ == nullptr ? UIA_E_ELEMENTNOTAVAILABLE : UIA_E_INVALIDOPERATION;  // read-only
  }
  HRESULT STDMETHODCALLTYPE get_Value(BSTR* out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
    return Guarded([&] {
      *out = AllocString(view_->Slice(0, view_->Length()));
      return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL* out) override {
    if (out == nullptr) return E_POINTER;
    if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
    *out = TRUE;
    return S_OK;
  }

 private:
  ~ElementProvider() = default;
  std::atomic<ULONG> references_{1};
  OutputView* view_;
};

class TextRange final : public ITextRangeProvider {
 public:
  TextRange(ElementProvider& owner, std::size_t start, std::size_t end) : owner_(owner), start_(start), end_(end) {
    owner_.AddRef();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(ITextRangeProvider) || iid == kTextRangeIid) {
      *out = static_cast<ITextRangeProvider*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
    *out = owner_.NewRange(start_, end_);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE Compare(ITextRangeProvider* other, BOOL* out) override {
    if (out == nullptr) return E_POINTER;
    if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
    const TextRange* range = Ours(other);
    if (range == nullptr) return E_INVALIDARG;
    *out = range->start_ == start_ && range->end_ == end_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CompareEndpoints(TextPatternRangeEndpoint endpoint, ITextRangeProvider* target,
                                             TextPatternRangeEndpoint targetEndpoint, int* out) override {
    if (out == nullptr) return E_POINTER;
    if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
    const TextRange* range = Ours(target);
    if (range == nullptr) return E_INVALIDARG;
    const std::size_t mine = Endpoint(endpoint);
    const std::size_t theirs = range->Endpoint(targetEndpoint);
    *out = mine < theirs ? -1 : mine > theirs ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(TextUnit unit) override;
  HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID, VARIANT, BOOL, ITextRangeProvider** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;  // every attribute is alike across the text
    return Alive() ? S_OK : UIA_E_ELEMENTNOTAVAILABLE;
  }
  HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase, ITextRangeProvider** out) override;
  HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID attribute, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** out) override;
  HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
    owner_.AddRef();
    *out = &owner_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
    if (maxLength < -1) return E_INVALIDARG;
    Clamp();
    std::size_t n = end_ - start_;
    if (maxLength >= 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(maxLength));
    return Guarded([&] {
      *out = AllocString(View().Slice(start_, n));
      return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    });
  }
  HRESULT STDMETHODCALLTYPE Move(TextUnit unit, int count, int* out) override;
  HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(TextPatternRangeEndpoint endpoint, TextUnit unit, int count,
                                               int* out) override;
  HRESULT STDMETHODCALLTYPE MoveEndpointByRange(TextPatternRangeEndpoint endpoint, ITextRangeProvider* target,
                                                TextPatternRangeEndpoint targetEndpoint) override {
    if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
    const TextRange* range = Ours(target);
    if (range == nullptr) return E_INVALIDARG;
    SetEndpoint(endpoint, range->Endpoint(targetEndpoint));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Select() override {
    if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
    Clamp();
    return Guarded([&] {
      View().Select(start_, end_);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE AddToSelection() override {
    return Alive() ? UIA_E_INVALIDOPERATION : UIA_E_ELEMENTNOTAVAILABLE;  // one selection only
  }
  HRESULT STDMETHODCALLTYPE RemoveFromSelection() override {
    return Alive() ? UIA_E_INVALIDOPERATION : UIA_E_ELEMENTNOTAVAILABLE;
  }
  HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) override {
    if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
    Clamp();
    return Guarded([&] {
      View().ScrollIntoView(alignToTop ? start_ : end_);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
    *out = ::SafeArrayCreateVector(VT_UNKNOWN, 0, 0);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~TextRange() { owner_.Release(); }

  [[nodiscard]] bool Alive() const noexcept { return owner_.View() != nullptr; }
  [[nodiscard]] OutputView& View() const noexcept { return *owner_.View(); }
  // Output may have been cleared since the range was made.
  void Clamp() noexcept {
    end_ = std::min(end_, View().Length());
    start_ = std::min(start_, end_);
  }
  [[nodiscard]] std::size_t Endpoint(TextPatternRangeEndpoint e) const noexcept {
    return e == TextPatternRangeEndpoint_Start ? start_ : end_;
  }
  void SetEndpoint(TextPatternRangeEndpoint e, std::size_t p) noexcept {
    // An endpoint moved past the other one takes it along.
    if (e == TextPatternRangeEndpoint_Start) {
      start_ = p;
      end_ = std::max(end_, p);
    } else {
      end_ = p;
      start_ = std::min(start_, p);
    }
  }
  [[nodiscard]] const TextRange* Ours(ITextRangeProvider* other) const {
    if (other == nullptr) return nullptr;
    void* found = nullptr;
    if (FAILED(other->QueryInterface(kTextRangeIid, &found))) return nullptr;
    auto* range = static_cast<TextRange*>(static_cast<ITextRangeProvider*>(found));
    range->Release();  // the caller holds it for the call
    return &range->owner_ == &owner_ ? range : nullptr;
  }
  // Moves p by count units; returns how many it moved.
  int MoveBy(Unit unit, int count, std::size_t& p, bool needsUnitAfter);

  std::atomic<ULONG> references_{1};
  ElementProvider& owner_;
  std::size_t start_;
  std::size_t end_;
};

ITextRangeProvider* ElementProvider::NewRange(std::size_t start, std::size_t end) {
  return new (std::nothrow) TextRange(*this, start, end);
}

HRESULT ElementProvider::GetPropertyValue(PROPERTYID property, VARIANT* out) {
  if (out == nullptr) return E_POINTER;
  ::VariantInit(out);
  if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
  const auto boolean = [&](bool value) {
    out->vt = VT_BOOL;
    out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  };
  const auto string = [&](const std::wstring& value) {
    out->bstrVal = AllocString(value);
    if (out->bstrVal == nullptr) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    return S_OK;
  };
  return Guarded([&] {
    switch (property) {
      case kNameProperty: return string(view_->Name());
      case kControlTypeProperty:
        out->vt = VT_I4;
        out->lVal = kEditControlType;
        return S_OK;
      case kAutomationIdProperty: return string(std::to_wstring(::GetDlgCtrlID(view_->hwnd())));
      case kHasKeyboardFocusProperty: return boolean(::GetFocus() == view_->hwnd());
      case kIsKeyboardFocusableProperty:
      case kIsTextPatternAvailableProperty:
      case kIsValuePatternAvailableProperty:
      case kValueIsReadOnlyProperty: return boolean(true);
      case kIsPasswordProperty: return boolean(false);
      default: return S_OK;  // VT_EMPTY: UI Automation asks the host
    }
  });
}

namespace {

// A safe array holding just this range; takes over the caller's reference.
HRESULT SingleRangeArray(ITextRangeProvider* range, SAFEARRAY** out) {
  SAFEARRAY* array = range != nullptr ? ::SafeArrayCreateVector(VT_UNKNOWN, 0, 1) : nullptr;
  LONG index = 0;
  // SafeArrayPutElement takes its own reference.
  const bool ok = array != nullptr && SUCCEEDED(::SafeArrayPutElement(array, &index, range));
  if (range != nullptr) range->Release();
  if (!ok) {
    if (array != nullptr) ::SafeArrayDestroy(array);
    return E_OUTOFMEMORY;
  }
  *out = array;
  return S_OK;
}

}  // namespace

HRESULT ElementProvider::GetSelection(SAFEARRAY** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
  const auto [first, last] = view_->Selection();
  return SingleRangeArray(NewRange(first, last), out);
}

HRESULT ElementProvider::GetVisibleRanges(SAFEARRAY** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
  return Guarded([&] {
    const auto [first, last] = view_->RowsInView();
    return SingleRangeArray(NewRange(view_->RowStart(first), last > first ? view_->RowEnd(last - 1) : 0), out);
  });
}

HRESULT ElementProvider::RangeFromPoint(UiaPoint point, ITextRangeProvider** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (view_ == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
  return Guarded([&] {
    POINT at{static_cast<LONG>(point.x), static_cast<LONG>(point.y)};
    if (!::ScreenToClient(view_->hwnd(), &at)) return E_FAIL;
    const std::size_t p = view_->PositionAt(at);
    *out = NewRange(p, p);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

HRESULT TextRange::ExpandToEnclosingUnit(TextUnit textUnit) {
  if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
  return Guarded([&] {
    Clamp();
    const Unit unit = UnitOf(textUnit);
    OutputView& v = View();
    const std::size_t start = IsBoundary(v, unit, start_) ? start_ : PreviousBoundary(v, unit, start_);
    // The end goes on to a boundary, and past the start's own.
    std::size_t end = std::max(end_, start);
    if (!IsBoundary(v, unit, end) || end == start) end = NextBoundary(v, unit, end);
    start_ = start;
    end_ = end;
    return S_OK;
  });
}

int TextRange::MoveBy(Unit unit, int count, std::size_t& p, bool needsUnitAfter) {
  OutputView& v = View();
  int moved = 0;
  for (; moved < count; ++moved) {
    const std::size_t next = NextBoundary(v, unit, p);
    // A range that is a unit cannot start at the end, where no unit follows.
    if (next == p || (needsUnitAfter && next >= v.Length())) break;
    p = next;
  }
  for (; moved > count && p > 0; --moved) p = PreviousBoundary(v, unit, p);
  return moved;
}

HRESULT TextRange::Move(TextUnit textUnit, int count, int* out) {
  if (out == nullptr) return E_POINTER;
  *out = 0;
  if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
  Clamp();
  if (count == 0) return S_OK;
  return Guarded([&] {
    const Unit unit = UnitOf(textUnit);
    OutputView& v = View();
    const bool degenerate = start_ == end_;
    std::size_t p = start_;
    // A range that spans text first collapses to the start of its first unit.
    if (!degenerate && !IsBoundary(v, unit, p)) p = PreviousBoundary(v, unit, p);
    *out = MoveBy(unit, count, p, !degenerate);
    start_ = p;
    end_ = degenerate ? p : NextBoundary(v, unit, p);
    return S_OK;
  });
}

HRESULT TextRange::MoveEndpointByUnit(TextPatternRangeEndpoint endpoint, TextUnit textUnit, int count, int* out) {
  if (out == nullptr) return E_POINTER;
  *out = 0;
  if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
  Clamp();
  return Guarded([&] {
    std::size_t p = Endpoint(endpoint);
    *out = MoveBy(UnitOf(textUnit), count, p, false);
    SetEndpoint(endpoint, p);
    return S_OK;
  });
}

HRESULT TextRange::FindText(BSTR text, BOOL backward, BOOL ignoreCase, ITextRangeProvider** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
  if (text == nullptr || ::SysStringLen(text) == 0) return E_INVALIDARG;
  Clamp();
  return Guarded([&] {
    std::wstring haystack = View().Slice(start_, end_ - start_);
    std::wstring needle(text, ::SysStringLen(text));
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
  if (out == nullptr) return E_POINTER;
  ::VariantInit(out);
  if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
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
}

HRESULT TextRange::GetBoundingRectangles(SAFEARRAY** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!Alive()) return UIA_E_ELEMENTNOTAVAILABLE;
  Clamp();
  return Guarded([&] {
    OutputView& v = View();
    const std::vector<RECT> rects = v.RangeRects(start_, end_);
    // Left, top, width and height of each, in screen coordinates.
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(rects.size() * 4));
    if (array == nullptr) return E_OUTOFMEMORY;
    double* values = nullptr;
    if (FAILED(::SafeArrayAccessData(array, reinterpret_cast<void**>(&values)))) {
      ::SafeArrayDestroy(array);
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
    ::SafeArrayUnaccessData(array);
    *out = array;
    return S_OK;
  });
}

OutputViewAccessibility::~OutputViewAccessibility() { Disconnect(); }

IRawElementProviderSimple* OutputViewAccessibility::Provider() {
  if (provider_ == nullptr && !disconnected_ && Uia().Usable()) {
    provider_ = new (std::nothrow) ElementProvider(view_);
  }
  return provider_;
}

bool OutputViewAccessibility::OnGetObject(WPARAM wp, LPARAM lp, LRESULT& result) {
  // Only UI Automation's own request; MSAA's go to the default handling.
  if (static_cast<long>(lp) != UiaRootObjectId) return false;
  IRawElementProviderSimple* provider = Provider();
  if (provider == nullptr) return false;
  result = Uia().returnRawElementProvider(view_.hwnd(), wp, lp, provider);
  return true;
}

void OutputViewAccessibility::TextChanged() {
  if (provider_ == nullptr || Uia().raiseAutomationEvent == nullptr) return;
  if (Uia().clientsAreListening != nullptr && !Uia().clientsAreListening()) return;
  Uia().raiseAutomationEvent(provider_, kTextChangedEvent);
}

void OutputViewAccessibility::SelectionChanged() {
  if (provider_ == nullptr || Uia().raiseAutomationEvent == nullptr) return;
  if (Uia().clientsAreListening != nullptr && !Uia().clientsAreListening()) return;
  Uia().raiseAutomationEvent(provider_, kTextSelectionChangedEvent);
}

void OutputViewAccessibility::Disconnect() {
  disconnected_ = true;
  if (provider_ == nullptr) return;
  ElementProvider* provider = std::exchange(provider_, nullptr);
  provider->Disconnect();
  if (Uia().disconnectProvider != nullptr) Uia().disconnectProvider(provider);
  // A null provider releases every reference UI Automation keeps for the window.
  if (Uia().returnRawElementProvider != nullptr && ::IsWindow(view_.hwnd())) {
    Uia().returnRawElementProvider(view_.hwnd(), 0, 0, nullptr);
  }
  provider->Release();
}

}  // namespace vexlo
