// Tooltips for status bar panels. The tooltip window lives with the status bar (a
// property of it), and a subclass drops a panel's tip whenever that panel's text is
// rewritten, so a tip never explains a text that is no longer there.
#include <windows.h>
#include <commctrl.h>

#include "controls/controls.h"

namespace vexlo {
namespace {

constexpr UINT_PTR kTipSubclassId = 1;
constexpr wchar_t kTipProperty[] = L"VexloPanelTips";
constexpr int kTipWidthPixels = 320;  // long system messages wrap instead of running off

LRESULT CALLBACK TipSubclass(HWND bar, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);

HWND TipWindowOf(HWND bar) { return static_cast<HWND>(::GetPropW(bar, kTipProperty)); }

TOOLINFOW ToolOf(HWND bar, int panel) {
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = bar;
  tool.uId = static_cast<UINT_PTR>(panel);
  return tool;
}

void FollowPanels(HWND bar, HWND tips) {
  const int count = static_cast<int>(::SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    TOOLINFOW tool = ToolOf(bar, 0);
    if (!::SendMessageW(tips, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(&tool))) continue;
    ::SendMessageW(bar, SB_GETRECT, tool.uId - 1, reinterpret_cast<LPARAM>(&tool.rect));
    ::SendMessageW(tips, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

LRESULT CALLBACK TipSubclass(HWND bar, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
  const auto tips = reinterpret_cast<HWND>(data);
  switch (msg) {
    case SB_SETTEXTW:
    case SB_SETTEXTA: {
      TOOLINFOW tool = ToolOf(bar, LOBYTE(wp) + 1);  // the low byte is the part
      ::SendMessageW(tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
      break;
    }
    case WM_SIZE:
    case SB_SETPARTS: {
      const LRESULT result = ::DefSubclassProc(bar, msg, wp, lp);
      FollowPanels(bar, tips);
      return result;
    }
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(bar, &TipSubclass, id);
      ::RemovePropW(bar, kTipProperty);
      // An owned window may already be gone with its owner.
      if (::IsWindow(tips)) ::DestroyWindow(tips);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(bar, msg, wp, lp);
}

HWND MakeTipWindow(HWND bar) {
  HWND tips = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                ::GetAncestor(bar, GA_ROOT), nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (tips == nullptr) return nullptr;
  if (!::SetPropW(bar, kTipProperty, tips)) {
    ::DestroyWindow(tips);
    return nullptr;
  }
  if (!::SetWindowSubclass(bar, &TipSubclass, kTipSubclassId, reinterpret_cast<DWORD_PTR>(tips))) {
    ::RemovePropW(bar, kTipProperty);
    ::DestroyWindow(tips);
    return nullptr;
  }
  ::SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, kTipWidthPixels);
  return tips;
}

}  // namespace

void StatusBar::PanelTip(int panel, const std::wstring& tip) const {
  HWND tips = TipWindowOf(hwnd);
  if (tips == nullptr && tip.empty()) return;
  if (tips == nullptr && (tips = MakeTipWindow(hwnd)) == nullptr) return;
  TOOLINFOW tool = ToolOf(hwnd, panel);
  ::SendMessageW(tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (tip.empty()) return;
  tool.uFlags = TTF_SUBCLASS;
  ::SendMessageW(hwnd, SB_GETRECT, panel - 1, reinterpret_cast<LPARAM>(&tool.rect));
  tool.lpszText = const_cast<wchar_t*>(tip.c_str());  // the tooltip keeps a copy
  ::SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::wstring StatusBar::PanelTip(int panel) const {
  const HWND tips = TipWindowOf(hwnd);
  if (tips == nullptr) return {};
  TOOLINFOW tool = ToolOf(hwnd, panel);
  if (!::SendMessageW(tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool))) return {};
  std::wstring text(1024, L'\0');
  tool.lpszText = text.data();
  ::SendMessageW(tips, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
  text.resize(wcslen(text.c_str()));
  return text;
}

}  // namespace vexlo
