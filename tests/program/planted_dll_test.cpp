// Starts the built program from a folder where copies of a DLL are planted under the
// names of DLLs that get loaded by name after start-up, as a download folder may hold
// them, and checks that the program ran without loading any of them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/unique_handles.h"
#include "support/program_support.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

using namespace std::chrono_literals;

// uiautomationcore.dll: the program loads it when a client first asks the output view
// for its UI Automation provider. null.dll: Wine's imm32 loads the graphics driver by
// name as the input method when the first window is made, and the test prefix's driver
// is "null"; under Wine this is the load that shows the program's own restriction.
// Neither is a KnownDLL, neither is loaded before wWinMain.
using test::ClassName;
using test::DirectoryNames;
using test::FindTopLevel;
using test::Narrow;
using test::Widen;

const std::vector<std::wstring> kPlantedNames = {L"uiautomationcore.dll", L"null.dll"};

constexpr LPARAM kUiaRootObjectId = -25;  // UiaRootObjectId, uiautomationcoreapi.h

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH] = {};
  const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return n > 0 && n < MAX_PATH ? std::wstring(full, n) : std::wstring();
}

std::vector<HWND> DescendantsOfClass(HWND parent, const std::wstring& className) {
  struct Search {
    const std::wstring& className;
    std::vector<HWND> found;
  } search{className, {}};
  ::EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        if (ClassName(hwnd) == s.className) s.found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Sets an environment variable for this process and the programs it starts, and puts
// the old value back at the end.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size > 0) {
      old_.emplace(size, L'\0');
      old_->resize(::GetEnvironmentVariableW(name, old_->data(), size));
    }
    ok_ = ::SetEnvironmentVariableW(name, value.c_str()) != FALSE;
  }
  ~ScopedVariable() { ::SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;
  [[nodiscard]] bool ok() const { return ok_; }

 private:
  const wchar_t* name_;
  std::optional<std::wstring> old_;
  bool ok_ = false;
};

class PlantedDll : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring relative = Widen(VEXLO_PROGRAM_FROM_TESTS);
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    program_ = FullPath(test::ProgramDirectory() + relative);
    ASSERT_FALSE(program_.empty());
    ASSERT_NE(::GetFileAttributesW(program_.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(program_);

    wchar_t temp[MAX_PATH] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH, temp);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    root_ = std::wstring(temp) + L"vexlo_planted_" + std::to_wstring(::GetCurrentProcessId());
    app_ = root_ + L"\\app";
    marks_ = root_ + L"\\marks";
    for (const auto& dir : {root_, app_, marks_}) {
      ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr)) << Narrow(dir) << ": " << ::GetLastError();
    }
    ASSERT_NO_FATAL_FAILURE(Copy(program_, app_ + L"\\vexlo.exe"));
    for (const auto& name : kPlantedNames) {
      ASSERT_NO_FATAL_FAILURE(Copy(test::ProgramDirectory() + L"vexlo_planted.dll", app_ + L"\\" + name));
    }
  }

  void TearDown() override {
    if (started_.process && ::WaitForSingleObject(started_.process.get(), 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(started_.process.get(), 1);
      ::WaitForSingleObject(started_.process.get(), 5000);
    }
    started_ = {};
    for (const auto& dir : {marks_, app_}) {
      for (const auto& name : DirectoryNames(dir)) ::DeleteFileW((dir + L"\\" + name).c_str());
      ::RemoveDirectoryW(dir.c_str());
    }
    ::RemoveDirectoryW(root_.c_str());
  }

  void Copy(const std::wstring& from, const std::wstring& to) {
    ASSERT_TRUE(::CopyFileW(from.c_str(), to.c_str(), TRUE)) << Narrow(from) << ": " << ::GetLastError();
  }

  // The program started from its folder, with that folder as its current directory too.
  void StartProgram() {
    started_ = test::StartProgram(app_ + L"\\vexlo.exe", L"", app_);
    ASSERT_TRUE(started_.process) << started_.error;
  }

  std::wstring program_, root_, app_, marks_;
  test::StartedProgram started_;
};

TEST_F(PlantedDll, TheProgramLoadsNoneOfTheCopiesBesideIt) {
  ScopedVariable marks(L"VEXLO_PLANTED_MARKS", marks_);
  ASSERT_TRUE(marks.ok());
  // Under Wine a copy found by the search would still lose to Wine's own DLL of that
  // name; this makes Wine use what it finds, as Windows does. Windows ignores it.
  ScopedVariable overrides(L"WINEDLLOVERRIDES", L"mscoree,mshtml,winemenubuilder.exe=;uiautomationcore=n,b");
  ASSERT_TRUE(overrides.ok());

  // A copy that does get loaded leaves its mark: the setup is real.
  HMODULE loaded = ::LoadLibraryW((app_ + L"\\null.dll").c_str());
  ASSERT_NE(loaded, nullptr) << ::GetLastError();
  ASSERT_TRUE(::FreeLibrary(loaded));
  ASSERT_EQ(DirectoryNames(marks_), std::set<std::wstring>{L"null.dll.loaded"});
  ASSERT_TRUE(::DeleteFileW((marks_ + L"\\null.dll.loaded").c_str()));

  ASSERT_NO_FATAL_FAILURE(StartProgram());
  ASSERT_EQ(::WaitForInputIdle(started_.process.get(), 30000), 0u) << "the program never waited for input";
  HWND window = nullptr;
  ASSERT_TRUE(test::PumpUntil([&] { return (window = FindTopLevel(started_.pid, L"Telvaro")) != nullptr; }, 10s))
      << "no Telvaro window";

  // What a screen reader asks first; the view loads uiautomationcore.dll to answer.
  // The window stands before its controls do, and a busy machine can show it between.
  std::vector<HWND> views;
  ASSERT_TRUE(test::PumpUntil([&] { return !(views = DescendantsOfClass(window, L"VexloOutputView")).empty(); }, 10s))
      << "no output view";
  DWORD_PTR answer = 0;
  EXPECT_NE(::SendMessageTimeoutW(views.front(), WM_GETOBJECT, 0, kUiaRootObjectId,
                                  SMTO_ABORTIFHUNG, 10000, &answer),
            0)
      << ::GetLastError();

  ASSERT_TRUE(::PostMessageW(window, WM_CLOSE, 0, 0)) << ::GetLastError();
  ASSERT_EQ(::WaitForSingleObject(started_.process.get(), 10000), WAIT_OBJECT_0) << "the program did not end";
  DWORD exitCode = 1;
  ASSERT_TRUE(::GetExitCodeProcess(started_.process.get(), &exitCode));
  EXPECT_EQ(exitCode, 0u);

  const std::set<std::wstring> left = DirectoryNames(marks_);
  EXPECT_TRUE(left.empty()) << "the program loaded a planted copy: " << Narrow(*left.begin());
}

}  // namespace
}  // namespace vexlo
