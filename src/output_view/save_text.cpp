// Save As: the writing below the dialog, and the dialog.
#include "output_view/save_text.h"

#include <shobjidl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/system_message.h"
#include "common/unique_handles.h"
#include "output_view/com_api.h"

namespace vexlo {
namespace {

constexpr unsigned kNameAttempts = 100;
// What a file's owner sets on it and a replacement keeps; the rest is the system's.
constexpr DWORD kOwnersAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

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
  std::size_t n = std::min(rest.size(), kSaveCharsPerPiece);
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

// A path in the target's folder whose name is no longer than the target's (at most
// 8 characters), so that wherever the target's path is short enough, so is this one.
std::wstring TemporaryPath(const std::wstring& target, unsigned attempt) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
  const std::size_t slash = target.find_last_of(L"\\/");
  const std::size_t folder = slash == std::wstring::npos ? 0 : slash + 1;
  const std::size_t length = std::clamp<std::size_t>(target.size() - folder, 1, 8);
  unsigned long long seed = (::GetTickCount64() ^ (static_cast<unsigned long long>(::GetCurrentProcessId()) << 20)) *
                                0x9E3779B97F4A7C15ull +
                            attempt;
  std::wstring path = target.substr(0, folder);
  if (length > 1) path += L'~';
  while (path.size() < folder + length) {
    path += kDigits[seed % 36];
    seed /= 36;
  }
  return path;
}

// The new text's file beside the target until it takes the target's place. It is
// made with DELETE, which a folder may grant its creator at creation only, and it is
// renamed or, on any failure, deleted through this handle, not reopened by name.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() { Discard(); }

  [[nodiscard]] DWORD Create(const std::wstring& target) {
    DWORD error = ERROR_SUCCESS;
    for (unsigned attempt = 0; attempt < kNameAttempts; ++attempt) {
      name_ = TemporaryPath(target, attempt);
      // Reading and deleting are shared for OpensByName's look.
      file_.reset(::CreateFileW(name_.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_) return ERROR_SUCCESS;
      error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return error;
  }
  [[nodiscard]] HANDLE get() const noexcept { return file_.get(); }
  [[nodiscard]] const std::wstring& name() const noexcept { return name_; }

  // Whether it opens again by name as ReplaceFileW opens it.
  [[nodiscard]] bool OpensByName() const {
    const UniqueKernelHandle again(::CreateFileW(name_.c_str(), SYNCHRONIZE | GENERIC_READ | DELETE | WRITE_DAC,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
    return static_cast<bool>(again);
  }

  // Takes the target's name through the handle.
  [[nodiscard]] DWORD RenameTo(const std::wstring& target, bool replace) {
    const std::size_t bytes = target.size() * sizeof(wchar_t);
    // Zeroed: the name's terminating null and the rest of the flags' union.
    std::vector<std::byte> buffer(offsetof(FILE_RENAME_INFO, FileName) + bytes + sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(bytes);
    std::memcpy(info->FileName, target.data(), bytes);
    if (!::SetFileInformationByHandle(file_.get(), FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) {
      return ::GetLastError();
    }
    file_.reset();  // in place: no longer ours to delete
    return ERROR_SUCCESS;
  }

  // Closed and left for ReplaceFileW, which opens it without sharing.
  void Close() noexcept { file_.reset(); }

 private:
  void Discard() noexcept {
    if (!file_) return;
    FILE_DISPOSITION_INFO dispose{TRUE};
    // Should this fail the file stays behind; there is nothing better to do.
    (void)::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &dispose, sizeof dispose);
    file_.reset();
  }

  UniqueKernelHandle file_;
  std::wstring name_;
};

// Gives the new file the target's attributes and creation time. ReplaceFileW carries
// them on Windows; renaming over the target does not, nor does every ReplaceFileW.
void TakeBasicInfoOf(const std::wstring& target, HANDLE file) {
  WIN32_FILE_ATTRIBUTE_DATA old{};
  if (!::GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &old)) return;
  FILE_BASIC_INFO info{};  // zero times stay as they are
  info.CreationTime.LowPart = old.ftCreationTime.dwLowDateTime;
  info.CreationTime.HighPart = static_cast<LONG>(old.ftCreationTime.dwHighDateTime);
  const DWORD kept = old.dwFileAttributes & kOwnersAttributes;
  info.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
  // Without them the text is still saved whole.
  (void)::SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info);
}

// ReplaceFileW keeps the replaced file's DACL, attributes, creation time, short name
// and named streams. It also keeps the temporary attribute that earlier versions gave
// every saved file, which is taken off here.
DWORD ReplaceWith(const std::wstring& path, TemporaryFile& temporary) {
  temporary.Close();
  if (::ReplaceFileW(path.c_str(), temporary.name().c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_TEMPORARY) != 0) {
      const DWORD kept = attributes & kOwnersAttributes;
      // The text is in place either way.
      (void)::SetFileAttributesW(path.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
    }
    return ERROR_SUCCESS;
  }
  const DWORD error = ::GetLastError();
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
    // Without a backup name this means the old file is gone and the new one kept its
    // own name: it is the only copy left, so it goes in place or stays.
    return ::MoveFileExW(temporary.name().c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) ? ERROR_SUCCESS
                                                                                          : ::GetLastError();
  }
  // It opened by name with DELETE a moment ago.
  (void)::DeleteFileW(temporary.name().c_str());
  return error;
}

DWORD WriteAndPutInPlace(const std::wstring& path, std::wstring_view text) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // A read-only file is not replaced: Windows refuses, not everywhere.
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) return ERROR_ACCESS_DENIED;
  TemporaryFile temporary;
  if (const DWORD error = temporary.Create(path); error != ERROR_SUCCESS) return error;
  if (const DWORD error = WriteUtf8(temporary.get(), text); error != ERROR_SUCCESS) return error;
  if (!exists) return temporary.RenameTo(path, false);
  TakeBasicInfoOf(path, temporary.get());
  // ReplaceFileW reopens the file by name; where the folder refuses that, the new
  // file is renamed over the old through its handle and keeps what TakeBasicInfoOf
  // gave it, but not the old file's DACL, short name or named streams.
  if (temporary.OpensByName()) return ReplaceWith(path, temporary);
  return temporary.RenameTo(path, true);
}

}  // namespace

DWORD SaveTextAsUtf8(const std::wstring& path, std::wstring_view text) {
  try {
    return WriteAndPutInPlace(path, text);
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;  // the temporary file, if any, went with its owner
  }
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
