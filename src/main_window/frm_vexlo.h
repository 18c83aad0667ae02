#pragma once
// The program's one window: its controls, the state that lives as long as it does,
// and its event handlers, each named after its control and event.

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/unique_handles.h"
#include "common/window_base.h"
#include "controls/controls.h"
#include "launcher/console_launcher.h"
#include "main_window/keyboard.h"
#include "main_window/label_fit.h"
#include "output_view/output_view.h"
#include "run_facts/run_facts.h"
#include "run_strip/run_strip.h"

namespace vexlo {

// A 16-bit truth value as the controls' platform has it.
using VbBool = std::int16_t;
inline constexpr VbBool kTrue = -1;
inline constexpr VbBool kFalse = 0;

class frm_Vexlo final : public ConsoleLauncherEvents, private WindowBase {
 public:
  struct Options {
    LauncherFactory launcherFactory;
    // Ends the program at once; tests replace it.
    std::function<void()> endProgram = [] { ::ExitProcess(0); };
    // The DPI the window is laid out for at start-up; 0 takes its monitor's. Tests
    // start at others than the one the system runs at.
    UINT startDpi = 0;
    // The face of every caption and of the output boxes; tests try wider ones.
    const wchar_t* fontFace = L"Arial";
  };

  explicit frm_Vexlo(Options options);
  ~frm_Vexlo();
  frm_Vexlo(const frm_Vexlo&) = delete;
  frm_Vexlo& operator=(const frm_Vexlo&) = delete;

  // Creates the window, hidden, with its controls, and runs Form_Load. On failure the
  // window is gone and the text says what failed.
  [[nodiscard]] bool Load(std::wstring& failure);
  // Shows the window with the focus in the page's first control.
  void Show();
  [[nodiscard]] HWND hwnd() const { return window_.get(); }

  // The window's keyboard interface, run by the message loop before a message is
  // translated and dispatched: Tab, Esc, Enter, access keys and page switching. True
  // when the message was handled and must not be dispatched.
  [[nodiscard]] bool PreTranslateMessage(MSG& msg) { return keyboard_.PreTranslateMessage(msg); }

  // Handlers.
  void Form_Load();
  void Form_Unload();
  void cmd_exit_ping_Click();
  void cmd_tracert_exit_Click();
  void cmd_lookup_exit_Click();
  void cmdExecutePing_Click();
  void cmd_execute_tracert_Click();
  void cmd_execute_lookup_Click();
  void txtApplicationPing_Change();
  void txtApplicationTracert_Change();
  void txtApplicationLookup_Change();
  // `times`: when each part of the piece was read from the tool's pipe; without
  // them, the piece is stamped now.
  void oLaunch_DataReceived(const std::wstring& sData, const ReadTimes& times);
  void oLaunch_DataReceived(const std::wstring& sData) { oLaunch_DataReceived(sData, ReadTimes{{0, UtcTicksNow()}}); }
  void oLaunch_ProcessEnded();
  void tabRTF_Click();
  void cmdClearPing_Click();
  void cmd_clear_tracert_Click();
  void cmd_lookup_clear_Click();
  void stripPing_MarkClick(std::uint32_t lineStart, std::uint32_t lineLength);
  void stripTracert_MarkClick(std::uint32_t lineStart, std::uint32_t lineLength);

  // Launcher events.
  // Without times, the piece is stamped as it arrives.
  void DataReceived(std::wstring sData) override;
  void DataReceivedAt(std::wstring sData, ReadTimes times) override;
  void ProcessEnded() override;

  // Controls, by their names.
  TabStrip tabRTF;
  std::array<Frame, 4> fraTab;
  StatusBar sbStatus;

  Label lbl_addr_ping, lbl_times_n;
  TextBox txtApplicationPing, txt_times_n, txtOutputPing;
  CommandButton cmdExecutePing, cmdClearPing, cmd_exit_ping;
  CheckBox chk_opt_a, chk_opt_f;
  OptionButton chk_opt_t, chk_opt_n;

  Label lbl_addr_trace, lbl_opt_h;
  TextBox txtApplicationTracert, txt_times_h, txtOutputTracert;
  CommandButton cmd_execute_tracert, cmd_clear_tracert, cmd_tracert_exit;
  CheckBox chk_opt_d, chk_opt_h;

  Label lbl_ip_lookup;
  TextBox txtApplicationLookup, txtOutputLookup;
  CommandButton cmd_execute_lookup, cmd_lookup_clear, cmd_lookup_exit;

  Label lbl_help_pt_1, lbl_help_pt_2, lbl_help_pt_3, lbl_help_pt_4;

  // The facts of the Ping and Traceroute pages' runs, read from their output, and the
  // strips below the output boxes that draw them.
  RunFacts factsPing, factsTracert;
  RunStrip stripPing, stripTracert;

  // Window state.
  VbBool bRunning = kFalse;
  std::wstring sOptA, sOptT, sOptN, sOptF, sOptD, sOptH;
  std::wstring sVersion;
  // They read as strings; each refers to the text of its box as it was kept.
  KeptOutput sKeptPing, sKeptTracert, sKeptLookup;
  // The three output boxes, which hold their text once for them and the kept outputs.
  OutputViews outputViews;
  std::unique_ptr<ConsoleLauncher> oLaunch;

 private:
  static constexpr DWORD kWindowStyle =
      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
  static constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
  static constexpr int kClientWidthTwips = 6645;
  static constexpr int kClientHeightTwips = 5925;

  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;
  void OnHandlerFailed(HWND hwnd, UINT msg) noexcept override;
  void OnCommand(int id, int code);
  [[nodiscard]] bool IsOutputChange(int code, HWND from) const;
  LRESULT OnControlColor(HDC dc, HWND control);
  // Sends the message to every child window, the pages' controls included.
  void ForwardToAllChildren(UINT msg, WPARAM wp, LPARAM lp) const;
  struct TwipsRect {
    int left, top, width, height;
  };
  // The designed places of the controls that grow with the window.
  static constexpr TwipsRect kTabStripPlace{10, 10, 6615, 5655};
  static constexpr TwipsRect kOutputPlace{120, 1470, 6255, 3645};  // in its page
  struct ControlDesign;
  // The controls of each page, in keyboard order.
  [[nodiscard]] std::vector<ControlDesign> PingPage();
  [[nodiscard]] std::vector<ControlDesign> TracertPage();
  [[nodiscard]] std::vector<ControlDesign> LookupPage();
  [[nodiscard]] std::vector<ControlDesign> HelpPage();
  [[nodiscard]] bool CreateInto(HWND parent, const std::vector<ControlDesign>& designs, UINT dpi);
  [[nodiscard]] bool CreateControls();
  [[nodiscard]] UINT StartDpi() const;
  [[nodiscard]] bool MakeFonts(UINT dpi);
  void LoadIcons(UINT dpi);
  // The panels' edges: the first panel takes the room the window has beyond its design.
  void SetStatusParts(UINT dpi, int extraWidth) const;
  // The window's size around a client area, with the frame drawn at frameDpi.
  [[nodiscard]] SIZE WindowSizeAround(SIZE client, UINT frameDpi) const;
  // The window's size for the design's client area at the layout's DPI, with the frame
  // it has at its own DPI: the least it may have.
  [[nodiscard]] SIZE DesignedWindowSize() const;
  // A client area at fromDpi as the same twips at toDpi, never below the design.
  [[nodiscard]] static SIZE ClientKeptInTwips(SIZE client, UINT fromDpi, UINT toDpi);
  // The window size to ask for at a new DPI, from the size the window is about to have.
  [[nodiscard]] SIZE OnGetDpiScaledSize(UINT dpi, SIZE pending) const;
  // Lays the window out for that DPI and gives it the design's client area, centred on
  // its monitor.
  void FitWindow(UINT dpi);
  // Places every control again for the monitor's new DPI, keeping the layout in twips,
  // and moves the window to the suggested place with its client area kept in twips.
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnGetMinMaxInfo(MINMAXINFO& info) const;
  // The tab strip, the pages, the status bar and the output boxes take the client
  // area's room beyond the design; the other controls keep their designed places.
  void OnSize(int clientWidth, int clientHeight);
  struct OutputPlace {
    RECT output;
    RECT strip;  // empty while no strip is shown
  };
  // Where a page's output box stands, and the strip below it while one is shown, in
  // the page's client pixels.
  [[nodiscard]] OutputPlace OutputAndStripRects(SIZE pageClient, bool stripShown) const;
  // The pages' client size when the window has its designed size.
  [[nodiscard]] SIZE DesignedPageSize() const;
  // Only the page in front takes keyboard input, so Tab and access keys cannot reach
  // a covered page.
  void BringPageToFront(std::size_t index);

  // Shows the page `step` pages on from the one in view, as a click on its tab.
  void ShowPageOn(int step);
  // The outcome of a start attempt, alike on the three pages.
  void ReportStartResult(TextBox& address, CommandButton& execute);
  void ClearOptionFragments() noexcept;
  // What every failed handler leaves behind, the window's own and the launcher's
  // events alike: the tabs usable when no run is active, no option fragment kept.
  void RecoverFromFailedHandler() noexcept;

  // Run facts (tool_runs/run_strips.cpp). A run started from the Ping or Traceroute
  // page feeds that page's facts; a lookup run feeds none.
  struct RunPage {
    RunFacts* facts;
    RunStrip* strip;
    const TextBox* box;
  };
  [[nodiscard]] bool CreateStrips(UINT dpi);
  void StartRunFacts(RunTool tool);
  // piece starts at offset in the running page's box; times say when its parts were read.
  void FeedRunFacts(std::wstring_view piece, std::uint32_t offset, const ReadTimes& times);
  void EndRunFacts();
  void ClearRunFacts(RunFacts& facts, RunStrip& strip, const TextBox& box);
  // Shows the strip while its facts hold a mark, the box above it giving up the room.
  void PlaceOutputAndStrip(const TextBox& box, RunStrip& strip);
  void SelectOutputLine(const TextBox& box, std::uint32_t lineStart, std::uint32_t lineLength);
  RunPage running_{};

  // Each control's place in twips and its font, so that a new DPI can place it again.
  struct Placement {
    HWND control;
    TwipsRect twips;
    const UniqueFont* font;
  };
  std::vector<Placement> placements_;
  // The DPI the layout is converted at; 0 until the window is first fitted.
  UINT layoutDpi_ = 0;

  Options options_;
  UniqueWindow window_;
  std::size_t pageInFront_ = 0;
  KeyboardEngine keyboard_;
  LabelFitter labelFitter_;
  // Only a window that finished loading ends the program's message loop; a failed
  // start-up must still be able to show its message box.
  bool quitWhenDestroyed_ = false;
  UniqueFont font_, helpTitleFont_, helpTextFont_;
  UniqueIcon icon_, smallIcon_;
};

}  // namespace vexlo
