#pragma once
// A range of the view's text for UI Automation's Text pattern: two positions that
// move by characters, words, lines, paragraphs or the whole text. A surrogate pair is
// one character.

#include <cstddef>

#include "output_view/com_object.h"
#include "output_view/uia_element.h"
#include "output_view/uia_text_interfaces.h"

namespace vexlo {

class TextRange final : public ComObject<TextRange, ITextRangeProvider> {
 public:
  // Holds a reference to its element for as long as it lives.
  TextRange(ElementProvider& owner, std::size_t start, std::size_t end) noexcept;

  HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** out) override;
  HRESULT STDMETHODCALLTYPE Compare(ITextRangeProvider* other, BOOL* out) override;
  HRESULT STDMETHODCALLTYPE CompareEndpoints(TextPatternRangeEndpoint endpoint, ITextRangeProvider* target,
                                             TextPatternRangeEndpoint targetEndpoint, int* out) override;
  HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(TextUnit unit) override;
  HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID, VARIANT, BOOL, ITextRangeProvider** out) override;
  HRESULT STDMETHODCALLTYPE FindText(BSTR text, BOOL backward, BOOL ignoreCase, ITextRangeProvider** out) override;
  HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID attribute, VARIANT* out) override;
  HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** out) override;
  HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** out) override;
  HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* out) override;
  HRESULT STDMETHODCALLTYPE Move(TextUnit unit, int count, int* out) override;
  HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(TextPatternRangeEndpoint endpoint, TextUnit unit, int count,
                                               int* out) override;
  HRESULT STDMETHODCALLTYPE MoveEndpointByRange(TextPatternRangeEndpoint endpoint, ITextRangeProvider* target,
                                                TextPatternRangeEndpoint targetEndpoint) override;
  HRESULT STDMETHODCALLTYPE Select() override;
  HRESULT STDMETHODCALLTYPE AddToSelection() override;
  HRESULT STDMETHODCALLTYPE RemoveFromSelection() override;
  HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) override;
  HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** out) override;

  // The private identity by which a range recognises another range of ours.
  void* OtherInterface(REFIID iid) noexcept;

 private:
  friend ComObject;
  ~TextRange();

  [[nodiscard]] TextSource* View() const noexcept { return owner_.View(); }
  // Output may have been cleared since the range was made.
  void Clamp(const TextSource& view) noexcept;
  [[nodiscard]] std::size_t Endpoint(TextPatternRangeEndpoint e) const noexcept;
  void SetEndpoint(TextPatternRangeEndpoint e, std::size_t p) noexcept;
  // The range behind another range of the same element; null for anything else.
  [[nodiscard]] const TextRange* Ours(ITextRangeProvider* other) const;

  ElementProvider& owner_;
  std::size_t start_;
  std::size_t end_;
};

}  // namespace vexlo
