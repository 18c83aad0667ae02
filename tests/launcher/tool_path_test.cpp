#include "launcher/tool_path.h"

#include <gtest/gtest.h>

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

TEST(ToolPath, AbsolutePathIsTakenAsItIs) {
  const std::wstring tool = test::ProgramDirectory() + L"scripted_tool";
  EXPECT_EQ(FindTool(L"\"" + tool + L"\" print hi").path, tool + L".exe");
}

}  // namespace
}  // namespace vexlo
