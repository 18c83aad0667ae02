// The fixed-width font of a group of views: one font at the size of the window's.
#include <cwchar>

#include "common/gdi_guards.h"
#include "output_view/output_view_impl.h"

namespace vexlo {
namespace {

// Whether the system gave the face asked for: CreateFontIndirectW substitutes a
// missing face without failing.
bool HasFace(HFONT font, const wchar_t* face) {
  const WindowDc dc(nullptr);
  if (dc.get() == nullptr) return false;
  const Selected selected(dc.get(), font);
  wchar_t given[LF_FACESIZE] = {};
  return ::GetTextFaceW(dc.get(), LF_FACESIZE, given) > 0 && ::_wcsicmp(given, face) == 0;
}

UniqueFont FixedFontLike(HFONT windowFont) {
  LOGFONTW like{};
  const HGDIOBJ base = windowFont != nullptr ? windowFont : ::GetStockObject(SYSTEM_FONT);
  if (::GetObjectW(base, sizeof like, &like) == 0) return UniqueFont();
  like.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  like.lfCharSet = DEFAULT_CHARSET;
  for (const wchar_t* face : {L"Consolas", L"Courier New"}) {
    wcsncpy_s(like.lfFaceName, LF_FACESIZE, face, _TRUNCATE);
    UniqueFont font(::CreateFontIndirectW(&like));
    if (font && HasFace(font.get(), face)) return font;
  }
  // The system's own fixed font, at the window's size.
  LOGFONTW system{};
  if (::GetObjectW(::GetStockObject(SYSTEM_FIXED_FONT), sizeof system, &system) == 0) return UniqueFont();
  system.lfHeight = like.lfHeight;
  system.lfWidth = 0;
  return UniqueFont(::CreateFontIndirectW(&system));
}

}  // namespace

HFONT ViewGroupSettings::FontFor(HFONT windowFont) {
  if (!fixedFont) return windowFont;
  if (fixed && fixedFrom == windowFont) return fixed.get();
  UniqueFont made = FixedFontLike(windowFont);
  if (!made) return windowFont;
  // The views that draw with the old one move to the new one before it goes: a new
  // window font (a new DPI) reaches the views one after another.
  const UniqueFont old = std::move(fixed);
  fixed = std::move(made);
  fixedFrom = windowFont;
  for (const HWND view : views) {
    if (OutputView* member = OutputView::From(view); member != nullptr && member->DrawsWith(old.get())) {
      member->UseFont(fixed.get());
    }
  }
  return fixed.get();
}

void ViewGroupSettings::UseFixedFont(bool on) {
  fixedFont = on;
  for (const HWND view : views) {
    if (OutputView* member = OutputView::From(view)) member->UseFont(FontFor(member->WindowFont()));
  }
  if (!on) {
    fixed.reset();
    fixedFrom = nullptr;
  }
}

void OutputView::UseFont(HFONT font) {
  if (font == font_) return;
  ApplyFont(font);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

}  // namespace vexlo
