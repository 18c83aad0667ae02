#include "launcher/tool_path.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace vexlo {
namespace {

TEST(ToolPath, ProgramTokenFollowsTheCommandLineRules) {
  EXPECT_EQ(ProgramToken(L"ping  -n 4 192.0.2.1"), L"ping");
  EXPECT_EQ(ProgramToken(L"\"C:\\a b\\t.exe\" x"), L"C:\\a b\\t.exe");
  EXPECT_EQ(ProgramToken(L"nslookup\t192.0.2.1"), L"nslookup");
  EXPECT_EQ(ProgramToken(L""), L"");
}

TEST(ToolPath, BareNameIsFoundInTheSystemDirectory) {
  const ToolPath ping = FindTool(L"ping -n 2 127.0.0.1");
  ASSERT_EQ(ping.error, 0u);
  wchar_t system[MAX_PATH];
  ::GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(_wcsicmp(ping.path.c_str(), (std::wstring(system) + L"\\ping.exe").c_str()), 0);
}

TEST(ToolPath, MissingOrRelativeToolsAreNotFound) {
  EXPECT_EQ(FindTool(L"vexlo-no-such-tool 192.0.2.1").error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindTool(L"").error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindTool(L".\\scripted_tool.exe").error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ToolPath, TheCurrentDirectoryIsNeverSearched) {
  // The scripted tool lies in the test directory; make that the current directory.
  wchar_t previous[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(test::ProgramDirectory().c_str()));
  const ToolPath found = FindTool(L"scripted_tool print hi");
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(found.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A folder of its own under the temporary directory, made the current directory, with
// PATH replaced; all of it put back at the end.
class RelativePathEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH, temp);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    root_ = std::wstring(temp) + L"vexlo_tool_path_" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(root_.c_str(), nullptr)) << ::GetLastError();
    ASSERT_TRUE(::CreateDirectoryW((root_ + L"\\bin").c_str(), nullptr)) << ::GetLastError();
    ASSERT_TRUE(::CreateDirectoryW((root_ + L"\\listed").c_str(), nullptr)) << ::GetLastError();
    wchar_t current[MAX_PATH] = {};
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
    previousDirectory_ = current;
    const DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size > 0) {
      previousPath_.resize(size);
      previousPath_.resize(::GetEnvironmentVariableW(L"PATH", previousPath_.data(), size));
      hadPath_ = true;
    }
    ASSERT_TRUE(::SetCurrentDirectoryW(root_.c_str())) << ::GetLastError();
  }

  void TearDown() override {
    ::SetCurrentDirectoryW(previousDirectory_.c_str());
    ::SetEnvironmentVariableW(L"PATH", hadPath_ ? previousPath_.c_str() : nullptr);
    for (const auto& file : planted_) ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW((root_ + L"\\listed").c_str());
    ::RemoveDirectoryW((root_ + L"\\bin").c_str());
    ::RemoveDirectoryW(root_.c_str());
  }

  // A copy of the scripted tool, a real program, at root_\<relative>.
  void Plant(const std::wstring& relative) {
    const std::wstring target = root_ + L"\\" + relative;
    ASSERT_TRUE(::CopyFileW((test::ProgramDirectory() + L"scripted_tool.exe").c_str(), target.c_str(), TRUE))
        << ::GetLastError();
    planted_.push_back(target);
  }

  std::wstring root_;
  std::wstring previousDirectory_, previousPath_;
  bool hadPath_ = false;
  std::vector<std::wstring> planted_;
};

TEST_F(RelativePathEntries, AreSkippedWhileAbsoluteOnesAreSearched) {
  ASSERT_NO_FATAL_FAILURE(Plant(L"vexlo_in_dot.exe"));
  ASSERT_NO_FATAL_FAILURE(Plant(L"bin\\vexlo_in_bin.exe"));
  ASSERT_NO_FATAL_FAILURE(Plant(L"listed\\vexlo_in_listed.exe"));
  // Both relative forms, bare and quoted, and the folder by its full path last.
  const std::wstring path = L".;bin;\".\";\"bin\";.\\bin;" + root_ + L"\\listed";
  ASSERT_TRUE(::SetEnvironmentVariableW(L"PATH", path.c_str()));

  // Each of them resolves from the current directory, and is still not searched.
  EXPECT_EQ(FindTool(L"vexlo_in_dot print hi").error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindTool(L"vexlo_in_bin print hi").error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // The same search does look in an absolute entry: what it skips, it skips for being relative.
  const ToolPath listed = FindTool(L"vexlo_in_listed print hi");
  EXPECT_EQ(listed.error, 0u);
  EXPECT_EQ(listed.path, root_ + L"\\listed\\vexlo_in_listed.exe");
}

TEST(ToolPath, AbsolutePathIsTakenAsItIs) {
  const std::wstring tool = test::ProgramDirectory() + L"scripted_tool";
  EXPECT_EQ(FindTool(L"\"" + tool + L"\" print hi").path, tool + L".exe");
}

}  // namespace
}  // namespace vexlo
