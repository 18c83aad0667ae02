// The view's UI Automation provider, called in-process through its COM interfaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <oleacc.h>

#include "controls/controls.h"
#include "output_view/output_view_impl.h"
#include "output_view/uia_api.h"
#include "output_view/uia_text_interfaces.h"
#include "output_view/view_test_support.h"
#include "support/failing_allocations.h"

namespace vexlo {
namespace {

constexpr PROPERTYID kNameProperty = 30005;
constexpr PROPERTYID kControlTypeProperty = 30003;
constexpr int kEditControlType = 50004;
constexpr PATTERNID kTextPattern = 10014;
constexpr PATTERNID kValuePattern = 10002;

// Owns one COM reference.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p_ != nullptr) p_->Release();
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** put() { return &p_; }

 private:
  T* p_ = nullptr;
};

std::wstring TextOf(ITextRangeProvider* range) {
  BSTR text = nullptr;
  if (FAILED(range->GetText(-1, &text))) return L"<failed>";
  std::wstring s(text, ::SysStringLen(text));
  ::SysFreeString(text);
  return s;
}

class AccessibilityTest : public test::ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    ::SetWindowTextW(view_, L"alpha beta\r\ngamma delta\r\nlast");
    provider_ = OutputView::From(view_)->AccessibleProvider();
    if (provider_ == nullptr) GTEST_SKIP() << "no UI Automation on this system";
    Ref<IUnknown> pattern;
    ASSERT_EQ(provider_->GetPatternProvider(kTextPattern, pattern.put()), S_OK);
    ASSERT_NE(pattern.get(), nullptr);
    ASSERT_EQ(pattern->QueryInterface(__uuidof(ITextProvider), reinterpret_cast<void**>(text_.put())), S_OK);
  }
  Ref<ITextRangeProvider> Document() {
    Ref<ITextRangeProvider> range;
    EXPECT_EQ(text_->get_DocumentRange(range.put()), S_OK);
    return range;
  }
  // A degenerate range at p.
  Ref<ITextRangeProvider> At(std::size_t p) {
    Ref<ITextRangeProvider> range(Document());
    int moved = 0;
    range->MoveEndpointByUnit(TextPatternRangeEndpoint_End, TextUnit_Document, -1, &moved);
    range->MoveEndpointByUnit(TextPatternRangeEndpoint_End, TextUnit_Character, static_cast<int>(p), &moved);
    range->MoveEndpointByRange(TextPatternRangeEndpoint_Start, range.get(), TextPatternRangeEndpoint_End);
    return range;
  }

  IRawElementProviderSimple* provider_ = nullptr;
  Ref<ITextProvider> text_;
};

TEST_F(AccessibilityTest, AnEditElementWithItsNameAndAReadOnlyValue) {
  VARIANT name, type;
  ASSERT_EQ(provider_->GetPropertyValue(kNameProperty, &name), S_OK);
  ASSERT_EQ(name.vt, VT_BSTR);
  EXPECT_STREQ(name.bstrVal, L"Ping output");
  ::VariantClear(&name);
  ASSERT_EQ(provider_->GetPropertyValue(kControlTypeProperty, &type), S_OK);
  EXPECT_EQ(type.lVal, kEditControlType);
  Ref<IUnknown> pattern;
  ASSERT_EQ(provider_->GetPatternProvider(kValuePattern, pattern.put()), S_OK);
  Ref<IValueProvider> value;
  ASSERT_EQ(pattern->QueryInterface(__uuidof(IValueProvider), reinterpret_cast<void**>(value.put())), S_OK);
  BOOL readOnly = FALSE;
  EXPECT_EQ(value->get_IsReadOnly(&readOnly), S_OK);
  EXPECT_TRUE(readOnly);
  EXPECT_NE(value->SetValue(L"changed"), S_OK);
  EXPECT_EQ(Text(view_), L"alpha beta\r\ngamma delta\r\nlast");
  EXPECT_NE(::SendMessageW(view_, WM_GETOBJECT, 0, UiaRootObjectId), 0);
}

// COM's identity rule: IUnknown from any interface of an object is one pointer.
TEST_F(AccessibilityTest, EachObjectHasOneIdentityAndAnswersOnlyItsInterfaces) {
  Ref<IUnknown> fromElement, fromText, fromRange, again;
  ASSERT_EQ(provider_->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(fromElement.put())), S_OK);
  ASSERT_EQ(text_->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(fromText.put())), S_OK);
  EXPECT_EQ(fromElement.get(), fromText.get());
  Ref<IValueProvider> value;
  ASSERT_EQ(text_->QueryInterface(__uuidof(IValueProvider), reinterpret_cast<void**>(value.put())), S_OK);
  ASSERT_EQ(value->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(again.put())), S_OK);
  EXPECT_EQ(again.get(), fromElement.get());
  Ref<ITextRangeProvider> range(Document());
  ASSERT_EQ(range->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(fromRange.put())), S_OK);
  EXPECT_NE(fromRange.get(), fromElement.get());
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(range->QueryInterface(__uuidof(ITextProvider), &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(provider_->QueryInterface(__uuidof(ITextRangeProvider), &none), E_NOINTERFACE);
  EXPECT_EQ(provider_->QueryInterface(__uuidof(IUnknown), nullptr), E_POINTER);
}

TEST_F(AccessibilityTest, TheSelectionIsARangeBothWays) {
  SupportedTextSelection supported{};
  EXPECT_EQ(text_->get_SupportedTextSelection(&supported), S_OK);
  EXPECT_EQ(supported, SupportedTextSelection_Single);
  SetSel(view_, 6, 10);
  SAFEARRAY* selection = nullptr;
  ASSERT_EQ(text_->GetSelection(&selection), S_OK);
  LONG index = 0;
  Ref<ITextRangeProvider> selected;
  ASSERT_EQ(::SafeArrayGetElement(selection, &index, selected.put()), S_OK);
  ::SafeArrayDestroy(selection);
  EXPECT_EQ(TextOf(selected.get()), L"beta");
  Ref<ITextRangeProvider> row(At(13));
  ASSERT_EQ(row->ExpandToEnclosingUnit(TextUnit_Line), S_OK);
  EXPECT_EQ(row->Select(), S_OK);
  EXPECT_EQ(Sel(view_), std::make_pair(DWORD{12}, DWORD{25}));
}

TEST_F(AccessibilityTest, RangesExpandAndMoveByUnits) {
  struct Case {
    TextUnit unit;
    const wchar_t* text;
  };
  for (const Case& c : {Case{TextUnit_Character, L"e"}, Case{TextUnit_Word, L"beta"},
                        Case{TextUnit_Format, L"beta"}, Case{TextUnit_Line, L"alpha beta\r\n"},
                        Case{TextUnit_Paragraph, L"alpha beta\r\n"},
                        Case{TextUnit_Document, L"alpha beta\r\ngamma delta\r\nlast"}}) {
    Ref<ITextRangeProvider> range(At(7));
    ASSERT_EQ(range->ExpandToEnclosingUnit(c.unit), S_OK);
    EXPECT_EQ(TextOf(range.get()), c.text) << c.unit;
  }
  Ref<ITextRangeProvider> caret(At(0));
  int moved = 0;
  ASSERT_EQ(caret->Move(TextUnit_Word, 2, &moved), S_OK);
  EXPECT_EQ(moved, 2);
  ASSERT_EQ(caret->MoveEndpointByUnit(TextPatternRangeEndpoint_End, TextUnit_Character, 4, &moved), S_OK);
  EXPECT_EQ(TextOf(caret.get()), L"\r\nga");
  Ref<ITextRangeProvider> word(At(0));
  word->ExpandToEnclosingUnit(TextUnit_Word);
  ASSERT_EQ(word->Move(TextUnit_Word, 3, &moved), S_OK);
  EXPECT_EQ(TextOf(word.get()), L"gamma ");
  ASSERT_EQ(word->Move(TextUnit_Line, 100, &moved), S_OK);
  EXPECT_EQ(moved, 1);  // to the last line, as far as it goes
  EXPECT_EQ(TextOf(word.get()), L"last");
  Ref<ITextRangeProvider> copy;
  ASSERT_EQ(word->Clone(copy.put()), S_OK);
  BOOL same = FALSE;
  EXPECT_EQ(word->Compare(copy.get(), &same), S_OK);
  EXPECT_TRUE(same);
  int order = 0;
  Ref<ITextRangeProvider> start(At(0));
  EXPECT_EQ(start->CompareEndpoints(TextPatternRangeEndpoint_Start, word.get(), TextPatternRangeEndpoint_Start, &order),
            S_OK);
  EXPECT_LT(order, 0);
}

TEST_F(AccessibilityTest, RectanglesAndPointsAreOnScreen) {
  Ref<ITextRangeProvider> range(At(0));
  int moved = 0;
  range->MoveEndpointByUnit(TextPatternRangeEndpoint_End, TextUnit_Character, 14, &moved);
  SAFEARRAY* rects = nullptr;
  ASSERT_EQ(range->GetBoundingRectangles(&rects), S_OK);
  LONG upper = -1;
  ::SafeArrayGetUBound(rects, 1, &upper);
  EXPECT_EQ(upper + 1, 8);  // two rows, four numbers each
  double* values = nullptr;
  ASSERT_EQ(::SafeArrayAccessData(rects, reinterpret_cast<void**>(&values)), S_OK);
  RECT window{};
  ::GetWindowRect(view_, &window);
  EXPECT_GE(values[0], window.left);
  EXPECT_GT(values[2], 0);
  EXPECT_GT(values[5], values[1]);  // the second row is below the first
  const UiaPoint secondRow{values[4] + 1, values[5] + 1};
  ::SafeArrayUnaccessData(rects);
  ::SafeArrayDestroy(rects);
  Ref<ITextRangeProvider> hit;
  ASSERT_EQ(text_->RangeFromPoint(secondRow, hit.put()), S_OK);
  Ref<ITextRangeProvider> expected(At(12));
  BOOL same = FALSE;
  hit->Compare(expected.get(), &same);
  EXPECT_TRUE(same);
  SAFEARRAY* visible = nullptr;
  ASSERT_EQ(text_->GetVisibleRanges(&visible), S_OK);
  LONG index = 0;
  Ref<ITextRangeProvider> shown;
  ASSERT_EQ(::SafeArrayGetElement(visible, &index, shown.put()), S_OK);
  ::SafeArrayDestroy(visible);
  EXPECT_EQ(TextOf(shown.get()), L"alpha beta\r\ngamma delta\r\nlast");
}

// No exception may leave a COM method: out of memory is E_OUTOFMEMORY, and the
// provider works again once memory is there.
TEST_F(AccessibilityTest, OutOfMemoryIsAnErrorNotAnException) {
  Ref<IUnknown> pattern;
  ASSERT_EQ(provider_->GetPatternProvider(kValuePattern, pattern.put()), S_OK);
  Ref<IValueProvider> value;
  ASSERT_EQ(pattern->QueryInterface(__uuidof(IValueProvider), reinterpret_cast<void**>(value.put())), S_OK);
  Ref<ITextRangeProvider> document(Document());
  Ref<ITextRangeProvider> caret(At(13));
  BSTR needle = ::SysAllocString(L"delta");
  // A new font leaves the rows to be laid out, and measured, on next use.
  const UniqueFont other = MakeArialFont(12, false, 96);
  ::SendMessageW(view_, WM_SETFONT, reinterpret_cast<WPARAM>(other.get()), FALSE);
  struct Call {
    const char* name;
    std::function<HRESULT()> call;
  };
  BSTR text = nullptr;
  SAFEARRAY* rects = nullptr;
  Ref<ITextRangeProvider> found;
  int moved = 0;
  const std::vector<Call> calls = {
      {"get_Value", [&] { return value->get_Value(&text); }},
      {"GetText", [&] { return document->GetText(-1, &text); }},
      {"FindText", [&] { return document->FindText(needle, FALSE, TRUE, found.put()); }},
      {"GetBoundingRectangles", [&] { return document->GetBoundingRectangles(&rects); }},
      {"ExpandToEnclosingUnit", [&] { return caret->ExpandToEnclosingUnit(TextUnit_Line); }},
      {"Move", [&] { return caret->Move(TextUnit_Line, 1, &moved); }},
  };
  for (const Call& c : calls) {
    HRESULT hr = S_OK;
    bool threw = false;
    {
      test::FailingAllocations failing(0);
      try {
        hr = c.call();
      } catch (...) {
        threw = true;
      }
    }
    EXPECT_FALSE(threw) << c.name;
    EXPECT_EQ(hr, E_OUTOFMEMORY) << c.name;
  }
  ::SysFreeString(needle);
  EXPECT_EQ(TextOf(document.get()), L"alpha beta\r\ngamma delta\r\nlast");
  ASSERT_EQ(caret->ExpandToEnclosingUnit(TextUnit_Line), S_OK);
  EXPECT_EQ(TextOf(caret.get()), L"gamma delta\r\n");
}

TEST_F(AccessibilityTest, AfterTheWindowIsGoneEveryCallSaysSo) {
  provider_->AddRef();
  Ref<IRawElementProviderSimple> provider(provider_);
  Ref<ITextRangeProvider> range(Document());
  ASSERT_TRUE(::DestroyWindow(view_));
  VARIANT name;
  EXPECT_EQ(provider->GetPropertyValue(kNameProperty, &name), UIA_E_ELEMENTNOTAVAILABLE);
  BSTR text = nullptr;
  EXPECT_EQ(range->GetText(-1, &text), UIA_E_ELEMENTNOTAVAILABLE);
  Ref<ITextRangeProvider> document;
  EXPECT_EQ(text_->get_DocumentRange(document.put()), UIA_E_ELEMENTNOTAVAILABLE);
}

TEST_F(AccessibilityTest, FindTextSearchesTheWayItIsAsked) {
  // "ta" ends both "beta" (at 8) and "delta" (at 21).
  Ref<ITextRangeProvider> document(Document());
  BSTR needle = ::SysAllocString(L"TA");
  for (const BOOL backward : {FALSE, TRUE}) {
    Ref<ITextRangeProvider> found;
    ASSERT_EQ(document->FindText(needle, backward, TRUE, found.put()), S_OK);
    ASSERT_NE(found.get(), nullptr) << backward;
    EXPECT_EQ(TextOf(found.get()), L"ta");
    int order = 1;
    Ref<ITextRangeProvider> expected(At(backward ? 21 : 8));
    found->CompareEndpoints(TextPatternRangeEndpoint_Start, expected.get(), TextPatternRangeEndpoint_Start, &order);
    EXPECT_EQ(order, 0) << (backward ? "backward" : "forward");
  }
  Ref<ITextRangeProvider> none;
  EXPECT_EQ(document->FindText(needle, FALSE, FALSE, none.put()), S_OK);  // case matters here
  EXPECT_EQ(none.get(), nullptr);
  ::SysFreeString(needle);
}

TEST_F(AccessibilityTest, ASurrogatePairIsOneCharacter) {
  // U+1F600 between two letters: a, high half, low half, b.
  ::SetWindowTextW(view_, L"a\xD83D\xDE00" L"b");
  Ref<ITextRangeProvider> caret(At(0));
  int moved = 0;
  ASSERT_EQ(caret->Move(TextUnit_Character, 2, &moved), S_OK);
  EXPECT_EQ(moved, 2);
  // At() counts characters too: two in is before the b, at 3.
  Ref<ITextRangeProvider> beforeB(At(2));
  BOOL same = FALSE;
  caret->Compare(beforeB.get(), &same);
  EXPECT_TRUE(same);
  ASSERT_EQ(beforeB->MoveEndpointByUnit(TextPatternRangeEndpoint_End, TextUnit_Document, 1, &moved), S_OK);
  EXPECT_EQ(TextOf(beforeB.get()), L"b");
  ASSERT_EQ(caret->Move(TextUnit_Character, -1, &moved), S_OK);
  EXPECT_EQ(moved, -1);
  ASSERT_EQ(caret->MoveEndpointByUnit(TextPatternRangeEndpoint_End, TextUnit_Character, 1, &moved), S_OK);
  EXPECT_EQ(TextOf(caret.get()), L"\xD83D\xDE00");
  ASSERT_EQ(caret->MoveEndpointByUnit(TextPatternRangeEndpoint_Start, TextUnit_Character, 1, &moved), S_OK);
  EXPECT_EQ(TextOf(caret.get()), L"");
  // A range between the halves grows to the whole pair.
  SetSel(view_, 2, 2);
  SAFEARRAY* selection = nullptr;
  ASSERT_EQ(text_->GetSelection(&selection), S_OK);
  LONG index = 0;
  Ref<ITextRangeProvider> inside;
  ASSERT_EQ(::SafeArrayGetElement(selection, &index, inside.put()), S_OK);
  ::SafeArrayDestroy(selection);
  ASSERT_EQ(inside->ExpandToEnclosingUnit(TextUnit_Character), S_OK);
  EXPECT_EQ(TextOf(inside.get()), L"\xD83D\xDE00");
  Ref<ITextRangeProvider> whole(At(0));
  ASSERT_EQ(whole->MoveEndpointByUnit(TextPatternRangeEndpoint_End, TextUnit_Character, 10, &moved), S_OK);
  EXPECT_EQ(moved, 3);
}

// UI Automation's entry points replaced by ones that record what reaches them.
class UiaCallsTest : public AccessibilityTest {
 protected:
  struct Call {
    HWND hwnd;
    WPARAM wp;
    LPARAM lp;
    IRawElementProviderSimple* provider;
  };
  static inline std::vector<Call> calls_;
  static inline std::vector<int> events_;
  static constexpr LRESULT kAnswer = 0x5EED;

  static LRESULT WINAPI ReturnProvider(HWND hwnd, WPARAM wp, LPARAM lp, IRawElementProviderSimple* provider) {
    calls_.push_back({hwnd, wp, lp, provider});
    return kAnswer;
  }
  static HRESULT WINAPI RaiseEvent(IRawElementProviderSimple*, int event) {
    events_.push_back(event);
    return S_OK;
  }
  static BOOL WINAPI Listening() { return TRUE; }

  static UiaApi Recording() {
    UiaApi api = Uia();
    api.returnRawElementProvider = &ReturnProvider;
    api.raiseAutomationEvent = &RaiseEvent;
    api.clientsAreListening = &Listening;
    return api;
  }
  void SetUp() override {
    AccessibilityTest::SetUp();
    calls_.clear();
    events_.clear();
  }
  [[nodiscard]] static bool Raised(int event) {
    return std::find(events_.begin(), events_.end(), event) != events_.end();
  }
};

constexpr int kTextSelectionChangedEvent = 20014;
constexpr int kTextChangedEvent = 20015;

TEST_F(UiaCallsTest, OutputThatMovesTheCaretRaisesTextSelectionChanged) {
  const UiaApi recording = Recording();
  const ScopedUiaApi scoped(recording);
  const int length = ::GetWindowTextLengthW(view_);
  SetSel(view_, length, length);
  events_.clear();
  Replace(view_, L"\r\nmore");  // as a piece of output is appended
  EXPECT_TRUE(Raised(kTextChangedEvent));
  EXPECT_TRUE(Raised(kTextSelectionChangedEvent));
  events_.clear();
  Key(view_, VK_HOME);
  EXPECT_TRUE(Raised(kTextSelectionChangedEvent));
  events_.clear();
  SetSel(view_, 0, 3);
  EXPECT_TRUE(Raised(kTextSelectionChangedEvent));
  events_.clear();
  SetSel(view_, 0, 3);  // no change, no event
  EXPECT_FALSE(Raised(kTextSelectionChangedEvent));
}

TEST_F(UiaCallsTest, EveryGetObjectReachesUiAutomationUnfiltered) {
  const UiaApi recording = Recording();
  const ScopedUiaApi scoped(recording);
  struct Request {
    WPARAM wp;
    LPARAM lp;
  };
  for (const Request& r : {Request{0, OBJID_CLIENT}, Request{0x7, OBJID_WINDOW}, Request{0, UiaRootObjectId},
                           Request{0x1234, OBJID_CARET}}) {
    calls_.clear();
    EXPECT_EQ(::SendMessageW(view_, WM_GETOBJECT, r.wp, r.lp), kAnswer) << r.lp;
    ASSERT_EQ(calls_.size(), 1u) << r.lp;
    EXPECT_EQ(calls_[0].hwnd, view_);
    EXPECT_EQ(calls_[0].wp, r.wp);
    EXPECT_EQ(calls_[0].lp, r.lp);
    EXPECT_EQ(calls_[0].provider, provider_);
  }
}

// Through the system's bridge an Active Accessibility client reads the text as the
// element's value, which is the Value pattern's. Where the system answers OBJID_CLIENT
// with its default proxy instead (Wine), the value is empty; the test above then
// shows that the request reaches UI Automation.
TEST_F(AccessibilityTest, AnActiveAccessibilityClientReadsTheText) {
  IAccessible* raw = nullptr;
  // __uuidof: under mingw-w64 the import library's IID_IAccessible is the address of
  // a thunk, not the identifier.
  ASSERT_EQ(::AccessibleObjectFromWindow(view_, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&raw)),
            S_OK);
  Ref<IAccessible> accessible(raw);
  ASSERT_NE(accessible.get(), nullptr);
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR value = nullptr;
  const HRESULT hr = accessible->get_accValue(self, &value);
  const std::wstring text = SUCCEEDED(hr) && value != nullptr ? std::wstring(value, ::SysStringLen(value)) : L"";
  ::SysFreeString(value);
  if (text.empty()) GTEST_SKIP() << "this system answers with its default proxy, whose value is empty";
  EXPECT_EQ(text, L"alpha beta\r\ngamma delta\r\nlast");
}

}  // namespace
}  // namespace vexlo
