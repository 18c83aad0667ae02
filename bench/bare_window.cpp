// The yardstick of the start-up benchmark: a bare top-level window with the kinds of
// controls the program has (a tab control, labels, edits, buttons, check boxes, radio
// buttons, a status bar) and the same manifest, doing nothing else.
#include <windows.h>
#include <commctrl.h>

namespace {

struct Child {
  const wchar_t* cls;
  const wchar_t* text;
  DWORD style;
  int x, y, width, height;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEdit = kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;

constexpr Child kChildren[] = {
    {WC_TABCONTROLW, L"", kChild | WS_TABSTOP, 2, 2, 440, 376},
    {L"STATIC", L"Address:", kChild, 16, 40, 95, 13},
    {L"EDIT", L"", kEdit, 112, 36, 193, 21},
    {L"BUTTON", L"E&xecute", kButton, 312, 36, 101, 20},
    {L"BUTTON", L"Option one", kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 16, 66, 145, 17},
    {L"BUTTON", L"Option two", kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 16, 92, 145, 17},
    {L"BUTTON", L"Choice one", kChild | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 160, 66, 133, 17},
    {L"BUTTON", L"Choice two", kChild | BS_AUTORADIOBUTTON, 160, 92, 41, 17},
    {L"EDIT", L"4", kEdit, 200, 92, 25, 19},
    {L"STATIC", L"times", kChild, 228, 95, 49, 17},
    {L"BUTTON", L"&Clear", kButton, 312, 60, 101, 20},
    {L"BUTTON", L"&Exit", kButton, 312, 84, 101, 20},
    {L"EDIT", L"", kChild | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 16, 118, 417, 243},
    {STATUSCLASSNAMEW, L"", kChild | CCS_BOTTOM, 0, 0, 0, 0},
};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"BareWindow";
  if (::RegisterClassExW(&wc) == 0) return 1;
  const HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"Bare window", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                        CW_USEDEFAULT, 460, 440, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  const HFONT font = ::CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial");
  for (const Child& c : kChildren) {
    const HWND child = ::CreateWindowExW(0, c.cls, c.text, c.style, c.x, c.y, c.width, c.height, window, nullptr,
                                         instance, nullptr);
    if (child == nullptr) return 1;
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!::IsDialogMessageW(window, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  ::DeleteObject(font);
  return 0;
}
