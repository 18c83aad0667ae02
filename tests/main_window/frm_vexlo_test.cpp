#include "main_window/frm_vexlo.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <thread>
#include <tuple>
#include <vector>

#include "common/unique_handles.h"
#include "output_view/output_view.h"
#include "output_view/uia_api.h"
#include "support/fake_launcher.h"
#include "support/form_test.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

class WindowTest : public test::FormTest {
 protected:
  void SetUp() override { SetVersion(nullptr); }

  // Writes (or with null removes) the version value that start-up reads.
  static void SetVersion(const wchar_t* text) {
    UniqueKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quenmar\\vexlo", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, key.put(), nullptr), ERROR_SUCCESS);
    if (text == nullptr) {
      ::RegDeleteValueW(key.get(), L"Ver");
    } else {
      ::RegSetValueExW(key.get(), L"Ver", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    }
  }
};

TEST_F(WindowTest, StartUpLeavesTheDesignedState) {
  Open();
  frm_Vexlo& f = *form_;
  EXPECT_FALSE(::IsWindowVisible(f.hwnd()));  // shown only after Form_Load
  EXPECT_EQ(WindowText(f.hwnd()), L"Telvaro");
  EXPECT_EQ(f.sbStatus.PanelText(1), L"Waiting");
  EXPECT_EQ(f.sbStatus.PanelText(2), L"Waiting");
  EXPECT_TRUE(f.chk_opt_n.Value());
  EXPECT_FALSE(f.chk_opt_t.Value());
  EXPECT_EQ(f.bRunning, kFalse);
  EXPECT_EQ(f.tabRTF.SelectedItem(), 1);
  EXPECT_EQ(f.txt_times_n.Text(), L"4");
  EXPECT_EQ(f.txt_times_h.Text(), L"30");
  for (const CommandButton* b : {&f.cmdExecutePing, &f.cmd_execute_tracert, &f.cmd_execute_lookup}) {
    EXPECT_FALSE(b->Enabled());
    EXPECT_EQ(b->Caption(), L"E&xecute");
  }
  for (const TextBox* t : {&f.txtApplicationPing, &f.txtApplicationTracert, &f.txtApplicationLookup}) {
    EXPECT_TRUE(t->Enabled());
  }
  EXPECT_EQ(f.lbl_help_pt_4.Caption(),
            L"For each  \"subprogram\" is provided a set of options, just the most used or most important options.");
  EXPECT_EQ(log_->calls, (std::vector<std::wstring>{L"BufferSize 8192", L"Interval 1000"}));
}

TEST_F(WindowTest, FramesCoverTheTabStripsClientAreaWithPingInFront) {
  Open();
  frm_Vexlo& f = *form_;
  const RECT first = f.fraTab[0].BoundsTwips();
  EXPECT_NEAR(first.left, f.tabRTF.ClientLeft(), 15);
  EXPECT_NEAR(first.top, f.tabRTF.ClientTop(), 15);
  EXPECT_NEAR(first.right - first.left, f.tabRTF.ClientWidth(), 15);
  EXPECT_NEAR(first.bottom - first.top, f.tabRTF.ClientHeight(), 15);
  for (const Frame& frame : f.fraTab) {
    const RECT r = frame.BoundsTwips();
    EXPECT_TRUE(::EqualRect(&first, &r));
  }
  // In front of its siblings, and the only page that takes input.
  EXPECT_EQ(::GetWindow(f.hwnd(), GW_CHILD), f.fraTab[0].hwnd);
  EXPECT_TRUE(f.fraTab[0].Visible());
  for (std::size_t i = 1; i < 4; ++i) EXPECT_FALSE(f.fraTab[i].Visible()) << i;
  RECT client;
  ::GetClientRect(f.hwnd(), &client);
  EXPECT_EQ(client.right, TwipsToPixels(6645, DpiOf(f.hwnd())));
  EXPECT_EQ(client.bottom, TwipsToPixels(5925, DpiOf(f.hwnd())));
}

// A control's rectangle in its parent's client pixels.
RECT PlaceOf(HWND control) {
  RECT r;
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LONG FontHeightOf(HWND control) {
  LOGFONTW font{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font.lfHeight;
}

void ChangeDpi(HWND window, UINT dpi) {
  RECT suggested;
  ::GetWindowRect(window, &suggested);
  ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

TEST_F(WindowTest, ANewDpiPlacesEveryControlFromItsTwips) {
  Open();
  frm_Vexlo& f = *form_;
  const RECT executeAt96 = PlaceOf(f.cmdExecutePing.hwnd);
  const RECT titleAt96 = PlaceOf(f.lbl_help_pt_1.hwnd);
  const LONG fontAt96 = FontHeightOf(f.cmdExecutePing.hwnd);

  ChangeDpi(f.hwnd(), 144);
  RECT client;
  ::GetClientRect(f.hwnd(), &client);
  EXPECT_EQ(client.right, TwipsToPixels(6645, 144));
  EXPECT_EQ(client.bottom, TwipsToPixels(5925, 144));
  // 4680, 240, 1515 x 300 twips at 144 dpi.
  const RECT execute = PlaceOf(f.cmdExecutePing.hwnd);
  EXPECT_EQ(execute.left, 468);
  EXPECT_EQ(execute.top, 24);
  EXPECT_EQ(execute.right - execute.left, TwipsToPixels(1515, 144));
  EXPECT_EQ(execute.bottom - execute.top, 30);
  const RECT output = PlaceOf(f.txtOutputLookup.hwnd);
  EXPECT_EQ(output.left, 12);
  EXPECT_EQ(output.right - output.left, TwipsToPixels(6255, 144));
  // Fonts keep their point sizes: 8.25 pt and the Help title's 12 pt.
  EXPECT_EQ(FontHeightOf(f.cmdExecutePing.hwnd), -17);
  EXPECT_EQ(FontHeightOf(f.txtOutputPing.hwnd), -17);
  EXPECT_EQ(FontHeightOf(f.lbl_help_pt_1.hwnd), -24);
  // The pages still fill the tab strip's page area, which the larger tabs moved down.
  RECT page;
  ::GetClientRect(f.tabRTF.hwnd, &page);
  ::SendMessageW(f.tabRTF.hwnd, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  ::MapWindowPoints(f.tabRTF.hwnd, f.hwnd(), reinterpret_cast<POINT*>(&page), 2);
  for (const Frame& frame : f.fraTab) {
    const RECT r = PlaceOf(frame.hwnd);
    EXPECT_TRUE(::EqualRect(&page, &r));
  }
  RECT status;
  ::GetWindowRect(f.sbStatus.hwnd, &status);
  ::MapWindowPoints(HWND_DESKTOP, f.hwnd(), reinterpret_cast<POINT*>(&status), 2);
  EXPECT_EQ(status.bottom, client.bottom);
  int edges[2] = {};
  ::SendMessageW(f.sbStatus.hwnd, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  EXPECT_EQ(edges[0], TwipsToPixels(5160, 144));

  // Back at 96 dpi nothing has drifted.
  ChangeDpi(f.hwnd(), 96);
  const RECT executeBack = PlaceOf(f.cmdExecutePing.hwnd);
  const RECT titleBack = PlaceOf(f.lbl_help_pt_1.hwnd);
  EXPECT_TRUE(::EqualRect(&executeAt96, &executeBack));
  EXPECT_TRUE(::EqualRect(&titleAt96, &titleBack));
  EXPECT_EQ(FontHeightOf(f.cmdExecutePing.hwnd), fontAt96);
}

// Whether DrawText, with the label's own font, finds room for the caption inside it.
bool CaptionFits(HWND label, SIZE* needed) {
  const std::wstring text = WindowText(label);
  RECT client;
  ::GetClientRect(label, &client);
  RECT r{0, 0, client.right, 0};
  HDC dc = ::GetDC(label);
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  ::DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  *needed = {r.right, r.bottom};
  return r.right <= client.right && r.bottom <= client.bottom;
}

TEST_F(WindowTest, EveryLabelShowsItsWholeCaptionAtEveryDpiWithoutCoveringAControl) {
  SetVersion(L"Vexlo 1.0.0");
  Open();
  frm_Vexlo& f = *form_;
  // Each label with its designed place in twips.
  const std::pair<const Label*, RECT> labels[] = {
      {&f.lbl_addr_ping, {120, 300, 1425, 195}}, {&f.lbl_times_n, {3360, 1125, 735, 255}},
      {&f.lbl_addr_trace, {120, 300, 1545, 195}}, {&f.lbl_opt_h, {1140, 1095, 615, 255}},
      {&f.lbl_ip_lookup, {120, 300, 1665, 195}}, {&f.lbl_help_pt_1, {120, 240, 6135, 375}},
      {&f.lbl_help_pt_2, {120, 720, 6135, 735}}, {&f.lbl_help_pt_3, {120, 1560, 6135, 495}},
      {&f.lbl_help_pt_4, {120, 2160, 6135, 495}}};
  for (UINT dpi : {96u, 144u, 192u, 96u}) {
    ChangeDpi(f.hwnd(), dpi);
    for (const auto& [label, twips] : labels) {
      const RECT designed{TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
                          TwipsToPixels(twips.left, dpi) + TwipsToPixels(twips.right, dpi),
                          TwipsToPixels(twips.top, dpi) + TwipsToPixels(twips.bottom, dpi)};
      SIZE needed{};
      const RECT at = PlaceOf(label->hwnd);
      EXPECT_TRUE(CaptionFits(label->hwnd, &needed))
          << "dpi " << dpi << " id " << ::GetDlgCtrlID(label->hwnd) << ": needs " << needed.cx << "x" << needed.cy
          << ", has " << at.right - at.left << "x" << at.bottom - at.top;
      // Growing never covers more of a control than the designed place does (the
      // LookUp page's label reaches under its address box as designed).
      EXPECT_GE(at.right - at.left, designed.right - designed.left);
      EXPECT_GE(at.bottom - at.top, designed.bottom - designed.top);
      for (HWND c = ::GetWindow(label->hwnd, GW_HWNDFIRST); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (c == label->hwnd) continue;
        const RECT other = PlaceOf(c);
        RECT now{}, before{};
        ::IntersectRect(&now, &at, &other);
        ::IntersectRect(&before, &designed, &other);
        EXPECT_LE((now.right - now.left) * (now.bottom - now.top), (before.right - before.left) * (before.bottom - before.top))
            << "dpi " << dpi << " label " << ::GetDlgCtrlID(label->hwnd) << " covers " << ::GetDlgCtrlID(c);
      }
    }
    // A paragraph that grew moved the next one down, keeping the designed spacing.
    const LONG gap = TwipsToPixels(2160, dpi) - TwipsToPixels(1560, dpi) - TwipsToPixels(495, dpi);
    EXPECT_GE(PlaceOf(f.lbl_help_pt_4.hwnd).top - PlaceOf(f.lbl_help_pt_3.hwnd).bottom, gap) << dpi;
  }
}

// Where every control of the four pages is, in its frame.
std::vector<std::array<LONG, 5>> PagePlaces(const frm_Vexlo& f) {
  std::vector<std::array<LONG, 5>> places;
  for (const Frame& frame : f.fraTab) {
    for (HWND c = ::GetWindow(frame.hwnd, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
      const RECT r = PlaceOf(c);
      places.push_back({::GetDlgCtrlID(c), r.left, r.top, r.right, r.bottom});
    }
  }
  return places;
}

TEST_F(WindowTest, ADpiChangeLaysThePagesOutAsAStartAtThatDpi) {
  // Too long for the title's line: it grows to its frame's edge and wraps, so its
  // place depends on the frame's size when it is fitted.
  SetVersion(L"Vexlo 1.0.0, a version text far longer than the line the Help page's title has");
  std::map<UINT, std::vector<std::array<LONG, 5>>> atStart;
  for (UINT dpi : {96u, 144u}) {
    startDpi_ = dpi;
    Open();
    atStart[dpi] = PagePlaces(*form_);
    form_.reset();
  }
  EXPECT_NE(atStart[96], atStart[144]);
  startDpi_ = 96;
  Open();
  for (UINT dpi : {144u, 96u}) {
    ChangeDpi(form_->hwnd(), dpi);
    const auto places = PagePlaces(*form_);
    ASSERT_EQ(places.size(), atStart[dpi].size());
    for (std::size_t i = 0; i < places.size(); ++i) {
      EXPECT_EQ(places[i], atStart[dpi][i]) << "dpi " << dpi << " id " << places[i][0];
    }
  }
}

TEST_F(WindowTest, ALabelWithACaptionWiderThanItsRoomStopsShortOfItsRightHandSibling) {
  Open();
  frm_Vexlo& f = *form_;
  // Each one-line label with the control to its right, and its designed width.
  const std::tuple<const Label*, HWND, int> labels[] = {
      {&f.lbl_addr_ping, f.txtApplicationPing.hwnd, 1425},
      {&f.lbl_times_n, f.cmd_exit_ping.hwnd, 735},
      {&f.lbl_opt_h, f.cmd_tracert_exit.hwnd, 615},
  };
  for (const auto& [label, sibling, width] : labels) {
    label->Caption(L"A caption far wider than the room this label has on its line");
  }
  for (UINT dpi : {96u, 144u, 192u}) {
    ChangeDpi(f.hwnd(), dpi);  // fits the labels again
    for (const auto& [label, sibling, width] : labels) {
      const RECT at = PlaceOf(label->hwnd);
      const RECT next = PlaceOf(sibling);
      EXPECT_LE(at.right, next.left) << "dpi " << dpi << " label " << ::GetDlgCtrlID(label->hwnd);
      // It took the room it had: up to the sibling, or the frame's edge first.
      EXPECT_GT(at.right - at.left, TwipsToPixels(width, dpi)) << "dpi " << dpi;
    }
  }
}

TEST_F(WindowTest, CountBoxesShowFourDigitsUnscrolledAtEveryDpi) {
  for (UINT dpi : {96u, 144u, 192u}) {
    startDpi_ = dpi;
    Open();
    frm_Vexlo& f = *form_;
    f.Show();
    // Each box with the control to its right, which stays where it was designed.
    const std::tuple<const TextBox*, const Label*, RECT> boxes[] = {
        {&f.txt_times_n, &f.lbl_times_n, {2880, 1080, 375, 285}},
        {&f.txt_times_h, &f.lbl_opt_h, {720, 1080, 375, 285}},
    };
    for (const auto& [box, next, twips] : boxes) {
      if (box == &f.txt_times_h) ClickTab(2);
      RECT format{};
      ::SendMessageW(box->hwnd, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
      HDC dc = ::GetDC(box->hwnd);
      const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(box->hwnd, WM_GETFONT, 0, 0)));
      SIZE digits{};
      ::GetTextExtentPoint32W(dc, L"1000", 4, &digits);
      ::SelectObject(dc, old);
      ::ReleaseDC(box->hwnd, dc);
      EXPECT_LE(digits.cx, format.right - format.left)
          << "dpi " << dpi << " id " << ::GetDlgCtrlID(box->hwnd) << ": \"1000\" is " << digits.cx
          << " wide, the box has " << format.right - format.left;
      // Typed, with a digit taken back and others typed: never scrolled.
      ::SetFocus(box->hwnd);
      Type(*box, L"");
      for (wchar_t key : std::wstring(L"1000\b\b\b20")) {
        ::SendMessageW(box->hwnd, WM_CHAR, key, 0);
        const auto first = ::SendMessageW(box->hwnd, EM_POSFROMCHAR, 0, 0);
        EXPECT_EQ(static_cast<short>(LOWORD(first)), format.left) << "dpi " << dpi << " text " << box->Text().size();
      }
      EXPECT_EQ(box->Text(), L"120");
      // The box keeps its place; nothing else moved.
      const RECT at = PlaceOf(box->hwnd);
      EXPECT_EQ(at.left, TwipsToPixels(twips.left, dpi));
      EXPECT_EQ(at.top, TwipsToPixels(twips.top, dpi));
      EXPECT_EQ(at.bottom - at.top, TwipsToPixels(twips.bottom, dpi));
      EXPECT_LE(at.right, PlaceOf(next->hwnd).left) << "dpi " << dpi;
    }
    EXPECT_EQ(PlaceOf(f.lbl_times_n.hwnd).left, TwipsToPixels(3360, dpi));
    EXPECT_EQ(PlaceOf(f.lbl_opt_h.hwnd).left, TwipsToPixels(1140, dpi));
    EXPECT_EQ(PlaceOf(f.chk_opt_n.hwnd).right, TwipsToPixels(2280, dpi) + TwipsToPixels(615, dpi));
    EXPECT_EQ(PlaceOf(f.chk_opt_h.hwnd).right, TwipsToPixels(120, dpi) + TwipsToPixels(615, dpi));
    form_.reset();
  }
}

// Whether a button's caption fits it on one line as the button draws it: after the
// box and half a character for a check box or an option button, between its edges
// for a push button.
bool ButtonCaptionFits(HWND button, LONG* needed) {
  const std::wstring text = WindowText(button);
  HDC dc = ::GetDC(button);
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(button, WM_GETFONT, 0, 0)));
  RECT r{};
  ::DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);
  ::SelectObject(dc, old);
  ::ReleaseDC(button, dc);
  const bool push = (::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_PUSHBUTTON;
  *needed = r.right + (push ? 2 * tm.tmAveCharWidth
                            : ::GetSystemMetricsForDpi(SM_CXMENUCHECK, ::GetDpiForWindow(button)) +
                                  (tm.tmAveCharWidth + 1) / 2);
  RECT client;
  ::GetClientRect(button, &client);
  return *needed <= client.right && r.bottom <= client.bottom;
}

TEST_F(WindowTest, WithAWiderFontEveryCaptionFitsAndNoControlCoversAnother) {
  SetVersion(L"Vexlo 1.0.0");
  for (UINT dpi : {96u, 120u, 144u, 192u}) {
    startDpi_ = dpi;
    fontFace_ = L"Arial";
    Open();
    // At the designed face nothing moves; an option button's caption is the tightest.
    EXPECT_EQ(PlaceOf(form_->chk_opt_t.hwnd).right, TwipsToPixels(2280, dpi) + TwipsToPixels(2000, dpi));
    LONG arial = 0, wider = 0;
    ButtonCaptionFits(form_->chk_opt_t.hwnd, &arial);
    const auto arialPlaces = PagePlaces(*form_);
    form_.reset();
    // Noto Sans draws Latin letters wider than Arial, as the Hebrew locale's face did.
    fontFace_ = L"Noto Sans";
    Open();
    frm_Vexlo& f = *form_;
    ASSERT_GT((ButtonCaptionFits(f.chk_opt_t.hwnd, &wider), wider), arial + 4) << "no wider face to try";
    const auto places = PagePlaces(f);
    ASSERT_EQ(places.size(), arialPlaces.size());
    std::size_t i = 0;
    for (const Frame& frame : f.fraTab) {
      std::vector<std::size_t> onPage;
      for (HWND c = ::GetWindow(frame.hwnd, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT), ++i) {
        wchar_t cls[16] = {};
        ::GetClassNameW(c, cls, 16);
        SIZE label{};
        LONG button = 0;
        if (_wcsicmp(cls, L"Button") == 0) {
          EXPECT_TRUE(ButtonCaptionFits(c, &button)) << "dpi " << dpi << " id " << places[i][0] << " needs " << button;
        } else if (_wcsicmp(cls, L"Static") == 0) {
          EXPECT_TRUE(CaptionFits(c, &label)) << "dpi " << dpi << " id " << places[i][0] << " needs " << label.cx;
        }
        onPage.push_back(i);
      }
      // No two controls of a page cover more of each other than at the designed face.
      const auto overlap = [](const std::array<LONG, 5>& a, const std::array<LONG, 5>& b) {
        const RECT ra{a[1], a[2], a[3], a[4]}, rb{b[1], b[2], b[3], b[4]};
        RECT both{};
        return ::IntersectRect(&both, &ra, &rb) ? (both.right - both.left) * (both.bottom - both.top) : 0L;
      };
      for (std::size_t a : onPage) {
        for (std::size_t b : onPage) {
          if (a < b) {
            EXPECT_LE(overlap(places[a], places[b]), overlap(arialPlaces[a], arialPlaces[b]))
                << "dpi " << dpi << ": " << places[a][0] << " covers " << places[b][0];
          }
        }
      }
    }
    form_.reset();
  }
}

TEST_F(WindowTest, TheCaptionsFontHasEveryLetterOfTheCaptions) {
  // A face the mapper chose for the locale's character set may lack Latin letters
  // (Thai under Wine): every caption would show as boxes.
  Open();
  frm_Vexlo& f = *form_;
  std::vector<std::pair<HWND, std::wstring>> captions = {{f.tabRTF.hwnd, L"PingTracerouteLookUpHelp"},
                                                         {f.sbStatus.hwnd, f.sbStatus.PanelText(1)}};
  for (const Frame& frame : f.fraTab) {
    for (HWND c = ::GetWindow(frame.hwnd, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
      captions.emplace_back(c, WindowText(c));
    }
  }
  for (const auto& [control, text] : captions) {
    HDC dc = ::GetDC(control);
    const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    std::vector<WORD> glyphs(text.size());
    ::GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    EXPECT_EQ(std::count(glyphs.begin(), glyphs.end(), WORD{0xFFFF}), 0) << "id " << ::GetDlgCtrlID(control);
  }
}

SIZE ClientSize(HWND window) {
  RECT client;
  ::GetClientRect(window, &client);
  return {client.right, client.bottom};
}

// Sizes the window as a drag of its border would, to that client area.
void SetClientSize(HWND window, LONG width, LONG height) {
  RECT outer;
  ::GetWindowRect(window, &outer);
  const SIZE client = ClientSize(window);
  ::SetWindowPos(window, nullptr, 0, 0, width + (outer.right - outer.left) - client.cx,
                 height + (outer.bottom - outer.top) - client.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Checks that the growth beyond the design went to the tab strip, the pages, the
// status bar and the output boxes, and that every other control stands as designed.
void ExpectGrownBy(const frm_Vexlo& f, const std::vector<std::array<LONG, 5>>& designed, const RECT& tabDesigned,
                   LONG dx, LONG dy, UINT dpi) {
  const SIZE client = ClientSize(f.hwnd());
  EXPECT_EQ(client.cx, TwipsToPixels(6645, dpi) + dx);
  EXPECT_EQ(client.cy, TwipsToPixels(5925, dpi) + dy);
  const RECT tab = PlaceOf(f.tabRTF.hwnd);
  const RECT tabGrown{tabDesigned.left, tabDesigned.top, tabDesigned.right + dx, tabDesigned.bottom + dy};
  EXPECT_TRUE(::EqualRect(&tab, &tabGrown));
  const RECT page = f.tabRTF.PageRect();
  for (const Frame& frame : f.fraTab) {
    const RECT r = PlaceOf(frame.hwnd);
    EXPECT_TRUE(::EqualRect(&r, &page));
  }
  const RECT status = PlaceOf(f.sbStatus.hwnd);
  EXPECT_EQ(std::make_tuple(status.left, status.right, status.bottom), std::make_tuple(0L, client.cx, client.cy));
  std::array<int, 2> edges{};
  ::SendMessageW(f.sbStatus.hwnd, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges.data()));
  EXPECT_EQ(edges, (std::array<int, 2>{TwipsToPixels(5160, dpi) + dx, TwipsToPixels(6600, dpi) + dx}));
  auto expected = designed;
  for (auto& place : expected) {
    if (place[0] == ::GetDlgCtrlID(f.txtOutputPing.hwnd) || place[0] == ::GetDlgCtrlID(f.txtOutputTracert.hwnd) ||
        place[0] == ::GetDlgCtrlID(f.txtOutputLookup.hwnd)) {
      place[3] += dx;
      place[4] += dy;
    }
  }
  EXPECT_EQ(PagePlaces(f), expected) << "grown by " << dx << " x " << dy;
}

TEST_F(WindowTest, AGrownWindowGivesItsRoomToTheTabsPagesStatusBarAndOutputBoxesAndNoLess) {
  for (UINT dpi : {96u, 144u}) {
    startDpi_ = dpi;
    Open();
    frm_Vexlo& f = *form_;
    const auto designed = PagePlaces(f);
    const RECT tab = PlaceOf(f.tabRTF.hwnd);
    ExpectGrownBy(f, designed, tab, 0, 0, dpi);
    SetClientSize(f.hwnd(), TwipsToPixels(6645, dpi) + 230, TwipsToPixels(5925, dpi) + 100);
    ExpectGrownBy(f, designed, tab, 230, 100, dpi);
    // Never smaller than the design, in either direction.
    SetClientSize(f.hwnd(), TwipsToPixels(6645, dpi) + 40, 90);
    ExpectGrownBy(f, designed, tab, 40, 0, dpi);
    ::SetWindowPos(f.hwnd(), nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ExpectGrownBy(f, designed, tab, 0, 0, dpi);
    form_.reset();
  }
}

TEST_F(WindowTest, MaximizeAndRestoreFromTheWindowMenu) {
  Open();
  frm_Vexlo& f = *form_;
  f.Show();
  const HWND w = f.hwnd();
  const auto designed = PagePlaces(f);
  const RECT tab = PlaceOf(f.tabRTF.hwnd);
  // Alt+Space opens this menu; X and S are its Maximize and Size.
  const HMENU menu = ::GetSystemMenu(w, FALSE);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(::GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND) & MF_GRAYED, 0u);
  EXPECT_EQ(::GetMenuState(menu, SC_SIZE, MF_BYCOMMAND) & MF_GRAYED, 0u);
  ::SendMessageW(w, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  ASSERT_TRUE(::IsZoomed(w));
  const UINT dpi = DpiOf(w);
  const SIZE client = ClientSize(w);
  EXPECT_GT(client.cx, TwipsToPixels(6645, dpi));
  ExpectGrownBy(f, designed, tab, client.cx - TwipsToPixels(6645, dpi), client.cy - TwipsToPixels(5925, dpi), dpi);
  ::SendMessageW(w, WM_SYSCOMMAND, SC_RESTORE, 0);
  ExpectGrownBy(f, designed, tab, 0, 0, dpi);
}

TEST_F(WindowTest, ADpiChangeKeepsAnEnlargedWindowsProportions) {
  startDpi_ = 96;
  Open();
  frm_Vexlo& f = *form_;
  const HWND w = f.hwnd();
  SetClientSize(w, 600, 500);
  const auto enlarged = PagePlaces(f);
  // What Windows asks before it suggests a rectangle: the client area keeps its twips.
  RECT outer;
  ::GetWindowRect(w, &outer);
  SIZE asked{outer.right - outer.left, outer.bottom - outer.top};
  EXPECT_EQ(::SendMessageW(w, WM_GETDPISCALEDSIZE, 144, reinterpret_cast<LPARAM>(&asked)), TRUE);
  RECT at144{0, 0, 900, 750};
  ::AdjustWindowRectExForDpi(&at144, static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(::GetWindowLongPtrW(w, GWL_EXSTYLE)), 144);
  EXPECT_EQ(asked.cx, at144.right - at144.left);
  EXPECT_EQ(asked.cy, at144.bottom - at144.top);

  ChangeDpi(w, 144);
  const SIZE client = ClientSize(w);
  EXPECT_EQ(std::make_pair(client.cx, client.cy), std::make_pair(900L, 750L));
  const RECT output = PlaceOf(f.txtOutputPing.hwnd);
  EXPECT_EQ(output.right - output.left, TwipsToPixels(6255, 144) + 900 - TwipsToPixels(6645, 144));
  EXPECT_EQ(output.bottom - output.top, TwipsToPixels(3645, 144) + 750 - TwipsToPixels(5925, 144));
  ChangeDpi(w, 96);
  EXPECT_EQ(ClientSize(w).cx, 600);
  EXPECT_EQ(PagePlaces(f), enlarged);
}

// Records which windows a message was sent to on this thread.
class SentMessages {
 public:
  explicit SentMessages(UINT message) {
    message_ = message;
    receivers_.clear();
    hook_ = ::SetWindowsHookExW(WH_CALLWNDPROC, &Record, nullptr, ::GetCurrentThreadId());
  }
  ~SentMessages() { ::UnhookWindowsHookEx(hook_); }
  SentMessages(const SentMessages&) = delete;
  SentMessages& operator=(const SentMessages&) = delete;
  [[nodiscard]] bool Hooked() const { return hook_ != nullptr; }
  [[nodiscard]] static bool Reached(HWND w) {
    return std::find(receivers_.begin(), receivers_.end(), w) != receivers_.end();
  }

 private:
  static LRESULT CALLBACK Record(int code, WPARAM wp, LPARAM lp) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && sent->message == message_) receivers_.push_back(sent->hwnd);
    return ::CallNextHookEx(nullptr, code, wp, lp);
  }
  static inline UINT message_ = 0;
  static inline std::vector<HWND> receivers_;
  HHOOK hook_ = nullptr;
};

TEST_F(WindowTest, AColourChangeReachesTheCommonControlsAndTheOutputViews) {
  Open();
  frm_Vexlo& f = *form_;
  SentMessages sent(WM_SYSCOLORCHANGE);
  ASSERT_TRUE(sent.Hooked());
  ::SendMessageW(f.hwnd(), WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_TRUE(SentMessages::Reached(f.tabRTF.hwnd));
  EXPECT_TRUE(SentMessages::Reached(f.sbStatus.hwnd));
  for (const TextBox* view : {&f.txtOutputPing, &f.txtOutputTracert, &f.txtOutputLookup}) {
    EXPECT_TRUE(SentMessages::Reached(view->hwnd)) << ::GetDlgCtrlID(view->hwnd);
  }
  EXPECT_TRUE(SentMessages::Reached(f.txt_times_h.hwnd));  // a hidden page's control too
}

TEST_F(WindowTest, HiddenPagesControlsAreOutOfTheTabOrder) {
  Open();
  frm_Vexlo& f = *form_;
  for (const Control* c : std::initializer_list<const Control*>{
           &f.txtApplicationTracert, &f.chk_opt_d, &f.chk_opt_h, &f.txt_times_h, &f.cmd_execute_tracert,
           &f.cmd_clear_tracert, &f.cmd_tracert_exit, &f.txtApplicationLookup, &f.cmd_execute_lookup,
           &f.cmd_lookup_clear, &f.cmd_lookup_exit, &f.txtOutputPing, &f.txtOutputTracert, &f.txtOutputLookup}) {
    EXPECT_FALSE(c->TabStop()) << ::GetDlgCtrlID(c->hwnd);
  }
}

TEST_F(WindowTest, TabWalksThePingPageInItsOrderThenTheTabStrip) {
  Open();
  frm_Vexlo& f = *form_;
  f.txtApplicationPing.Text(L"x");  // Execute is enabled only with an address
  f.cmdExecutePing.Enabled(true);
  // The platform enters an option group at its selected button: "Run" at start-up.
  const std::vector<HWND> expected = {f.txtApplicationPing.hwnd, f.cmdExecutePing.hwnd, f.chk_opt_a.hwnd,
                                      f.chk_opt_f.hwnd, f.chk_opt_n.hwnd,
                                      f.txt_times_n.hwnd, f.cmdClearPing.hwnd, f.cmd_exit_ping.hwnd,
                                      f.tabRTF.hwnd};
  std::vector<HWND> walked;
  HWND at = f.tabRTF.hwnd;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    at = ::GetNextDlgTabItem(f.hwnd(), at, FALSE);
    walked.push_back(at);
  }
  EXPECT_EQ(walked, expected);
  f.chk_opt_t.Value(true);
  EXPECT_EQ(::GetNextDlgTabItem(f.hwnd(), f.chk_opt_f.hwnd, FALSE), f.chk_opt_t.hwnd);
  // Shift+Tab walks it backwards.
  EXPECT_EQ(::GetNextDlgTabItem(f.hwnd(), f.txtApplicationPing.hwnd, TRUE), f.tabRTF.hwnd);
}

TEST_F(WindowTest, OptionButtonsFormOneGroup) {
  Open();
  frm_Vexlo& f = *form_;
  f.chk_opt_t.Value(true);
  EXPECT_FALSE(f.chk_opt_n.Value());
  f.chk_opt_n.Value(true);
  EXPECT_FALSE(f.chk_opt_t.Value());
  EXPECT_EQ(::GetNextDlgGroupItem(f.fraTab[0].hwnd, f.chk_opt_t.hwnd, FALSE), f.chk_opt_n.hwnd);
  EXPECT_EQ(::GetNextDlgGroupItem(f.fraTab[0].hwnd, f.chk_opt_n.hwnd, FALSE), f.chk_opt_t.hwnd);
}

// Feeds one key through the platform's dialog handling, as the message loop does.
void DialogKey(HWND dialog, HWND focus, UINT message, WPARAM key) {
  ::SetFocus(focus);
  MSG msg{focus, message, key, 0, 0, {}};
  if (!::IsDialogMessageW(dialog, &msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  test::PumpFor(std::chrono::milliseconds(50));
}

TEST_F(WindowTest, EnterAndEscPressNothingAndCloseNothing) {
  Open();
  frm_Vexlo& f = *form_;
  f.Show();
  DialogKey(f.hwnd(), f.txtApplicationPing.hwnd, WM_KEYDOWN, VK_RETURN);
  DialogKey(f.hwnd(), f.txtApplicationPing.hwnd, WM_KEYDOWN, VK_ESCAPE);
  EXPECT_NE(f.hwnd(), nullptr);
  EXPECT_EQ(exits_, 0);
  EXPECT_FALSE(log_->released);
}

TEST_F(WindowTest, VersionTextComesFromTheRegistryAsItIs) {
  SetVersion(L"Vexlo 1.0 & more");
  Open();
  EXPECT_EQ(form_->sVersion, L"Vexlo 1.0 & more");
  EXPECT_EQ(form_->lbl_help_pt_1.Caption(), L"Vexlo 1.0 & more");
  EXPECT_NE(::GetWindowLongPtrW(form_->lbl_help_pt_1.hwnd, GWL_STYLE) & SS_NOPREFIX, 0);
}

TEST_F(WindowTest, MissingVersionGivesAnEmptyLabel) {
  Open();
  EXPECT_EQ(form_->lbl_help_pt_1.Caption(), L"");
}

TEST_F(WindowTest, ClosingDuringARunReleasesTheLauncherWithoutStop) {
  Open();
  form_->bRunning = kTrue;
  ::SendMessageW(form_->hwnd(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(log_->released);
  EXPECT_EQ(log_->stopsBeforeRelease, 0);
  EXPECT_EQ(form_->hwnd(), nullptr);
  EXPECT_EQ(exits_, 0);
}

// Where UI Automation was asked to let go of a provider: outside any sent message,
// or it refuses as Windows does.
std::vector<DWORD> disconnectedIn;

LRESULT WINAPI AnswerNothing(HWND, WPARAM, LPARAM, IRawElementProviderSimple*) { return 0; }

constexpr LPARAM kUiaRoot = -25;  // UiaRootObjectId, uiautomationcoreapi.h

HRESULT WINAPI DisconnectAsWindowsDoes(IRawElementProviderSimple*) {
  disconnectedIn.push_back(::InSendMessageEx(nullptr));
  return disconnectedIn.back() == ISMEX_NOSEND ? S_OK : RPC_E_CANTCALLOUT_ININPUTSYNCCALL;
}

TEST_F(WindowTest, AClosingSentFromAnotherThreadStillDisconnectsTheOutputBoxes) {
  UiaApi api = Uia();
  api.returnRawElementProvider = &AnswerNothing;
  api.disconnectProvider = &DisconnectAsWindowsDoes;
  const ScopedUiaApi scoped(api);
  disconnectedIn.clear();
  Open();
  for (const TextBox* box : {&form_->txtOutputPing, &form_->txtOutputTracert, &form_->txtOutputLookup}) {
    // What a screen reader asks first makes the box's provider.
    ::SendMessageW(box->hwnd, WM_GETOBJECT, 0, kUiaRoot);
  }
  const HWND window = form_->hwnd();
  std::atomic<bool> sent = false;
  std::thread other([&] {
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    sent = true;
  });
  for (int i = 0; i < 500 && (!sent || form_->hwnd() != nullptr); ++i) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  other.join();
  EXPECT_EQ(form_->hwnd(), nullptr);
  EXPECT_EQ(disconnectedIn, std::vector<DWORD>(3, ISMEX_NOSEND));
}

TEST_F(WindowTest, ExitButtonsEndTheProgramWithoutUnload) {
  Open();
  frm_Vexlo& f = *form_;
  for (const CommandButton* b : {&f.cmd_exit_ping, &f.cmd_tracert_exit, &f.cmd_lookup_exit}) {
    ::SendMessageW(b->hwnd, BM_CLICK, 0, 0);
  }
  EXPECT_EQ(exits_, 3);
  EXPECT_FALSE(log_->released);
  EXPECT_EQ(log_->stopsBeforeRelease, 0);
}

TEST_F(WindowTest, ALauncherThatCannotBeCreatedShowsNoWindow) {
  frm_Vexlo::Options options;
  options.launcherFactory = [](ConsoleLauncherEvents&) { return std::unique_ptr<ConsoleLauncher>(); };
  frm_Vexlo form(std::move(options));
  std::wstring failure;
  EXPECT_FALSE(form.Load(failure));
  EXPECT_EQ(form.hwnd(), nullptr);
  EXPECT_NE(failure.find(L"launcher"), std::wstring::npos);
}

TEST_F(WindowTest, OutputBoxesAreReadOnlyMultiLineWithoutLimit) {
  Open();
  for (const TextBox* box : {&form_->txtOutputPing, &form_->txtOutputTracert, &form_->txtOutputLookup}) {
    box->Text(L"one\r\ntwo");
    // Typing changes nothing; output still goes in, line breaks and all.
    ::SendMessageW(box->hwnd, WM_CHAR, L'x', 0);
    EXPECT_EQ(box->Text(), L"one\r\ntwo");
    box->Append(L"\r\nthree");
    EXPECT_EQ(box->Text(), L"one\r\ntwo\r\nthree");
    EXPECT_EQ(::SendMessageW(box->hwnd, EM_GETLINECOUNT, 0, 0), 3);
    EXPECT_NE(::GetWindowLongPtrW(box->hwnd, GWL_STYLE) & WS_VSCROLL, 0);
    EXPECT_GE(static_cast<unsigned long>(::SendMessageW(box->hwnd, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEul);
  }
}

}  // namespace
}  // namespace vexlo
