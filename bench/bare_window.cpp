// The yardstick of the start-up benchmark: a bare top-level window with the kinds of
// controls the program has (a tab control, labels, edits, buttons, check boxes, radio
// buttons, a status bar), as many of each on four pages, and the same manifest; plain
// edit controls stand for the output views. It does nothing else.
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <initializer_list>

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
constexpr DWORD kCheck = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kRadio = kChild | WS_TABSTOP | BS_AUTORADIOBUTTON;
constexpr DWORD kOutput = kChild | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
constexpr wchar_t kPageClass[] = L"BarePage";

// As many controls of each kind as the program's four pages have; pages 2 to 4 hidden.
constexpr Child kPing[] = {
    {L"EDIT", L"", kEdit, 112, 16, 193, 21},       {L"BUTTON", L"E&xecute", kButton, 312, 16, 101, 20},
    {L"BUTTON", L"One", kCheck, 8, 45, 145, 17},   {L"BUTTON", L"Two", kCheck, 8, 72, 145, 17},
    {L"BUTTON", L"Three", kRadio, 152, 45, 133, 17}, {L"BUTTON", L"Four", kRadio, 152, 72, 41, 17},
    {L"EDIT", L"4", kEdit, 192, 72, 25, 19},       {L"BUTTON", L"&Clear", kButton, 312, 40, 101, 20},
    {L"BUTTON", L"&Exit", kButton, 312, 64, 101, 20}, {L"EDIT", L"Output", kOutput, 8, 98, 417, 243},
    {L"STATIC", L"times", kChild, 224, 75, 49, 17}, {L"STATIC", L"Address:", kChild, 8, 20, 95, 13},
};
constexpr Child kTrace[] = {
    {L"EDIT", L"", kEdit, 112, 16, 193, 21},       {L"BUTTON", L"E&xecute", kButton, 312, 16, 101, 20},
    {L"BUTTON", L"One", kCheck, 8, 45, 169, 17},   {L"BUTTON", L"Two", kCheck, 8, 72, 41, 17},
    {L"EDIT", L"30", kEdit, 48, 72, 25, 19},       {L"BUTTON", L"&Clear", kButton, 312, 40, 101, 20},
    {L"BUTTON", L"&Exit", kButton, 312, 64, 101, 20}, {L"EDIT", L"Output", kOutput, 8, 98, 417, 243},
    {L"STATIC", L"Address:", kChild, 8, 20, 103, 13}, {L"STATIC", L"hops", kChild, 76, 73, 41, 17},
};
constexpr Child kLookup[] = {
    {L"EDIT", L"", kEdit, 112, 16, 193, 21},         {L"BUTTON", L"E&xecute", kButton, 312, 16, 101, 20},
    {L"BUTTON", L"&Clear", kButton, 312, 40, 101, 20}, {L"BUTTON", L"&Exit", kButton, 312, 64, 101, 20},
    {L"EDIT", L"Output", kOutput, 8, 98, 417, 243},  {L"STATIC", L"Address:", kChild, 8, 20, 111, 13},
};
constexpr Child kHelp[] = {
    {L"STATIC", L"Third paragraph of help text, on two lines at most.", kChild, 8, 144, 409, 33},
    {L"STATIC", L"Second paragraph of help text, on two lines at most.", kChild, 8, 104, 409, 33},
    {L"STATIC", L"First paragraph of help text, on three lines at most.", kChild, 8, 48, 409, 49},
    {L"STATIC", L"Title", kChild, 8, 16, 409, 25},
};

template <std::size_t N>
bool CreatePage(HWND window, HINSTANCE instance, HFONT font, const Child (&children)[N], bool shown) {
  const HWND page = ::CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, L"", WS_CHILD | (shown ? WS_VISIBLE : 0),
                                      6, 28, 432, 350, window, nullptr, instance, nullptr);
  if (page == nullptr) return false;
  for (const Child& c : children) {
    const HWND child = ::CreateWindowExW(0, c.cls, c.text, c.style, c.x, c.y, c.width, c.height, page, nullptr,
                                         instance, nullptr);
    if (child == nullptr) return false;
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  return true;
}

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
  WNDCLASSEXW page{};
  page.cbSize = sizeof page;
  page.lpfnWndProc = &::DefWindowProcW;
  page.hInstance = instance;
  page.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  page.lpszClassName = kPageClass;
  if (::RegisterClassExW(&page) == 0) return 1;
  const HWND tab = ::CreateWindowExW(0, WC_TABCONTROLW, L"", kChild | WS_TABSTOP, 2, 2, 440, 376, window, nullptr,
                                     instance, nullptr);
  const HWND status = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", kChild | CCS_BOTTOM, 0, 0, 0, 0, window, nullptr,
                                        instance, nullptr);
  if (tab == nullptr || status == nullptr) return 1;
  for (const HWND bar : {tab, status}) ::SendMessageW(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  const wchar_t* names[] = {L"One", L"Two", L"Three", L"Four"};
  for (int i = 0; i < 4; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(names[i]);
    ::SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  if (!CreatePage(window, instance, font, kPing, true) || !CreatePage(window, instance, font, kTrace, false) ||
      !CreatePage(window, instance, font, kLookup, false) || !CreatePage(window, instance, font, kHelp, false)) {
    return 1;
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
