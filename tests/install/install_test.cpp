// Installs the built setup program silently in the test prefix, checks what it put on
// the machine and that the installed program starts with its version on the Help page,
// then uninstalls it and checks that all of it is gone.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/unique_handles.h"
#include "main_window/control_ids.h"
#include "support/program_support.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

using namespace std::chrono_literals;

constexpr wchar_t kVendorKey[] = L"SOFTWARE\\Quenmar";
constexpr wchar_t kProductKey[] = L"SOFTWARE\\Quenmar\\vexlo";
constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\vexlo";
constexpr wchar_t kMarkValue[] = L"InstallTestMark";
// ERROR_ELEVATION_REQUIRED, the setup program's exit code without administrator rights;
// not every SDK's winerror.h has the name.
constexpr DWORD kElevationRequired = 740;

using test::ClassName;
using test::DirectoryNames;
using test::FindTopLevel;
using test::Narrow;
using test::Widen;
using test::WindowText;

const std::wstring kVersion = Widen(VEXLO_VERSION);
const std::wstring kVersionText = L"Vexlo " + kVersion;

// The 64-bit view is the one the program reads.
constexpr REGSAM kView64 = KEY_WOW64_64KEY;
constexpr REGSAM kView32 = KEY_WOW64_32KEY;

bool KeyExists(const wchar_t* path, REGSAM view = kView64) {
  UniqueKey key;
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

struct RegText {
  DWORD type = REG_NONE;
  std::wstring text;
};

// A string value as stored, with its type; empty when the key or value is missing.
std::optional<RegText> ReadValue(const wchar_t* path, const wchar_t* name) {
  UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | kView64, key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  RegText value;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  buffer.resize(size / sizeof(wchar_t));
  while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
  value.text = buffer;
  return value;
}

// Whether the key is there with neither values nor subkeys.
bool KeyIsEmpty(const wchar_t* path) {
  UniqueKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | kView64, key.put()) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0, values = 0;
  if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return subkeys == 0 && values == 0;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  const HRESULT hr = ::SHGetKnownFolderPath(id, 0, nullptr, &path);
  std::wstring result = SUCCEEDED(hr) && path != nullptr ? path : L"";
  ::CoTaskMemFree(path);  // also when the call failed
  return result;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Where a shortcut points; empty when it cannot be read.
std::wstring ShortcutTarget(const std::wstring& lnk) {
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return {};
  }
  std::wstring target;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(file->Load(lnk.c_str(), STGM_READ)) &&
        link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK) {
      target = path;
    }
    file->Release();
  }
  link->Release();
  return target;
}

// This process's token with the Administrators group for deny only: what a standard
// user's setup runs with when UAC is off (Wine's users are all administrators).
UniqueKernelHandle TokenWithoutAdministrators(std::string& failure) {
  UniqueKernelHandle own;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_QUERY, own.put())) {
    failure = "OpenProcessToken: " + std::to_string(::GetLastError());
    return {};
  }
  BYTE sid[SECURITY_MAX_SID_SIZE] = {};
  DWORD sidSize = sizeof sid;
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize)) {
    failure = "CreateWellKnownSid: " + std::to_string(::GetLastError());
    return {};
  }
  SID_AND_ATTRIBUTES disabled{sid, 0};
  UniqueKernelHandle restricted;
  if (!::CreateRestrictedToken(own.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, restricted.put())) {
    failure = "CreateRestrictedToken: " + std::to_string(::GetLastError());
    return {};
  }
  return restricted;
}

// Runs a program to its end. Returns its exit code, or a description of what went wrong.
std::optional<DWORD> RunToEnd(const std::wstring& program, const std::wstring& arguments, std::string& failure,
                              HANDLE token = nullptr, std::chrono::milliseconds limit = 120s) {
  test::StartedProgram run = test::StartProgram(program, arguments, {}, token);
  if (!run.process) {
    failure = "cannot start " + Narrow(program) + ": error " + std::to_string(run.error);
    return std::nullopt;
  }
  if (::WaitForSingleObject(run.process.get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
    ::TerminateProcess(run.process.get(), 1);
    ::WaitForSingleObject(run.process.get(), 5000);
    failure = Narrow(program) + " did not end in time";
    return std::nullopt;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(run.process.get(), &code)) {
    failure = "no exit code from " + Narrow(program);
    return std::nullopt;
  }
  return code;
}

// Any window below this one with this text.
HWND FindDescendant(HWND parent, const std::wstring& text) {
  struct Search {
    const std::wstring& text;
    HWND found;
  } search{text, nullptr};
  ::EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        if (WindowText(hwnd) != s.text) return TRUE;
        s.found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The ProductVersion text of a program's version resource, or empty.
std::wstring ProductVersionOf(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> block(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", &value, &length) ||
      length == 0) {
    return {};
  }
  return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    comReady_ = true;

    std::wstring relative = Widen(VEXLO_SETUP_FROM_TESTS);
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    wchar_t full[MAX_PATH] = {};
    const DWORD n = ::GetFullPathNameW((test::ProgramDirectory() + relative).c_str(), MAX_PATH, full, nullptr);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    setup_ = full;
    ASSERT_TRUE(Exists(setup_)) << Narrow(setup_) << " is missing: make package builds it";

    const std::wstring programFiles = KnownFolder(FOLDERID_ProgramFilesX64);
    const std::wstring programs = KnownFolder(FOLDERID_CommonPrograms);
    ASSERT_FALSE(programFiles.empty());
    ASSERT_FALSE(programs.empty());
    installDir_ = programFiles + L"\\Vexlo";
    menuDir_ = programs + L"\\Vexlo";

    // A run that was cut short may have left its install behind.
    if (Exists(installDir_) || KeyExists(kUninstallKey)) Uninstall();
    ASSERT_FALSE(Exists(installDir_)) << "an earlier install is still there";
    // The window's tests leave the key they write; nothing else of ours is in this prefix.
    const LSTATUS status = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
    ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
    if (KeyIsEmpty(kVendorKey)) {
      ASSERT_EQ(::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kVendorKey, kView64, 0), ERROR_SUCCESS);
    }
    ASSERT_FALSE(KeyExists(kVendorKey)) << "HKLM\\SOFTWARE\\Quenmar holds something the test did not expect";
  }

  // Whatever happened in the test: the program ends, the install goes, the mark goes.
  void TearDown() override {
    if (program_.process && ::WaitForSingleObject(program_.process.get(), 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(program_.process.get(), 1);
      ::WaitForSingleObject(program_.process.get(), 5000);
    }
    program_ = {};
    if (installed_) Uninstall();
    if (marked_) {
      UniqueKey key;
      if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_SET_VALUE | kView64, key.put()) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key.get(), kMarkValue);
      }
      key.reset();
      if (KeyIsEmpty(kVendorKey)) ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kVendorKey, kView64, 0);
    }
    if (comReady_) ::CoUninitialize();
  }

  void Install() {
    installed_ = true;  // from here on TearDown uninstalls, whatever the outcome
    std::string failure;
    const std::optional<DWORD> code = RunToEnd(setup_, L"/S", failure);
    ASSERT_TRUE(code) << failure;
    ASSERT_EQ(*code, 0u) << "the installer failed";
  }

  // Runs the installed uninstaller and waits for it: with _?= it runs in place instead
  // of starting a copy of itself from the temporary directory and returning at once.
  // The argument takes no quotes, spaces and all. In place it cannot always delete
  // itself, so what is left of it is deleted here.
  void Uninstall() {
    installed_ = false;
    const std::wstring uninstaller = installDir_ + L"\\Uninstall.exe";
    if (Exists(uninstaller)) {
      std::string failure;
      const std::optional<DWORD> code = RunToEnd(uninstaller, L"/S _?=" + installDir_, failure);
      EXPECT_TRUE(code) << failure;
      if (code) {
        EXPECT_EQ(*code, 0u) << "the uninstaller failed";
      }
    }
    const std::set<std::wstring> left = DirectoryNames(installDir_);
    EXPECT_TRUE(left.empty() || left == std::set<std::wstring>{L"Uninstall.exe"})
        << left.size() << " files left in the install directory, the first " << Narrow(*left.begin());
    if (Exists(uninstaller)) {
      EXPECT_TRUE(Retried([&] { return ::DeleteFileW(uninstaller.c_str()) != FALSE; })) << ::GetLastError();
    }
    if (Exists(installDir_)) {
      EXPECT_TRUE(Retried([&] { return ::RemoveDirectoryW(installDir_.c_str()) != FALSE; })) << ::GetLastError();
    }
  }

  // The uninstaller's image and working directory can stay in use for a moment after
  // its process has ended (seen under Wine), so a refusal is tried again for a while.
  static bool Retried(const std::function<bool()>& attempt) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!attempt()) {
      const DWORD error = ::GetLastError();
      if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_DIR_NOT_EMPTY) ||
          std::chrono::steady_clock::now() >= deadline) {
        ::SetLastError(error);
        return false;
      }
      ::Sleep(50);
    }
    return true;
  }

  void ExpectEverythingGone() {
    EXPECT_FALSE(Exists(installDir_));
    EXPECT_FALSE(Exists(menuDir_ + L"\\Vexlo.lnk"));
    EXPECT_FALSE(Exists(menuDir_));
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(KeyExists(kProductKey));
  }

  std::wstring setup_, installDir_, menuDir_;
  test::StartedProgram program_;
  bool comReady_ = false;
  bool installed_ = false;
  bool marked_ = false;
};

TEST_F(InstallTest, SilentInstallPutsTheProgramInPlaceAndUninstallTakesItAllAway) {
  ASSERT_NO_FATAL_FAILURE(Install());

  // Files: the program and its README, nothing of the tests.
  const std::wstring exe = installDir_ + L"\\vexlo.exe";
  EXPECT_EQ(DirectoryNames(installDir_), (std::set<std::wstring>{L"README.md", L"Uninstall.exe", L"vexlo.exe"}));

  // The program's own version resource carries the same version.
  EXPECT_EQ(ProductVersionOf(exe), kVersion);

  // The Start-menu shortcut, for all users; no desktop icon.
  const std::wstring lnk = menuDir_ + L"\\Vexlo.lnk";
  ASSERT_TRUE(Exists(lnk)) << Narrow(lnk);
  EXPECT_EQ(ShortcutTarget(lnk), exe);
  EXPECT_FALSE(Exists(KnownFolder(FOLDERID_PublicDesktop) + L"\\Vexlo.lnk"));
  EXPECT_FALSE(Exists(KnownFolder(FOLDERID_Desktop) + L"\\Vexlo.lnk"));

  // The version text, in the view the program reads and only there.
  const std::optional<RegText> ver = ReadValue(kProductKey, L"Ver");
  ASSERT_TRUE(ver);
  EXPECT_EQ(ver->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(ver->text, kVersionText);
  EXPECT_FALSE(KeyExists(kProductKey, kView32));

  // The Add/Remove Programs entry.
  const auto text = [](const wchar_t* name) {
    const std::optional<RegText> v = ReadValue(kUninstallKey, name);
    return v ? v->text : L"(missing)";
  };
  EXPECT_EQ(text(L"DisplayName"), L"Vexlo");
  EXPECT_EQ(text(L"DisplayVersion"), kVersion);
  EXPECT_EQ(text(L"Publisher"), L"Quenmar");
  EXPECT_EQ(text(L"DisplayIcon"), exe);
  EXPECT_EQ(text(L"UninstallString"), L"\"" + installDir_ + L"\\Uninstall.exe\"");
  EXPECT_FALSE(KeyExists(kUninstallKey, kView32));

  // The installed program starts with the version on its Help page, and closes.
  program_ = test::StartProgram(exe, L"", installDir_);
  ASSERT_TRUE(program_.process) << "error " << program_.error;
  ASSERT_EQ(::WaitForInputIdle(program_.process.get(), 30000), 0u) << "the program never waited for input";
  HWND window = nullptr;
  ASSERT_TRUE(test::PumpUntil([&] { return (window = FindTopLevel(program_.pid, L"Telvaro")) != nullptr; }, 10s))
      << "no Telvaro window";
  const HWND label = FindDescendant(window, kVersionText);
  ASSERT_NE(label, nullptr) << "no control shows " << Narrow(kVersionText);
  EXPECT_EQ(ClassName(label), L"Static");
  EXPECT_EQ(::GetDlgCtrlID(label), kIdHelp1);
  ASSERT_TRUE(::PostMessageW(window, WM_CLOSE, 0, 0)) << ::GetLastError();
  ASSERT_EQ(::WaitForSingleObject(program_.process.get(), 10000), WAIT_OBJECT_0) << "the program did not end";
  DWORD exitCode = 1;
  ASSERT_TRUE(::GetExitCodeProcess(program_.process.get(), &exitCode));
  EXPECT_EQ(exitCode, 0u);
  program_ = {};

  ASSERT_NO_FATAL_FAILURE(Uninstall());
  ExpectEverythingGone();
  EXPECT_FALSE(Exists(menuDir_ + L"\\Uninstall.lnk"));
  EXPECT_FALSE(KeyExists(kVendorKey)) << "the empty HKLM\\SOFTWARE\\Quenmar stays";
}

TEST_F(InstallTest, UninstallKeepsTheVendorKeyWhileItHoldsAnything) {
  // A value alone is enough to keep it: the key is not empty.
  {
    UniqueKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kVendorKey, 0, nullptr, 0, KEY_SET_VALUE | kView64, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS);
    marked_ = true;
    const DWORD one = 1;
    ASSERT_EQ(::RegSetValueExW(key.get(), kMarkValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one),
              ERROR_SUCCESS);
  }
  ASSERT_NO_FATAL_FAILURE(Install());
  ASSERT_TRUE(KeyExists(kProductKey));
  ASSERT_NO_FATAL_FAILURE(Uninstall());
  ExpectEverythingGone();
  EXPECT_TRUE(KeyExists(kVendorKey));
  EXPECT_TRUE(ReadValue(kVendorKey, kMarkValue));
}

TEST_F(InstallTest, WithoutAdministratorRightsSetupStopsAndChangesNothing) {
  std::string failure;
  const UniqueKernelHandle token = TokenWithoutAdministrators(failure);
  ASSERT_TRUE(token) << failure;
  // Should it install after all, TearDown uninstalls, and this takes away the per-user
  // part that the uninstaller, run as an administrator, leaves.
  installed_ = true;
  const std::wstring userMenu = KnownFolder(FOLDERID_Programs) + L"\\Vexlo";
  struct PerUserTraces {
    const std::wstring& menu;
    ~PerUserTraces() {
      ::RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
      ::RegDeleteTreeW(HKEY_CURRENT_USER, kProductKey);
      ::RegDeleteKeyW(HKEY_CURRENT_USER, kVendorKey);  // only while it has no subkeys
      for (const auto& name : DirectoryNames(menu)) ::DeleteFileW((menu + L"\\" + name).c_str());
      ::RemoveDirectoryW(menu.c_str());
    }
  } cleanup{userMenu};
  const std::optional<DWORD> code = RunToEnd(setup_, L"/S", failure, token.get());
  ASSERT_TRUE(code) << failure;
  EXPECT_EQ(*code, kElevationRequired);
  // Not the per-user install CPack's script falls back to, nor any part of the real one.
  EXPECT_FALSE(Exists(KnownFolder(FOLDERID_Documents) + L"\\Vexlo"));
  EXPECT_FALSE(Exists(userMenu));
  UniqueKey perUser;
  EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, perUser.put()), ERROR_SUCCESS);
  ExpectEverythingGone();
  EXPECT_FALSE(KeyExists(kVendorKey));
}

TEST_F(InstallTest, WithoutAdministratorRightsUninstallStopsAndLeavesTheInstallWhole) {
  ASSERT_NO_FATAL_FAILURE(Install());
  std::string failure;
  const UniqueKernelHandle token = TokenWithoutAdministrators(failure);
  ASSERT_TRUE(token) << failure;
  const std::wstring uninstaller = installDir_ + L"\\Uninstall.exe";
  const std::optional<DWORD> code = RunToEnd(uninstaller, L"/S _?=" + installDir_, failure, token.get());
  ASSERT_TRUE(code) << failure;
  EXPECT_EQ(*code, kElevationRequired);
  // Nothing half removed: TearDown's uninstall, as an administrator, still finds it all.
  EXPECT_EQ(DirectoryNames(installDir_), (std::set<std::wstring>{L"README.md", L"Uninstall.exe", L"vexlo.exe"}));
  EXPECT_TRUE(Exists(menuDir_ + L"\\Vexlo.lnk"));
  EXPECT_TRUE(KeyExists(kUninstallKey));
  EXPECT_TRUE(ReadValue(kProductKey, L"Ver"));
}

}  // namespace
}  // namespace vexlo
