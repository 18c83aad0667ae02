#include "controls/controls.h"

#include <commctrl.h>

#include <cmath>
#include <vector>

#include "common/app_messages.h"
#include "common/gdi_guards.h"

namespace vexlo {

int TwipsToPixels(double twips, UINT dpi) noexcept {
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

float PixelsToTwips(int pixels, UINT dpi) noexcept {
  return static_cast<float>(pixels * 1440.0 / dpi);
}

UINT DpiOf(HWND hwnd) noexcept {
  const UINT dpi = ::GetDpiForWindow(hwnd);
  return dpi == 0 ? 96 : dpi;
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

UniqueFont MakeFont(const wchar_t* face, double points, bool bold, UINT dpi) {
  LOGFONTW lf{};
  lf.lfHeight = -static_cast<LONG>(std::lround(points * dpi / 72.0));
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  // The character set weighs more than the face name in font mapping. DEFAULT_CHARSET
  // stands for the system locale's, which Arial may lack (Thai): the mapper then
  // gives another face, under Wine one without Latin letters. Arial has ANSI_CHARSET
  // everywhere; other scripts are drawn through font linking and Uniscribe's fallback.
  lf.lfCharSet = ANSI_CHARSET;
  wcsncpy_s(lf.lfFaceName, face, _TRUNCATE);
  return UniqueFont(::CreateFontIndirectW(&lf));
}

UniqueFont MakeArialFont(double points, bool bold, UINT dpi) { return MakeFont(L"Arial", points, bold, dpi); }

void Control::TabStop(bool on) const {
  const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
  ::SetWindowLongPtrW(hwnd, GWL_STYLE, on ? style | WS_TABSTOP : style & ~static_cast<LONG_PTR>(WS_TABSTOP));
}

int TextBox::SelStart() const {
  DWORD start = 0;
  ::SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  return static_cast<int>(start);
}

void TextBox::SelStart(int position) const {
  ::SendMessageW(hwnd, EM_SETSEL, position, position);
  ::SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
}

bool TextBox::CaretAt(int position) const {
  DWORD start = 0;
  DWORD end = 0;
  ::SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return start == end && start == static_cast<DWORD>(position);
}

std::size_t TextBox::Append(const std::wstring& text, const ReadTimes& times) const {
  std::size_t startsAt = 0;
  TimedOutput output{text.c_str(), text.size(), &times, &startsAt};
  ::SendMessageW(hwnd, kAppendTimedOutputMessage, 0, reinterpret_cast<LPARAM>(&output));
  return startsAt;
}

void TextBox::Append(const std::wstring& text) const {
  ::SendMessageW(hwnd, kAppendOutputMessage, text.size(), reinterpret_cast<LPARAM>(text.c_str()));
}

int CheckBox::Value() const {
  return ::SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void CheckBox::Value(int value) const {
  ::SendMessageW(hwnd, BM_SETCHECK, value == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool OptionButton::Value() const {
  return ::SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void OptionButton::Value(bool selected) const {
  if (selected) {
    // BM_SETCHECK alone leaves the group's other buttons as they are.
    const HWND parent = ::GetParent(hwnd);
    for (HWND other = ::GetNextDlgGroupItem(parent, hwnd, FALSE); other != nullptr && other != hwnd;
         other = ::GetNextDlgGroupItem(parent, other, FALSE)) {
      ::SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
    }
  }
  ::SendMessageW(hwnd, BM_SETCHECK, selected ? BST_CHECKED : BST_UNCHECKED, 0);
}

namespace {

// Every frame is run by this one procedure; it holds nothing of its own.
class FrameProcedure final : public WindowBase {
 private:
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override {
    switch (msg) {
      case WM_COMMAND:
      case WM_NOTIFY:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLOREDIT:
      case WM_NEXTDLGCTL:
        // The window's handlers own every control, whatever page holds it; a
        // multi-line edit asks its parent to move the focus on with WM_NEXTDLGCTL.
        return ::SendMessageW(::GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
      case WM_CLOSE:
        // A multi-line edit posts WM_CLOSE to its parent on Esc; a page is never
        // closed, it lives as long as the window.
        return 0;
      case WM_PAINT:
        Paint(hwnd);
        return 0;
      default:
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
  }

  static void Paint(HWND hwnd) {
    const PaintDc paint(hwnd);
    RECT r;
    if (paint.get() == nullptr || !::GetClientRect(hwnd, &r)) return;
    ::DrawEdge(paint.get(), &r, EDGE_ETCHED, BF_RECT);
  }
};

}  // namespace

WindowBase& Frame::Procedure() {
  static FrameProcedure procedure;
  return procedure;
}

bool Frame::Register(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  // The border follows the frame's edge: a frame that grows with the window is drawn
  // anew, or its old edge would stay inside it.
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  return WindowBase::RegisterWindowClass(wc);
}

void Frame::Move(float left, float top, float width, float height) const {
  const UINT dpi = DpiOf(hwnd);
  ::MoveWindow(hwnd, TwipsToPixels(left, dpi), TwipsToPixels(top, dpi), TwipsToPixels(width, dpi),
               TwipsToPixels(height, dpi), TRUE);
}

void Frame::ZOrder(int position) const {
  ::SetWindowPos(hwnd, position == 0 ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

RECT Frame::BoundsTwips() const {
  RECT r;
  ::GetWindowRect(hwnd, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  const UINT dpi = DpiOf(hwnd);
  return {std::lround(PixelsToTwips(r.left, dpi)), std::lround(PixelsToTwips(r.top, dpi)),
          std::lround(PixelsToTwips(r.right, dpi)), std::lround(PixelsToTwips(r.bottom, dpi))};
}

int TabStrip::SelectedItem() const {
  return static_cast<int>(::SendMessageW(hwnd, TCM_GETCURSEL, 0, 0)) + 1;
}

void TabStrip::SelectedItem(int index) const {
  ::SendMessageW(hwnd, TCM_SETCURSEL, static_cast<WPARAM>(index - 1), 0);
}

RECT TabStrip::PageRect() const {
  RECT r{};
  ::GetClientRect(hwnd, &r);
  ::SendMessageW(hwnd, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  ::MapWindowPoints(hwnd, ::GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TabStrip::Area TabStrip::ClientArea() const {
  const RECT r = PageRect();
  const UINT dpi = DpiOf(hwnd);
  return {PixelsToTwips(r.left, dpi), PixelsToTwips(r.top, dpi), PixelsToTwips(r.right - r.left, dpi),
          PixelsToTwips(r.bottom - r.top, dpi)};
}

std::wstring StatusBar::PanelText(int panel) const {
  const auto length = LOWORD(::SendMessageW(hwnd, SB_GETTEXTLENGTHW, panel - 1, 0));
  std::vector<wchar_t> text(length + 1u, L'\0');
  ::SendMessageW(hwnd, SB_GETTEXTW, panel - 1, reinterpret_cast<LPARAM>(text.data()));
  return text.data();
}

void StatusBar::PanelText(int panel, const wchar_t* text) const {
  ::SendMessageW(hwnd, SB_SETTEXTW, panel - 1, reinterpret_cast<LPARAM>(text));
}

}  // namespace vexlo
