#pragma once
// Thin wrappers over the Win32 controls. Each holds only the control's HWND and reads
// and writes the real control: there is no copy of its state. Positions are in twips
// (1/1440 inch) of the window's DPI.

#include <windows.h>

#include <string>

#include "common/unique_handles.h"
#include "common/read_times.h"
#include "common/window_base.h"

namespace vexlo {

[[nodiscard]] int TwipsToPixels(double twips, UINT dpi) noexcept;
[[nodiscard]] float PixelsToTwips(int pixels, UINT dpi) noexcept;
[[nodiscard]] UINT DpiOf(HWND hwnd) noexcept;
[[nodiscard]] std::wstring WindowText(HWND hwnd);
// A font of the face at that size, for the Latin captions and text of the window.
[[nodiscard]] UniqueFont MakeFont(const wchar_t* face, double points, bool bold, UINT dpi);
[[nodiscard]] UniqueFont MakeArialFont(double points, bool bold, UINT dpi);

class Control {
 public:
  HWND hwnd = nullptr;

  [[nodiscard]] bool Enabled() const { return ::IsWindowEnabled(hwnd) != FALSE; }
  void Enabled(bool on) const { ::EnableWindow(hwnd, on ? TRUE : FALSE); }
  [[nodiscard]] bool TabStop() const { return (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_TABSTOP) != 0; }
  void TabStop(bool on) const;
  // The control's own visibility, whether or not its window is shown yet.
  [[nodiscard]] bool Visible() const { return (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }
};

class TextBox : public Control {
 public:
  [[nodiscard]] std::wstring Text() const { return WindowText(hwnd); }
  void Text(const std::wstring& text) const { ::SetWindowTextW(hwnd, text.c_str()); }
  [[nodiscard]] int TextLength() const { return ::GetWindowTextLengthW(hwnd); }
  [[nodiscard]] int SelStart() const;
  // Puts the caret there, with nothing selected, and scrolls it into view.
  void SelStart(int position) const;
  // True when nothing is selected and the caret is at that position.
  [[nodiscard]] bool CaretAt(int position) const;
  // For an output view: adds text at the end in one message, without rewriting what
  // the box holds. A box that follows its end keeps the caret there and the newest
  // text in view; one the user reads in keeps its view, selection and caret. A full
  // box takes what fits.
  void Append(const std::wstring& text) const;
  // The same, with when the text's parts were read, which the box keeps with them.
  // Returns where the text starts in the box's text.
  std::size_t Append(const std::wstring& text, const ReadTimes& times) const;
};

class CommandButton : public Control {
 public:
  [[nodiscard]] std::wstring Caption() const { return WindowText(hwnd); }
  // A literal caption allocates nothing: the end of a run can put the buttons back
  // even when memory runs out.
  void Caption(const wchar_t* text) const { ::SetWindowTextW(hwnd, text); }
  void Caption(const std::wstring& text) const { Caption(text.c_str()); }
};

// Value 1 ticked, 0 not.
class CheckBox : public Control {
 public:
  [[nodiscard]] int Value() const;
  void Value(int value) const;
};

// Selecting one deselects the others of its group, as a click would.
class OptionButton : public Control {
 public:
  [[nodiscard]] bool Value() const;
  void Value(bool selected) const;
};

class Label : public Control {
 public:
  [[nodiscard]] std::wstring Caption() const { return WindowText(hwnd); }
  void Caption(const std::wstring& text) const { ::SetWindowTextW(hwnd, text.c_str()); }
};

// A page container; it hands its children's notifications to the window.
class Frame : public Control {
 public:
  static constexpr wchar_t kClassName[] = L"VexloFrame";
  [[nodiscard]] static bool Register(HINSTANCE instance);
  // The procedure that runs every frame: frames are created for it.
  [[nodiscard]] static WindowBase& Procedure();

  void Move(float left, float top, float width, float height) const;
  // Position 0 brings the frame in front of its siblings.
  void ZOrder(int position) const;
  [[nodiscard]] RECT BoundsTwips() const;
};

class TabStrip : public Control {
 public:
  // 1-based index of the selected tab.
  [[nodiscard]] int SelectedItem() const;
  void SelectedItem(int index) const;
  // The display area inside the tabs, in twips of the tab strip's container.
  [[nodiscard]] float ClientLeft() const { return ClientArea().left; }
  [[nodiscard]] float ClientTop() const { return ClientArea().top; }
  [[nodiscard]] float ClientWidth() const { return ClientArea().width; }
  [[nodiscard]] float ClientHeight() const { return ClientArea().height; }
  // The same area in pixels of the container.
  [[nodiscard]] RECT PageRect() const;

 private:
  struct Area {
    float left, top, width, height;
  };
  [[nodiscard]] Area ClientArea() const;
};

// Panels addressed from 1.
class StatusBar : public Control {
 public:
  [[nodiscard]] std::wstring PanelText(int panel) const;
  // Writing a panel's text also drops its tooltip. A literal allocates nothing.
  void PanelText(int panel, const wchar_t* text) const;
  void PanelText(int panel, const std::wstring& text) const { PanelText(panel, text.c_str()); }
  // A tooltip over the panel until its text changes; empty removes it.
  void PanelTip(int panel, const std::wstring& tip) const;
  [[nodiscard]] std::wstring PanelTip(int panel) const;
};

}  // namespace vexlo
