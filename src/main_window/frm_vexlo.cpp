#include "main_window/frm_vexlo.h"

#include <commctrl.h>

#include "output_view/output_view.h"
#include "main_window/control_ids.h"
#include "main_window/resource.h"

namespace vexlo {
namespace {

constexpr wchar_t kWindowClass[] = L"VexloMainWindow";
constexpr COLORREF kBlue = RGB(0, 0, 255);

}  // namespace

frm_Vexlo::frm_Vexlo(Options options)
    : options_(std::move(options)),
      keyboard_({[this] { return window_.get(); }, [this] { return tabRTF.hwnd; },
                 [this] { return fraTab[pageInFront_].hwnd; }, [this](int step) { ShowPageOn(step); },
                 [this] { RecoverFromFailedHandler(); }}) {}

frm_Vexlo::~frm_Vexlo() {
  // Releasing the launcher first means no event reaches a half-destroyed window.
  oLaunch.reset();
  window_.reset();
}

bool frm_Vexlo::Load(std::wstring& failure) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  if (!RegisterWindowClass(wc) || !Frame::Register(instance) || !RegisterOutputView(instance) ||
      !RunStrip::Register(instance)) {
    failure = L"The window class could not be registered.";
    return false;
  }

  // Hidden until Form_Load has put everything in its starting state. Sized once it
  // knows the DPI of the monitor it is on.
  window_.reset(CreateFor(kWindowExStyle, kWindowClass, L"Telvaro", kWindowStyle, CW_USEDEFAULT,
                          CW_USEDEFAULT, 0, 0, nullptr, nullptr));
  if (window_) FitWindow(StartDpi());
  if (!window_ || !CreateControls()) {
    failure = L"The window could not be created.";
    window_.reset();
    return false;
  }
  try {
    Form_Load();
  } catch (const std::exception&) {
    failure = L"The console launcher could not be created, so no tool can be run.";
    oLaunch.reset();
    window_.reset();
    return false;
  }
  labelFitter_.Fit();  // the version text is in place now
  quitWhenDestroyed_ = true;
  return true;
}

void frm_Vexlo::Show() {
  ::ShowWindow(window_.get(), SW_SHOWNORMAL);
  // Activation normally places the focus; a window that opens in the background
  // gets it placed here so that it is right once the user comes to it.
  if (!keyboard_.CanHoldFocus(::GetFocus())) keyboard_.RestoreFocus();
  ::UpdateWindow(window_.get());
}

UINT frm_Vexlo::StartDpi() const {
  return options_.startDpi != 0 ? options_.startDpi : DpiOf(window_.get());
}

LRESULT frm_Vexlo::HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      // An output box notifies EN_UPDATE and EN_CHANGE as an edit control does when
      // another program changes its text; nothing here wants them.
      if (IsOutputChange(HIWORD(wp), reinterpret_cast<HWND>(lp))) return 0;
      OnCommand(LOWORD(wp), HIWORD(wp));
      keyboard_.KeepFocusUsable();
      return 0;
    case WM_ACTIVATE:
      // The default would put the focus on the window itself, where a plain letter
      // acts as an access key: give it back to the control that had it.
      if (LOWORD(wp) == WA_INACTIVE) {
        keyboard_.SaveFocus();
      } else if (HIWORD(wp) == 0) {
        keyboard_.RestoreFocus();
      }
      return 0;
    case WM_SETFOCUS:
      // The focus reaches the window itself when a focused control was hidden.
      keyboard_.RestoreFocus();
      return 0;
    case WM_NEXTDLGCTL:
      // A multi-line edit asks for this on Tab; it moves on like Tab anywhere else.
      if (LOWORD(lp) != 0) {
        ::SetFocus(reinterpret_cast<HWND>(wp));
      } else {
        keyboard_.MoveFocus(wp != 0);
      }
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lp);
      if (header->hwndFrom == tabRTF.hwnd && header->code == TCN_SELCHANGE) {
        tabRTF_Click();
        keyboard_.KeepFocusUsable();
      } else if (header->code == RunStrip::kMarkClicked) {
        const auto* click = reinterpret_cast<const RunStrip::MarkClick*>(lp);
        if (header->hwndFrom == stripPing.hwnd()) stripPing_MarkClick(click->lineStart, click->lineLength);
        if (header->hwndFrom == stripTracert.hwnd()) stripTracert_MarkClick(click->lineStart, click->lineLength);
      }
      return 0;
    }
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
      return 0;
    case WM_GETDPISCALEDSIZE: {
      if (layoutDpi_ == 0) break;  // linear scaling
      auto* size = reinterpret_cast<SIZE*>(lp);
      *size = OnGetDpiScaledSize(static_cast<UINT>(wp), *size);
      return TRUE;
    }
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lp));
      return 0;
    case WM_SIZE:
      if (wp != SIZE_MINIMIZED) OnSize(LOWORD(lp), HIWORD(lp));
      return 0;
    case WM_CTLCOLORSTATIC:
      return OnControlColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_SYSCOLORCHANGE:
      ForwardToAllChildren(msg, wp, lp);
      break;  // and the default handling
    case WM_CLOSE:
      // Destroying the output boxes lets UI Automation go of their providers, which
      // fails inside a message sent from another thread or process
      // (UiaDisconnectProvider's Remarks): such a close is done from the queue.
      if (::InSendMessageEx(nullptr) != ISMEX_NOSEND && ::PostMessageW(hwnd, WM_CLOSE, 0, 0)) return 0;
      Form_Unload();  // never cancels the close
      window_.reset();
      return 0;
    case WM_NCDESTROY:
      window_.release();
      if (quitWhenDestroyed_) ::PostQuitMessage(0);
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

void frm_Vexlo::OnHandlerFailed(HWND, UINT) noexcept { RecoverFromFailedHandler(); }

void frm_Vexlo::RecoverFromFailedHandler() noexcept {
  // A handler that failed half-way (out of memory composing a line or copying a
  // box) must not leave the tabs disabled with no run to enable them again, nor an
  // option fragment that the next line would pick up. Fragments only live while a
  // line is composed, so emptying them never harms a run.
  ClearOptionFragments();
  if (bRunning != kTrue && tabRTF.hwnd != nullptr) tabRTF.Enabled(true);
  ::MessageBeep(MB_ICONERROR);
}

void frm_Vexlo::OnCommand(int id, int code) {
  if (code != BN_CLICKED && code != EN_CHANGE) return;
  switch (id) {
    case kIdExitPing: cmd_exit_ping_Click(); break;
    case kIdExitTracert: cmd_tracert_exit_Click(); break;
    case kIdExitLookup: cmd_lookup_exit_Click(); break;
    case kIdClearPing: cmdClearPing_Click(); break;
    case kIdClearTracert: cmd_clear_tracert_Click(); break;
    case kIdClearLookup: cmd_lookup_clear_Click(); break;
    case kIdExecutePing: cmdExecutePing_Click(); break;
    case kIdExecuteTracert: cmd_execute_tracert_Click(); break;
    case kIdExecuteLookup: cmd_execute_lookup_Click(); break;
    case kIdAddressPing: if (code == EN_CHANGE) txtApplicationPing_Change(); break;
    case kIdAddressTracert: if (code == EN_CHANGE) txtApplicationTracert_Change(); break;
    case kIdAddressLookup: if (code == EN_CHANGE) txtApplicationLookup_Change(); break;
    // Enter and Esc arrive as IDOK and IDCANCEL: no button is the default or cancel
    // button, so they do nothing.
    default: break;
  }
}

bool frm_Vexlo::IsOutputChange(int code, HWND from) const {
  return (code == EN_UPDATE || code == EN_CHANGE) && from != nullptr &&
         (from == txtOutputPing.hwnd || from == txtOutputTracert.hwnd || from == txtOutputLookup.hwnd);
}

LRESULT frm_Vexlo::OnControlColor(HDC dc, HWND control) {
  const bool blue = control == lbl_addr_ping.hwnd || control == lbl_addr_trace.hwnd ||
                    control == lbl_ip_lookup.hwnd || control == lbl_help_pt_1.hwnd;
  ::SetTextColor(dc, blue ? kBlue : ::GetSysColor(COLOR_BTNTEXT));
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

void frm_Vexlo::ForwardToAllChildren(UINT msg, WPARAM wp, LPARAM lp) const {
  // Only top-level windows are told of a colour change; common controls learn of it
  // from their parent. EnumChildWindows reaches the frames' children too.
  struct Message {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
  } message{msg, wp, lp};
  ::EnumChildWindows(
      window_.get(),
      [](HWND child, LPARAM forwarded) -> BOOL {
        const auto* m = reinterpret_cast<const Message*>(forwarded);
        ::SendMessageW(child, m->msg, m->wp, m->lp);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&message));
}

void frm_Vexlo::ShowPageOn(int step) {
  const int pages = static_cast<int>(fraTab.size());
  tabRTF.SelectedItem((tabRTF.SelectedItem() - 1 + step + pages) % pages + 1);
  tabRTF_Click();
}

void frm_Vexlo::BringPageToFront(std::size_t index) {
  pageInFront_ = index;
  fraTab[index].ZOrder(0);
  for (std::size_t i = 0; i < fraTab.size(); ++i) {
    ::ShowWindow(fraTab[i].hwnd, i == index ? SW_SHOWNA : SW_HIDE);
  }
}


}  // namespace vexlo
