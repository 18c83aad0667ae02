#include "output_view/uia_element.h"

#include <string>

#include "output_view/uia_api.h"
#include "output_view/uia_call.h"
#include "output_view/uia_text_range.h"

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

// A safe array holding just this range; takes over the caller's reference.
HRESULT SingleRangeArray(ITextRangeProvider* range, SAFEARRAY** out) {
  const AutomationApi& automation = Automation();
  SAFEARRAY* array = range != nullptr && automation.Usable() ? automation.arrayCreateVector(VT_UNKNOWN, 0, 1) : nullptr;
  LONG index = 0;
  // SafeArrayPutElement takes its own reference.
  const bool ok = array != nullptr && SUCCEEDED(automation.arrayPutElement(array, &index, range));
  if (range != nullptr) range->Release();
  if (!ok) {
    if (array != nullptr) automation.arrayDestroy(array);
    return E_OUTOFMEMORY;
  }
  *out = array;
  return S_OK;
}

HRESULT NewRangeInto(ITextRangeProvider* range, ITextRangeProvider** out) noexcept {
  *out = range;
  return range != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

ITextRangeProvider* ElementProvider::NewRange(std::size_t start, std::size_t end) noexcept {
  return new (std::nothrow) TextRange(*this, start, end);
}

HRESULT ElementProvider::get_ProviderOptions(ProviderOptions* out) {
  if (out == nullptr) return E_POINTER;
  *out = ProviderOptions_ServerSideProvider;
  return S_OK;
}

HRESULT ElementProvider::GetPatternProvider(PATTERNID pattern, IUnknown** out) {
  return uia::Call(view_, out, [&](TextSource&) {
    if (pattern == kTextPattern) *out = static_cast<ITextProvider*>(this);
    if (pattern == kValuePattern) *out = static_cast<IValueProvider*>(this);
    if (*out != nullptr) AddRef();
    return S_OK;
  });
}

HRESULT ElementProvider::GetPropertyValue(PROPERTYID property, VARIANT* out) {
  return uia::Call(view_, out, [&](TextSource& view) {
    const auto boolean = [&](bool value) {
      out->vt = VT_BOOL;
      out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    };
    const auto string = [&](const std::wstring& value) {
      out->bstrVal = uia::AllocString(value);
      if (out->bstrVal == nullptr) return E_OUTOFMEMORY;
      out->vt = VT_BSTR;
      return S_OK;
    };
    switch (property) {
      case kNameProperty: return string(view.Name());
      case kControlTypeProperty:
        out->vt = VT_I4;
        out->lVal = kEditControlType;
        return S_OK;
      case kAutomationIdProperty: return string(std::to_wstring(::GetDlgCtrlID(view.hwnd())));
      case kHasKeyboardFocusProperty: return boolean(::GetFocus() == view.hwnd());
      case kIsKeyboardFocusableProperty:
      case kIsTextPatternAvailableProperty:
      case kIsValuePatternAvailableProperty:
      case kValueIsReadOnlyProperty: return boolean(true);
      case kIsPasswordProperty: return boolean(false);
      default: return S_OK;  // VT_EMPTY: UI Automation asks the host
    }
  });
}

HRESULT ElementProvider::get_HostRawElementProvider(IRawElementProviderSimple** out) {
  return uia::Call(view_, out, [&](TextSource& view) {
    // The window's own element supplies the place, the process and the parent.
    return Uia().hostProviderFromHwnd != nullptr ? Uia().hostProviderFromHwnd(view.hwnd(), out) : S_OK;
  });
}

HRESULT ElementProvider::GetSelection(SAFEARRAY** out) {
  return uia::Call(view_, out, [&](TextSource& view) {
    const auto [first, last] = view.Selection();
    return SingleRangeArray(NewRange(first, last), out);
  });
}

HRESULT ElementProvider::GetVisibleRanges(SAFEARRAY** out) {
  return uia::Call(view_, out, [&](TextSource& view) {
    const auto [first, last] = view.RowsInView();
    return SingleRangeArray(NewRange(view.RowStart(first), last > first ? view.RowEnd(last - 1) : 0), out);
  });
}

HRESULT ElementProvider::RangeFromChild(IRawElementProviderSimple*, ITextRangeProvider** out) {
  return uia::Call(view_, out, [](TextSource&) { return E_INVALIDARG; });  // the view has no children
}

HRESULT ElementProvider::RangeFromPoint(UiaPoint point, ITextRangeProvider** out) {
  return uia::Call(view_, out, [&](TextSource& view) {
    POINT at{static_cast<LONG>(point.x), static_cast<LONG>(point.y)};
    if (!::ScreenToClient(view.hwnd(), &at)) return E_FAIL;
    const std::size_t p = view.PositionAt(at);
    return NewRangeInto(NewRange(p, p), out);
  });
}

HRESULT ElementProvider::get_DocumentRange(ITextRangeProvider** out) {
  return uia::Call(view_, out, [&](TextSource& view) { return NewRangeInto(NewRange(0, view.Length()), out); });
}

HRESULT ElementProvider::get_SupportedTextSelection(SupportedTextSelection* out) {
  return uia::Call(view_, out, [&](TextSource&) {
    *out = SupportedTextSelection_Single;
    return S_OK;
  });
}

HRESULT ElementProvider::SetValue(LPCWSTR) {
  return uia::Call(view_, [](TextSource&) { return UIA_E_INVALIDOPERATION; });  // read-only
}

HRESULT ElementProvider::get_Value(BSTR* out) {
  return uia::Call(view_, out, [&](TextSource& view) {
    *out = uia::AllocString(view.Slice(0, view.Length()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

HRESULT ElementProvider::get_IsReadOnly(BOOL* out) {
  return uia::Call(view_, out, [&](TextSource&) {
    *out = TRUE;
    return S_OK;
  });
}

}  // namespace vexlo
