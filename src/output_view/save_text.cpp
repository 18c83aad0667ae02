// Save As: the writing below the dialog, and the dialog.
#include "output_view/save_text.h"

#include <shobjidl.h>

#include <algorithm>
#include <string>

#include "common/system_message.h"
#include "common/unique_handles.h"
#include "output_view/com_api.h"

namespace vexlo {
namespace {

constexpr std::size_t kCharsPerWrite = 256 * 1024;

// Releases a COM interface at the end of its scope.
template <typename Interface>
struct ComOwner {
  ComOwner() = default;
  ComOwner(const ComOwner&) = delete;
  ComOwner& operator=(const ComOwner&) = delete;
  ~ComOwner() {
    if (p != nullptr) p->Release();
  }
  Interface* p = nullptr;
};

// Whole characters: a piece never ends between the halves of a surrogate pair.
std::size_t PieceLength(std::wstring_view rest) {
  std::size_t n = std::min(rest.size(), kCharsPerWrite);
  if (n < rest.size() && n > 0 && IS_HIGH_SURROGATE(rest[n - 1])) --n;
  return n;
}

DWORD WriteUtf8(HANDLE file, std::wstring_view text) {
  std::string bytes;
  while (!text.empty()) {
    const std::size_t n = PieceLength(text);
    const int chars = static_cast<int>(n);
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), chars, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return ::GetLastError();
    bytes.resize(static_cast<std::size_t>(size));
    if (::WideCharToMultiByte(CP_UTF8, 0, text.data(), chars, bytes.data(), size, nullptr, nullptr) != size) {
      return ::GetLastError();
    }
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), static_cast<DWORD>(size), &written, nullptr)) return ::GetLastError();
    if (written != static_cast<DWORD>(size)) return ERROR_WRITE_FAULT;
    text.remove_prefix(n);
  }
  return ::FlushFileBuffers(file) ? ERROR_SUCCESS : ::GetLastError();
}

// A new file beside the target, which no one else has open; its name goes to `name`.
UniqueKernelHandle CreateTemporaryBeside(const std::wstring& path, std::wstring& name, DWORD& error) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    name = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp";
    UniqueKernelHandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (file) return file;
    error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return UniqueKernelHandle();
}

}  // namespace

DWORD SaveTextAsUtf8(const std::wstring& path, std::wstring_view text) {
  // A read-only file is not replaced: MoveFileEx refuses on Windows, not everywhere.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  std::wstring temporary;
  DWORD error = ERROR_SUCCESS;
  {
    UniqueKernelHandle file = CreateTemporaryBeside(path, temporary, error);
    if (!file) return error;
    error = WriteUtf8(file.get(), text);
  }
  // The replacement is one step: the old file stays whole until the new one is.
  if (error == ERROR_SUCCESS &&
      !::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = ::GetLastError();
  }
  if (error != ERROR_SUCCESS) ::DeleteFileW(temporary.c_str());
  return error;
}

std::wstring ProposedFileName(std::wstring_view page, const SYSTEMTIME& time) {
  std::wstring name;
  for (wchar_t c : page) {
    // Characters a file name cannot hold become underscores.
    name += std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos || c < L' ' ? L'_' : c;
  }
  if (!name.empty()) ::CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
  wchar_t stamp[32] = {};
  swprintf_s(stamp, L"%04u-%02u-%02u %02u%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
  return (name.empty() ? std::wstring(L"output") : name) + L" " + stamp + L".txt";
}

std::wstring SaveFailureText(const std::wstring& path, DWORD error) {
  std::wstring text = L"The output could not be saved to " + path + L".";
  const std::wstring reason = SystemMessage(error);
  text += L"\r\n\r\n" + (reason.empty() ? L"Windows error " + std::to_wstring(error) + L"." : reason);
  return text;
}

std::wstring DialogFailureText(DWORD error) {
  const std::wstring reason = SystemMessage(error);
  return L"The Save As dialog could not be opened, so the output was not saved.\r\n\r\n" +
         (reason.empty() ? L"Windows error " + std::to_wstring(error) + L"." : reason);
}

std::optional<std::wstring> AskSavePath(HWND owner, const std::wstring& proposed, DWORD& error) {
  error = ERROR_SUCCESS;
  const OleApi& ole = Ole();
  if (!ole.Usable()) {
    error = ERROR_MOD_NOT_FOUND;
    return std::nullopt;
  }
  // The common item dialog needs COM on this thread; S_FALSE means it already was.
  const HRESULT com = ole.initializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (FAILED(com) && com != RPC_E_CHANGED_MODE) {
    error = static_cast<DWORD>(com);
    return std::nullopt;
  }
  std::optional<std::wstring> chosen;
  {
    ComOwner<IFileSaveDialog> dialog;
    const HRESULT created =
        ole.createInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog.p));
    if (FAILED(created)) error = static_cast<DWORD>(created);
    if (SUCCEEDED(created)) {
      static constexpr COMDLG_FILTERSPEC kTypes[] = {{L"Text files (*.txt)", L"*.txt"}, {L"All files (*.*)", L"*.*"}};
      DWORD options = 0;
      if (SUCCEEDED(dialog.p->GetOptions(&options))) {
        (void)dialog.p->SetOptions(options | FOS_OVERWRITEPROMPT | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
      }
      // Without these the dialog still opens, only less helpful.
      (void)dialog.p->SetFileTypes(2, kTypes);
      (void)dialog.p->SetDefaultExtension(L"txt");
      (void)dialog.p->SetFileName(proposed.c_str());
      ComOwner<IShellItem> item;
      wchar_t* path = nullptr;
      if (SUCCEEDED(dialog.p->Show(owner)) && SUCCEEDED(dialog.p->GetResult(&item.p)) &&
          SUCCEEDED(item.p->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        chosen = path;
        ole.taskMemFree(path);
      }
    }
  }
  if (SUCCEEDED(com)) ole.uninitialize();
  return chosen;
}

}  // namespace vexlo
