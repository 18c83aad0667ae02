#include "common/dll_search.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "support/test_support.h"

namespace vexlo {
namespace {

// Changes how the whole process loads DLLs, so it has a test program of its own.
TEST(DllSearch, ADllPlantedBesideTheProgramOrInTheCurrentDirectoryIsNotLoaded) {
  constexpr wchar_t kPlanted[] = L"vexlo_planted.dll";
  // Without the restriction the DLL beside the program is found: the setup is real.
  HMODULE found = ::LoadLibraryW(kPlanted);
  ASSERT_NE(found, nullptr);
  ASSERT_TRUE(::FreeLibrary(found));

  ASSERT_TRUE(RestrictDllSearchToSystem());
  ASSERT_TRUE(::SetCurrentDirectoryW(test::ProgramDirectory().c_str()));
  EXPECT_EQ(::LoadLibraryW(kPlanted), nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(::LoadLibraryExW(kPlanted, nullptr, 0), nullptr);
  // The system's own DLLs still load by name.
  HMODULE system = ::LoadLibraryW(L"version.dll");
  EXPECT_NE(system, nullptr);
  if (system != nullptr) ::FreeLibrary(system);
}

}  // namespace
}  // namespace vexlo
