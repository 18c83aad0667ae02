#pragma once
// The view's UI Automation element: an edit control with a read-only value and the
// Text pattern, which screen readers use to read and follow the output.

#include <cstddef>

#include "output_view/com_object.h"
#include "output_view/text_source.h"
#include "output_view/uia_text_interfaces.h"

namespace vexlo {

class ElementProvider final
    : public ComObject<ElementProvider, IRawElementProviderSimple, ITextProvider, IValueProvider> {
 public:
  explicit ElementProvider(TextSource& view) noexcept : view_(&view) {}
  // The view is going: every method answers UIA_E_ELEMENTNOTAVAILABLE from now on.
  void Disconnect() noexcept { view_ = nullptr; }
  // Null once disconnected.
  [[nodiscard]] TextSource* View() const noexcept { return view_; }
  // A range over [start, end) holding one reference; null when memory is out.
  [[nodiscard]] ITextRangeProvider* NewRange(std::size_t start, std::size_t end) noexcept;

  // IRawElementProviderSimple
  HRESULT STDMETHODCALLTYPE get_ProviderOptions(ProviderOptions* out) override;
  HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** out) override;

  // ITextProvider
  HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** out) override;
  HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** out) override;
  HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple* child, ITextRangeProvider** out) override;
  HRESULT STDMETHODCALLTYPE RangeFromPoint(UiaPoint point, ITextRangeProvider** out) override;
  HRESULT STDMETHODCALLTYPE get_DocumentRange(ITextRangeProvider** out) override;
  HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(SupportedTextSelection* out) override;

  // IValueProvider
  HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE get_Value(BSTR* out) override;
  HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL* out) override;

 private:
  friend ComObject;
  ~ElementProvider() = default;

  TextSource* view_;
};

}  // namespace vexlo
