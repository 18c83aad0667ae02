#pragma once
// The opening every UI Automation method shares: the out pointer is there and
// cleared, the view is still there, and no exception leaves the method, because none
// may cross COM.

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <new>
#include <string>

#include "output_view/com_api.h"
#include "output_view/text_source.h"
#include "output_view/uia_text_interfaces.h"

namespace vexlo::uia {

template <typename T>
void Clear(T* out) noexcept {
  *out = T{};  // null, zero or FALSE
}
// What VariantInit does, documented so: VT_EMPTY, the rest left alone.
inline void Clear(VARIANT* out) noexcept { out->vt = VT_EMPTY; }

// Runs body(view) for a method without an out value. A view that is gone (null)
// answers UIA_E_ELEMENTNOTAVAILABLE.
template <typename Body>
HRESULT Call(TextSource* view, Body&& body) noexcept {
  if (view == nullptr) return UIA_E_ELEMENTNOTAVAILABLE;
  try {
    return body(*view);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// The same for a method with an out value, which is cleared first, also when the
// view is gone.
template <typename Out, typename Body>
HRESULT Call(TextSource* view, Out* out, Body&& body) noexcept {
  if (out == nullptr) return E_POINTER;
  Clear(out);
  return Call(view, static_cast<Body&&>(body));
}

// Null when out of memory or without oleaut32.dll.
inline BSTR AllocString(const std::wstring& s) {
  const AutomationApi& automation = Automation();
  return automation.Usable() ? automation.allocStringLen(s.data(), static_cast<UINT>(s.size())) : nullptr;
}

}  // namespace vexlo::uia
