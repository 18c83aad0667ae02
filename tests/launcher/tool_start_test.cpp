// How a tool is started: the pipe its output comes through, and the job it runs in.
#include "launcher/tool_start.h"

#include <gtest/gtest.h>

#include <aclapi.h>

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

}  // namespace
}  // namespace vexlo::test
