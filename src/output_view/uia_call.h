#pragma once
// The opening every UI Automation method shares: the out pointer is there and
// cleared, the view is still there, and no exception leaves the method, because none
// may cross COM.

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <new>
#include <string>

#include "output_view/text_source.h"
#include "output_view/uia_text_interfaces.h"

namespace vexlo::uia {

template <typename T>
void Clear(T* out) noexcept {
  *out = T{};  // null, zero or FALSE
}
inline void Clear(VARIANT* out) noexcept { ::VariantInit(out); }

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

inline BSTR AllocString(const std::wstring& s) {
  return ::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

}  // namespace vexlo::uia
