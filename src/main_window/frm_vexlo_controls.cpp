// The window's design: every control with its place, size, text and keyboard order.
// Children are created in keyboard order, which Win32 dialog navigation follows.
#include <windows.h>
#include <commctrl.h>

#include <utility>

#include "output_view/output_view.h"
#include "main_window/control_ids.h"
#include "main_window/frm_vexlo.h"
#include "main_window/resource.h"

namespace vexlo {
namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kInput = kChild | WS_TABSTOP | WS_GROUP;
// Labels show their text as it is: an ampersand in a version text is no access key.
constexpr DWORD kLabel = kChild | SS_NOPREFIX;
constexpr DWORD kTextBox = kInput | WS_BORDER | ES_AUTOHSCROLL;
// The output view is read-only and multi-line by nature: it adds ES_MULTILINE,
// ES_READONLY and ES_AUTOVSCROLL to its style itself, for tools that read them.
constexpr DWORD kOutput = kChild | WS_BORDER | WS_VSCROLL | WS_GROUP;
constexpr DWORD kButton = kInput | BS_PUSHBUTTON;
constexpr DWORD kCheck = kInput | BS_AUTOCHECKBOX;
constexpr DWORD kOption = kInput | BS_AUTORADIOBUTTON;
constexpr DWORD kFrame = kChild | WS_CLIPCHILDREN;

void LimitToControlMaximum(HWND box) {
  // Zero lifts the default limit of 30,000 characters to the most the control holds.
  ::SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
}

}  // namespace

struct frm_Vexlo::ControlDesign {
  HWND* control;  // where the created window goes
  const wchar_t* cls;
  const wchar_t* text;
  DWORD style;
  int id;
  TwipsRect place;  // in the container
  const UniqueFont* font = nullptr;  // the window's font when null
  WindowBase* handler = nullptr;     // the object that runs a class of our own
};

bool frm_Vexlo::MakeFonts(UINT dpi) {
  UniqueFont font = MakeFont(options_.fontFace, 8.25, false, dpi);
  UniqueFont title = MakeFont(options_.fontFace, 12, true, dpi);
  UniqueFont text = MakeFont(options_.fontFace, 9.75, true, dpi);
  if (!font || !title || !text) return false;
  font_ = std::move(font);
  helpTitleFont_ = std::move(title);
  helpTextFont_ = std::move(text);
  return true;
}

void frm_Vexlo::LoadIcons(UINT dpi) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const auto load = [&](int width, int height) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_VEXLO), IMAGE_ICON,
                                           ::GetSystemMetricsForDpi(width, dpi),
                                           ::GetSystemMetricsForDpi(height, dpi), 0));
  };
  UniqueIcon big(load(SM_CXICON, SM_CYICON));
  UniqueIcon small(load(SM_CXSMICON, SM_CYSMICON));
  // The window keeps using the old icons until it is told of the new ones.
  ::SendMessageW(window_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  ::SendMessageW(window_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  icon_ = std::move(big);
  smallIcon_ = std::move(small);
}

void frm_Vexlo::SetStatusParts(UINT dpi, int extraWidth) const {
  int edges[] = {TwipsToPixels(5160, dpi) + extraWidth, TwipsToPixels(5160 + 1440, dpi) + extraWidth};
  ::SendMessageW(sbStatus.hwnd, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
}

std::vector<frm_Vexlo::ControlDesign> frm_Vexlo::PingPage() {
  return {
      {&txtApplicationPing.hwnd, L"EDIT", L"", kTextBox, kIdAddressPing, {1680, 240, 2895, 315}},
      {&cmdExecutePing.hwnd, L"BUTTON", L"E&xecute", kButton | WS_DISABLED, kIdExecutePing, {4680, 240, 1515, 300}},
      {&chk_opt_a.hwnd, L"BUTTON", L"Resolve Names (-a)", kCheck, kIdOptA, {120, 675, 2175, 255}},
      {&chk_opt_f.hwnd, L"BUTTON", L"Don't defrag pkt (-f)", kCheck, kIdOptF, {120, 1080, 2175, 255}},
      {&chk_opt_t.hwnd, L"BUTTON", L"Run until you stop (-t)", kOption, kIdOptT, {2280, 675, 2000, 255}},
      // No WS_GROUP: it shares the group that chk_opt_t starts.
      {&chk_opt_n.hwnd, L"BUTTON", L"Run", kOption & ~WS_GROUP, kIdOptN, {2280, 1080, 615, 255}},
      {&txt_times_n.hwnd, L"EDIT", L"4", kTextBox, kIdTimesN, {2880, 1080, 375, 285}},
      {&cmdClearPing.hwnd, L"BUTTON", L"&Clear", kButton, kIdClearPing, {4680, 600, 1515, 300}},
      {&cmd_exit_ping.hwnd, L"BUTTON", L"&Exit", kButton, kIdExitPing, {4680, 960, 1515, 300}},
      {&txtOutputPing.hwnd, kOutputViewClass, L"Ping output", kOutput, kIdOutputPing, kOutputPlace,
       nullptr, &OutputViewProcedure()},
      {&lbl_times_n.hwnd, L"STATIC", L"times (-n)", kLabel, kIdLabelTimesN, {3360, 1125, 735, 255}},
      {&lbl_addr_ping.hwnd, L"STATIC", L"Address to Ping:", kLabel, kIdLabelAddressPing, {120, 300, 1425, 195}},
  };
}

std::vector<frm_Vexlo::ControlDesign> frm_Vexlo::TracertPage() {
  return {
      {&txtApplicationTracert.hwnd, L"EDIT", L"", kTextBox, kIdAddressTracert, {1680, 240, 2895, 315}},
      {&cmd_execute_tracert.hwnd, L"BUTTON", L"E&xecute", kButton | WS_DISABLED, kIdExecuteTracert, {4680, 240, 1515, 300}},
      {&chk_opt_d.hwnd, L"BUTTON", L"Don NOT Resolve Names (-d)", kCheck, kIdOptD, {120, 675, 2535, 255}},
      {&chk_opt_h.hwnd, L"BUTTON", L"Max", kCheck, kIdOptH, {120, 1080, 615, 255}},
      {&txt_times_h.hwnd, L"EDIT", L"30", kTextBox, kIdTimesH, {720, 1080, 375, 285}},
      {&cmd_clear_tracert.hwnd, L"BUTTON", L"&Clear", kButton, kIdClearTracert, {4680, 600, 1515, 300}},
      {&cmd_tracert_exit.hwnd, L"BUTTON", L"&Exit", kButton, kIdExitTracert, {4680, 960, 1515, 300}},
      {&txtOutputTracert.hwnd, kOutputViewClass, L"Traceroute output", kOutput, kIdOutputTracert, kOutputPlace,
       nullptr, &OutputViewProcedure()},
      {&lbl_addr_trace.hwnd, L"STATIC", L"Address to Trace:", kLabel, kIdLabelAddressTrace, {120, 300, 1545, 195}},
      {&lbl_opt_h.hwnd, L"STATIC", L"hops (-h)", kLabel, kIdLabelOptH, {1140, 1095, 615, 255}},
  };
}

std::vector<frm_Vexlo::ControlDesign> frm_Vexlo::LookupPage() {
  return {
      {&txtApplicationLookup.hwnd, L"EDIT", L"", kTextBox, kIdAddressLookup, {1680, 240, 2895, 315}},
      {&cmd_execute_lookup.hwnd, L"BUTTON", L"E&xecute", kButton | WS_DISABLED, kIdExecuteLookup, {4680, 240, 1515, 300}},
      {&cmd_lookup_clear.hwnd, L"BUTTON", L"&Clear", kButton, kIdClearLookup, {4680, 600, 1515, 300}},
      {&cmd_lookup_exit.hwnd, L"BUTTON", L"&Exit", kButton, kIdExitLookup, {4680, 960, 1515, 300}},
      {&txtOutputLookup.hwnd, kOutputViewClass, L"LookUp output", kOutput, kIdOutputLookup, kOutputPlace,
       nullptr, &OutputViewProcedure()},
      {&lbl_ip_lookup.hwnd, L"STATIC", L"Address to LookUp:", kLabel, kIdLabelAddressLookup, {120, 300, 1665, 195}},
  };
}

std::vector<frm_Vexlo::ControlDesign> frm_Vexlo::HelpPage() {
  const UniqueFont* text = &helpTextFont_;
  return {
      {&lbl_help_pt_4.hwnd, L"STATIC",
       L"For each  \"subprogram\" is provided a set of options, just the most used or most important options.",
       kLabel, kIdHelp4, {120, 2160, 6135, 495}, text},
      {&lbl_help_pt_3.hwnd, L"STATIC",
       L"Vexlo is a simple GUI for those programs, so you still need them, but you can use them without "
       L"launching them from the console.",
       kLabel, kIdHelp3, {120, 1560, 6135, 495}, text},
      {&lbl_help_pt_2.hwnd, L"STATIC",
       L"Vexlo (Telvaro) is a program made to make easier the use of the most common network tools, like ping, "
       L"traceroute and lookup.",
       kLabel, kIdHelp2, {120, 720, 6135, 735}, text},
      {&lbl_help_pt_1.hwnd, L"STATIC", L"", kLabel, kIdHelp1, {120, 240, 6135, 375}, &helpTitleFont_},
  };
}

bool frm_Vexlo::CreateInto(HWND parent, const std::vector<ControlDesign>& designs, UINT dpi) {
  for (const ControlDesign& d : designs) {
    const UniqueFont* font = d.font != nullptr ? d.font : &font_;
    const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(d.id));
    const TwipsRect& t = d.place;
    const int x = TwipsToPixels(t.left, dpi), y = TwipsToPixels(t.top, dpi);
    const int width = TwipsToPixels(t.width, dpi), height = TwipsToPixels(t.height, dpi);
    const HWND h = d.handler != nullptr
                       ? d.handler->CreateFor(0, d.cls, d.text, d.style, x, y, width, height, parent, id)
                       : ::CreateWindowExW(0, d.cls, d.text, d.style, x, y, width, height, parent, id,
                                           ::GetModuleHandleW(nullptr), nullptr);
    if (h == nullptr) return false;
    *d.control = h;
    ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font->get()), FALSE);
    placements_.push_back({h, t, font});
    if (::lstrcmpiW(d.cls, L"STATIC") == 0) labelFitter_.AddLabel(h);
    if (::lstrcmpiW(d.cls, L"BUTTON") == 0) labelFitter_.AddButton(h);
  }
  return true;
}

bool frm_Vexlo::CreateControls() {
  const HWND w = window_.get();
  const UINT dpi = StartDpi();
  if (!MakeFonts(dpi)) return false;
  LoadIcons(dpi);
  placements_.clear();
  labelFitter_.Clear();

  // Frames first: they lie above the tab strip, and their controls come first in the
  // keyboard order. Their stored places are below the client area until Form_Load.
  WindowBase& frame = Frame::Procedure();
  const std::vector<ControlDesign> frames = {
      {&fraTab[0].hwnd, Frame::kClassName, L"", kFrame, kIdFrame0, {120, 6120, 6495, 5295}, nullptr, &frame},
      {&fraTab[1].hwnd, Frame::kClassName, L"", kFrame, kIdFrame1, {1080, 6600, 6495, 5295}, nullptr, &frame},
      {&fraTab[2].hwnd, Frame::kClassName, L"", kFrame, kIdFrame2, {3480, 6240, 6375, 5415}, nullptr, &frame},
      {&fraTab[3].hwnd, Frame::kClassName, L"", kFrame, kIdFrame3, {6360, 7800, 6375, 5415}, nullptr, &frame},
  };
  const std::vector<ControlDesign> bars = {
      {&tabRTF.hwnd, WC_TABCONTROLW, L"", kChild | WS_TABSTOP | WS_GROUP, kIdTabStrip, kTabStripPlace},
      {&sbStatus.hwnd, STATUSCLASSNAMEW, L"", kChild | CCS_BOTTOM, kIdStatusBar, {0, 5670, 6645, 255}},
  };
  if (!CreateInto(w, frames, dpi) || !CreateInto(w, bars, dpi)) return false;
  for (auto& frame : fraTab) {
    // Dialog navigation descends only into control parents.
    ::SetWindowLongPtrW(frame.hwnd, GWL_EXSTYLE, WS_EX_CONTROLPARENT);
  }
  const wchar_t* tabs[] = {L"Ping", L"Traceroute", L"LookUp", L"Help"};
  for (int i = 0; i < 4; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(tabs[i]);
    ::SendMessageW(tabRTF.hwnd, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  SetStatusParts(dpi, 0);

  if (!CreateInto(fraTab[0].hwnd, PingPage(), dpi) || !CreateInto(fraTab[1].hwnd, TracertPage(), dpi) ||
      !CreateInto(fraTab[2].hwnd, LookupPage(), dpi) || !CreateInto(fraTab[3].hwnd, HelpPage(), dpi)) {
    return false;
  }
  labelFitter_.AddCountBox(txt_times_n.hwnd);
  labelFitter_.AddCountBox(txt_times_h.hwnd);
  for (HWND box : {txtApplicationPing.hwnd, txt_times_n.hwnd, txtApplicationTracert.hwnd, txt_times_h.hwnd,
                   txtApplicationLookup.hwnd, txtOutputPing.hwnd, txtOutputTracert.hwnd, txtOutputLookup.hwnd}) {
    LimitToControlMaximum(box);
  }
  for (HWND box : {txtOutputPing.hwnd, txtOutputTracert.hwnd, txtOutputLookup.hwnd}) {
    outputViews.Add(box);
  }
  return CreateStrips(dpi);
}

}  // namespace vexlo
