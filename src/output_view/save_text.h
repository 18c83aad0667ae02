#pragma once
// Saving a view's text to a file: the writing, the proposed name and the system's
// save dialog.

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vexlo {

// Writes the text to the path as UTF-8, without a byte order mark, line ends as they
// are. It goes to a new file in the same folder that then takes the path's place, so
// a failure leaves neither half a file nor a spoilt old one, and nothing beside them.
// A file replaced keeps its attributes, its creation time and, where the system's
// ReplaceFileW can be used, its DACL, short name and named streams. ERROR_SUCCESS or
// the system's error code.
[[nodiscard]] DWORD SaveTextAsUtf8(const std::wstring& path, std::wstring_view text);

// The text is converted and written this many UTF-16 units at a time, or one fewer
// where a surrogate pair would be cut.
inline constexpr std::size_t kSaveCharsPerPiece = 256 * 1024;

// "ping 2026-12-08 1432.txt": the page's name in lower case, then the local time.
[[nodiscard]] std::wstring ProposedFileName(std::wstring_view page, const SYSTEMTIME& time);

// What the user reads when saving failed: the path, then the system's text.
[[nodiscard]] std::wstring SaveFailureText(const std::wstring& path, DWORD error);

// What the user reads when the save dialog could not open.
[[nodiscard]] std::wstring DialogFailureText(DWORD error);

// The system's save dialog, proposing that name; nothing when the user cancels or the
// dialog cannot open, and then `error` says why (ERROR_MOD_NOT_FOUND without COM).
[[nodiscard]] std::optional<std::wstring> AskSavePath(HWND owner, const std::wstring& proposed, DWORD& error);

}  // namespace vexlo
