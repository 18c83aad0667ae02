#include "main_window/module2.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vexlo::Module2 {
namespace {

using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;

// Calls seen through the counting API; reset by each test.
int g_opens = 0;
int g_failedOpens = 0;
int g_queries = 0;
int g_closes = 0;

LSTATUS WINAPI CountingOpen(HKEY root, LPCSTR path, DWORD options, REGSAM sam, PHKEY key) {
  const LSTATUS status = ::RegOpenKeyExA(root, path, options, sam, key);
  ++(status == ERROR_SUCCESS ? g_opens : g_failedOpens);
  return status;
}
LSTATUS WINAPI CountingQuery(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                             LPDWORD size) {
  ++g_queries;
  return ::RegQueryValueExA(key, name, reserved, type, data, size);
}
LSTATUS WINAPI CountingClose(HKEY key) {
  ++g_closes;
  return ::RegCloseKey(key);
}
constexpr RegistryApi kCounting{&CountingOpen, &CountingQuery, &CountingClose};

// A key of this run's own, removed with everything under it at the end.
class RegistryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    path_ = L"Software\\VexloTests\\Module2_" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  static void TearDownTestSuite() {
    ::RegCloseKey(key_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
  }
  void SetUp() override { g_opens = g_failedOpens = g_queries = g_closes = 0; }
  void TearDown() override { EXPECT_EQ(g_closes, g_opens) << "one close per successful open"; }

  static LSTATUS Set(const wchar_t* name, DWORD type, const void* data, std::size_t size) {
    return ::RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data),
                            static_cast<DWORD>(size));
  }
  static void SetText(const wchar_t* name, DWORD type, const std::wstring& text) {
    ASSERT_EQ(Set(name, type, text.data(), text.size() * sizeof(wchar_t)), ERROR_SUCCESS);
  }
  // Wine and Windows add a missing terminator when the next character is NUL, so put a
  // non-NUL one after the text to store it unterminated.
  static void SetUnterminated(const wchar_t* name, DWORD type, const std::wstring& text) {
    const std::wstring padded = text + L'X';
    ASSERT_EQ(Set(name, type, padded.data(), text.size() * sizeof(wchar_t)), ERROR_SUCCESS);
  }
  static RegistryValue Read(const std::wstring& name, const RegistryValue& fallback = {}) {
    return ReadRegistryValue(HKEY_CURRENT_USER, path_, name, fallback, kCounting);
  }

  static inline std::wstring path_;
  static inline HKEY key_ = nullptr;
};

TEST_F(RegistryTest, StringsAreReadAsStoredAndNotExpanded) {
  SetText(L"sz", REG_SZ, L"hello\0"s);
  SetUnterminated(L"szNoNul", REG_SZ, L"abc");
  SetText(L"expand", REG_EXPAND_SZ, L"%PATH%\\bin\0"s);
  SetText(L"szEmpty", REG_SZ, L"");
  const RegistryValue fallback = L"fallback"s;
  EXPECT_EQ(Read(L"sz", fallback), RegistryValue(L"hello"s));
  EXPECT_EQ(Read(L"szNoNul", fallback), RegistryValue(L"abc"s));
  EXPECT_EQ(Read(L"expand", fallback), RegistryValue(L"%PATH%\\bin"s));
  EXPECT_EQ(Read(L"szEmpty", fallback), RegistryValue(L""s));
  EXPECT_EQ(g_opens, 4);
}

TEST_F(RegistryTest, LongValuesAreReadWholeThroughTheSecondQuery) {
  std::wstring text;
  for (int i = 0; i < 3000; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
  SetText(L"long", REG_SZ, text + L'\0');
  EXPECT_EQ(Read(L"long"), RegistryValue(text));
  EXPECT_EQ(g_queries, 2);

  Bytes blob(5000);
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(Set(L"longBin", REG_BINARY, blob.data(), blob.size()), ERROR_SUCCESS);
  EXPECT_EQ(Read(L"longBin"), RegistryValue(blob));
}

TEST_F(RegistryTest, BinaryAndDwordValues) {
  const Bytes bytes{0x00, 0x01, 0xAB, 0xFF, 0x00};
  ASSERT_EQ(Set(L"bin", REG_BINARY, bytes.data(), bytes.size()), ERROR_SUCCESS);
  ASSERT_EQ(Set(L"binEmpty", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(Read(L"bin"), RegistryValue(bytes));
  EXPECT_EQ(Read(L"binEmpty", L"x"s), RegistryValue(Bytes{}));

  const DWORD numbers[] = {0x12345678, 0x80000000, 0xFFFFFFFF, 0};
  const std::int32_t expected[] = {0x12345678, INT32_MIN, -1, 0};
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(Set(L"dword", REG_DWORD, &numbers[i], sizeof(DWORD)), ERROR_SUCCESS);
    EXPECT_EQ(Read(L"dword", L"x"s), RegistryValue(expected[i])) << i;
  }
  const std::uint8_t shortDword[] = {0x34, 0x12};
  ASSERT_EQ(Set(L"dwordShort", REG_DWORD, shortDword, sizeof shortDword), ERROR_SUCCESS);
  EXPECT_EQ(Read(L"dwordShort"), RegistryValue(std::int32_t{0x1234}));
}

TEST_F(RegistryTest, MultiStringsLoseOnlyTheTrailingNuls) {
  SetText(L"multi", REG_MULTI_SZ, L"a\0bc\0\0"s);
  SetText(L"multiOneNul", REG_MULTI_SZ, L"a\0bc\0"s);
  SetUnterminated(L"multiNoNul", REG_MULTI_SZ, L"a\0bc"s);
  SetText(L"multiNul", REG_MULTI_SZ, L"\0"s);
  SetText(L"multiEmpty", REG_MULTI_SZ, L"");
  EXPECT_EQ(Read(L"multi"), RegistryValue(L"a\0bc"s));
  EXPECT_EQ(Read(L"multiOneNul"), RegistryValue(L"a\0bc"s));
  EXPECT_EQ(Read(L"multiNoNul"), RegistryValue(L"a\0bc"s));
  EXPECT_EQ(Read(L"multiNul"), RegistryValue(L""s));
  EXPECT_EQ(Read(L"multiEmpty"), RegistryValue(L""s));
}

TEST_F(RegistryTest, OtherTypesAndMissingValuesGiveTheDefault) {
  const std::uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(Set(L"none", REG_NONE, eight, 4), ERROR_SUCCESS);
  ASSERT_EQ(Set(L"bigEndian", REG_DWORD_BIG_ENDIAN, eight, 4), ERROR_SUCCESS);
  ASSERT_EQ(Set(L"qword", REG_QWORD, eight, 8), ERROR_SUCCESS);
  std::vector<const wchar_t*> names{L"none", L"bigEndian", L"qword", L"missing"};
  if (Set(L"link", REG_LINK, L"x", 2) == ERROR_SUCCESS) names.push_back(L"link");
  for (const wchar_t* name : names) {
    EXPECT_EQ(Read(name, std::int32_t{7}), RegistryValue(std::int32_t{7})) << name;
    EXPECT_EQ(Read(name), RegistryValue()) << name;
  }
  EXPECT_EQ(g_failedOpens, 0);
}

TEST_F(RegistryTest, MissingOrUnmappableKeysAreNeverClosed) {
  const RegistryValue fallback = Bytes{9};
  EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, path_ + L"\\missing", L"sz", fallback, kCounting),
            fallback);
  EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, path_ + L"\\missing", L"sz", {}, kCounting),
            RegistryValue());
  EXPECT_EQ(g_failedOpens, 2);
  EXPECT_EQ(g_closes, 0);
  // U+0100 has no exact form in code page 1252; its best fit is "A" and its default "?".
  // Both exist, so reading either would show that a wrong key or value was taken.
  if (::GetACP() != 1252) GTEST_SKIP() << "needs code page 1252";
  for (const wchar_t* name : {L"A", L"?"}) {
    SetText(name, REG_SZ, L"wrong\0"s);
    HKEY sub = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(key_, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(sub, L"sz", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"wrong"), 12),
              ERROR_SUCCESS);
    ::RegCloseKey(sub);
  }
  EXPECT_EQ(Read(L"\u0100", fallback), fallback);
  EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, path_ + L"\\\u0100", L"sz", fallback, kCounting),
            fallback);
  EXPECT_EQ(g_opens + g_failedOpens, 2) << "nothing opened for unmappable names";
}

// Fakes that stand in for a registry whose value changes or misreports its size.
DWORD g_secondSize = 0;
LSTATUS g_secondStatus = ERROR_SUCCESS;
LSTATUS WINAPI FakeOpen(HKEY, LPCSTR, DWORD, REGSAM, PHKEY key) {
  ++g_opens;
  *key = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
  return ERROR_SUCCESS;
}
LSTATUS WINAPI FakeClose(HKEY) {
  ++g_closes;
  return ERROR_SUCCESS;
}
LSTATUS WINAPI GrowingQuery(HKEY, LPCSTR, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  *type = REG_BINARY;
  if (++g_queries == 1) {
    *size = 2000;
    return ERROR_MORE_DATA;
  }
  EXPECT_EQ(*size, 2000u) << "the second buffer has the reported size";
  std::fill(data, data + 2000, 0xEE);
  *size = g_secondSize;
  return g_secondStatus;
}
LSTATUS WINAPI OversizedQuery(HKEY, LPCSTR, LPDWORD, LPDWORD type, LPBYTE, LPDWORD size) {
  ++g_queries;
  *type = REG_BINARY;
  *size = 1025;
  return ERROR_SUCCESS;
}

TEST_F(RegistryTest, ChangingOrMisreportedSizesGiveTheDefault) {
  const RegistryValue fallback = L"fallback"s;
  const RegistryApi growing{&FakeOpen, &GrowingQuery, &FakeClose};
  g_secondSize = 4000;
  g_secondStatus = ERROR_MORE_DATA;
  EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, L"k", L"v", fallback, growing), fallback);
  EXPECT_EQ(g_queries, 2);

  g_queries = 0;
  g_secondSize = 2000;
  EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, L"k", L"v", fallback, growing), fallback);

  g_queries = 0;
  g_secondSize = 4000;
  g_secondStatus = ERROR_SUCCESS;
  EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, L"k", L"v", fallback, growing), fallback);

  g_queries = 0;
  g_secondSize = 2000;
  EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, L"k", L"v", fallback, growing),
            RegistryValue(Bytes(2000, 0xEE)));

  const RegistryApi oversized{&FakeOpen, &OversizedQuery, &FakeClose};
  EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, L"k", L"v", fallback, oversized), fallback);
  EXPECT_EQ(g_opens, 5);
}

TEST(RegistryValueText, EachKindIsShownAsText) {
  EXPECT_EQ(RegistryValueText({}), L"");
  EXPECT_EQ(RegistryValueText(L"a b\\c"s), L"a b\\c");
  EXPECT_EQ(RegistryValueText(std::int32_t{1234}), L"1234");
  EXPECT_EQ(RegistryValueText(std::int32_t{0}), L"0");
  EXPECT_EQ(RegistryValueText(INT32_MIN), L"-2147483648");
  EXPECT_EQ(RegistryValueText(Bytes{0x01, 0xAB}), L"01 AB");
  EXPECT_EQ(RegistryValueText(Bytes{0x00, 0x0F, 0xF0, 0xFF, 0x5a}), L"00 0F F0 FF 5A");
  EXPECT_EQ(RegistryValueText(Bytes{}), L"");
}

}  // namespace
}  // namespace vexlo::Module2
