// How a tool is started: the pipe its output comes through, and the job it runs in.
#include "launcher/tool_start.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include "launcher/tool_job.h"
#include "support/test_support.h"

namespace vexlo::test {
namespace {

using namespace std::chrono_literals;

// The tool's output pipe has a name anybody can guess; only its owner may open it.
TEST(ToolStart, OutputPipeAdmitsItsOwnerAlone) {
  StartedTool tool;
  ASSERT_EQ(StartTool(ScriptedTool() + L" sleep 30000", 4096, tool), 0u);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  UniqueLocal descriptor;
  ASSERT_EQ(::GetSecurityInfo(tool.output.get(), SE_KERNEL_OBJECT,
                              DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION, &owner, nullptr,
                              &dacl, nullptr, descriptor.put()),
            static_cast<DWORD>(ERROR_SUCCESS));
  EndTool(tool, 1);
  ASSERT_NE(dacl, nullptr) << "a null DACL admits everyone";
  ASSERT_EQ(dacl->AceCount, 1u);
  void* ace = nullptr;
  ASSERT_TRUE(::GetAce(dacl, 0, &ace));
  ASSERT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, ACCESS_ALLOWED_ACE_TYPE);
  PSID grantee = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
  BYTE ownerRights[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof ownerRights;
  ASSERT_TRUE(::CreateWellKnownSid(WinCreatorOwnerRightsSid, nullptr, ownerRights, &size));
  EXPECT_TRUE(::EqualSid(grantee, ownerRights) || (owner != nullptr && ::EqualSid(grantee, owner)));
}

// Jobs nest only when neither has UI limits; Wine 8 cannot tell whether ours has any.
TEST(ToolJob, PlacementFollowsWhatOurOwnJobAllows) {
  constexpr DWORD kDesktop = JOB_OBJECT_UILIMIT_DESKTOP;
  constexpr DWORD kBreakaway = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  constexpr DWORD kSilent = JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
  EXPECT_EQ(ChoosePlacement({false, std::nullopt, 0}), JobPlacement::kJob);
  EXPECT_EQ(ChoosePlacement({true, 0u, 0}), JobPlacement::kJob) << "nests";
  EXPECT_EQ(ChoosePlacement({true, 0u, kBreakaway}), JobPlacement::kJob) << "nests; no need to leave";
  EXPECT_EQ(ChoosePlacement({true, kDesktop, kBreakaway}), JobPlacement::kJobBreakaway);
  EXPECT_EQ(ChoosePlacement({true, kDesktop, kSilent}), JobPlacement::kJob) << "outside ours anyway";
  EXPECT_EQ(ChoosePlacement({true, kDesktop, 0}), JobPlacement::kNoJob);
  EXPECT_EQ(ChoosePlacement({true, std::nullopt, kBreakaway}), JobPlacement::kJobBreakaway);
  EXPECT_EQ(ChoosePlacement({true, std::nullopt, 0}), JobPlacement::kJobBreakaway) << "tried; refused, no job";
  // Wine lets a UI-limited job's children nest regardless, so only the flag shows it.
  EXPECT_EQ(PlacementCreationFlags(JobPlacement::kJobBreakaway), static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB));
  EXPECT_EQ(PlacementCreationFlags(JobPlacement::kJob), 0u);
  EXPECT_EQ(PlacementCreationFlags(JobPlacement::kNoJob), 0u);
}

// Outside a job, or in one without UI limits, the tool gets a job of its own that
// holds it from its start and ends it when its last handle closes.
TEST(ToolJob, ToolRunsInAJobOfItsOwn) {
  if (ChoosePlacement(QueryOwnJob()) != JobPlacement::kJob) GTEST_SKIP() << "this process's job refuses nesting";
  StartedTool tool;
  ASSERT_EQ(StartTool(ScriptedTool() + L" sleep 30000", 4096, tool), 0u);
  ASSERT_TRUE(tool.job);
  BOOL inJob = FALSE;
  EXPECT_TRUE(::IsProcessInJob(tool.process.get(), tool.job.get(), &inJob));
  EXPECT_TRUE(inJob);
  tool.job.reset();
  EXPECT_TRUE(ProcessGone(tool.processId, 2000ms));
}

// Every way down after a failed creation is a try without the job; an error that is
// not the job's comes back from the last of them.
TEST(ToolJob, StartErrorOfTheProgramItselfIsStillReported) {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring notAProgram = std::wstring(temp) + L"vexlo-not-a-program.exe";
  {
    UniqueKernelHandle file(::CreateFileW(notAProgram.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), "text, not code\r\n", 16, &written, nullptr));
  }
  StartedTool tool;
  const DWORD error = StartTool(L"\"" + notAProgram + L"\"", 4096, tool);
  ::DeleteFileW(notAProgram.c_str());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_FALSE(tool.process);
}

}  // namespace
}  // namespace vexlo::test
