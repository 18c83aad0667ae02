// Save As below the dialog: what is written, and what a failure leaves.
#include "output_view/save_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/system_message.h"
#include "output_view/com_api.h"
#include "controls/controls.h"
#include "output_view/output_view_impl.h"
#include "output_view/view_test_support.h"
#include "common/unique_handles.h"
#include "support/failing_allocations.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  ::CloseHandle(file);
  return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ASSERT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
  ::CloseHandle(file);
}

std::wstring FromUtf8(const std::string& bytes) {
  std::wstring text(bytes.size(), L'\0');
  text.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                             text.data(), static_cast<int>(text.size()))));
  return text;
}

// The names in a folder, but "." and "..".
std::vector<std::wstring> Names(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return names;
}

class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::ProgramDirectory() + L"save_test_" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
  }
  void TearDown() override {
    ::SetFileAttributesW(folder_.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (const std::wstring& name : Names(folder_)) {
      const std::wstring path = folder_ + L"\\" + name;
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(path.c_str());
    }
    ::RemoveDirectoryW(folder_.c_str());
  }
  std::wstring folder_;
};

TEST_F(SaveTest, WritesExactlyTheTextAsUtf8WithItsLineEndsAndNoMark) {
  const std::wstring path = folder_ + L"\\ping.txt";
  // CR LF, a lone CR, a lone LF, a tab, Latin, Greek, CJK and a surrogate pair.
  const std::wstring text = L"Reply\r\nlone\rcr\nlf\t\u00e9\u03a9\u4e2d\U0001F600 end";
  ASSERT_EQ(SaveTextAsUtf8(path, text), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ReadBytes(path), "Reply\r\nlone\rcr\nlf\t\xc3\xa9\xce\xa9\xe4\xb8\xad\xf0\x9f\x98\x80 end");
  // Saved again over a longer file, the file holds the new text alone.
  WriteBytes(path, std::string(100000, 'o'));
  ASSERT_EQ(SaveTextAsUtf8(path, L"short"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ReadBytes(path), "short");
  ASSERT_EQ(SaveTextAsUtf8(path, L""), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ReadBytes(path), "");
  EXPECT_EQ(Names(folder_), std::vector<std::wstring>{L"ping.txt"});  // no temporary file left
}

TEST_F(SaveTest, ALongTextIsWrittenWholeAlsoWhereAPairMeetsAPieceEnd) {
  const std::wstring path = folder_ + L"\\long.txt";
  // Pairs at every odd place, so some pair straddles every piece boundary there is.
  std::wstring text;
  while (text.size() < 1'100'000) text += (text.size() % 7 == 0) ? L"x\U0001F600" : L"Reply from 192.0.2.1\r\n";
  ASSERT_EQ(SaveTextAsUtf8(path, text), static_cast<DWORD>(ERROR_SUCCESS));
  const std::string bytes = ReadBytes(path);
  EXPECT_EQ(bytes.find("\xef\xbf\xbd"), std::string::npos);  // no replacement character: no pair was split
  EXPECT_TRUE(FromUtf8(bytes) == text);
}

TEST_F(SaveTest, AFailureLeavesAnExistingFileAsItWasAndNoTemporaryFile) {
  // A missing folder.
  const std::wstring missing = folder_ + L"\\no such folder\\ping.txt";
  EXPECT_EQ(SaveTextAsUtf8(missing, L"text"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // A read-only file in the way: it keeps what it held.
  const std::wstring kept = folder_ + L"\\kept.txt";
  WriteBytes(kept, "old output");
  ASSERT_TRUE(::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_NE(SaveTextAsUtf8(kept, L"new output"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ReadBytes(kept), "old output");
  // A path that is a folder.
  EXPECT_NE(SaveTextAsUtf8(folder_, L"new output"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(Names(folder_), std::vector<std::wstring>{L"kept.txt"});
}

TEST_F(SaveTest, AReadOnlyFolderTakesNothingAndKeepsItsFile) {
  const std::wstring kept = folder_ + L"\\kept.txt";
  WriteBytes(kept, "old output");
  ASSERT_TRUE(::SetFileAttributesW(folder_.c_str(), FILE_ATTRIBUTE_READONLY));
  // Whether the platform refuses new files in it (see docs/windows-and-wine.md).
  const std::wstring probe = folder_ + L"\\probe";
  const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(file);
    ::DeleteFileW(probe.c_str());
    GTEST_SKIP() << "this system lets anyone write into a read-only folder";
  }
  EXPECT_NE(SaveTextAsUtf8(kept, L"new output"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ReadBytes(kept), "old output");
}

TEST_F(SaveTest, PairsAtEveryPieceBoundaryStayWhole) {
  // An emoji across each boundary between pieces, and one just after each.
  std::wstring text(4 * kSaveCharsPerPiece, L'a');
  for (std::size_t at = kSaveCharsPerPiece; at < text.size(); at += kSaveCharsPerPiece) {
    text.replace(at - 1, 2, L"\U0001F600");
    text.replace(at + 2, 2, L"\U0001F680");
  }
  const std::wstring path = folder_ + L"\\pairs.txt";
  ASSERT_EQ(SaveTextAsUtf8(path, text), static_cast<DWORD>(ERROR_SUCCESS));
  const std::string bytes = ReadBytes(path);
  EXPECT_EQ(bytes.find("\xef\xbf\xbd"), std::string::npos);  // no half pair became U+FFFD
  EXPECT_TRUE(FromUtf8(bytes) == text);
}

TEST_F(SaveTest, TheFileIsNotTemporaryAndAReplacedOneKeepsItsAttributesAndCreationTime) {
  const std::wstring path = folder_ + L"\\kept.txt";
  ASSERT_EQ(SaveTextAsUtf8(path, L"first"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_TEMPORARY, 0u);
  // As earlier versions left it, hidden, and made long ago, where the system keeps that.
  ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY));
  const FILETIME made{0x12345600, 0x01C0D000};  // in 2001
  {
    const UniqueKernelHandle file(
        ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file && ::SetFileTime(file.get(), &made, nullptr, nullptr));
  }
  WIN32_FILE_ATTRIBUTE_DATA before{}, after{};
  ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &before));
  ASSERT_EQ(SaveTextAsUtf8(path, L"second"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ReadBytes(path), "second");
  ASSERT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &after));
  EXPECT_EQ(after.dwFileAttributes & FILE_ATTRIBUTE_TEMPORARY, 0u);
  EXPECT_EQ(after.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN, before.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
  if (::CompareFileTime(&before.ftCreationTime, &made) == 0) {
    EXPECT_EQ(::CompareFileTime(&after.ftCreationTime, &made), 0);
  }
  EXPECT_EQ(Names(folder_), std::vector<std::wstring>{L"kept.txt"});
}

TEST_F(SaveTest, APathOfMaxPathLessOneCharactersAndANameOf255AreSavedAndReplaced) {
  // A folder as deep as CreateDirectory allows, then a name up to MAX_PATH - 1.
  const std::wstring deep = folder_ + L"\\" + std::wstring(MAX_PATH - 13 - folder_.size() - 1, L'd');
  ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
  const std::wstring path = deep + L"\\" + std::wstring(MAX_PATH - 1 - deep.size() - 1 - 4, L'n') + L".txt";
  ASSERT_EQ(path.size(), static_cast<std::size_t>(MAX_PATH - 1));
  EXPECT_EQ(SaveTextAsUtf8(path, L"new"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(SaveTextAsUtf8(path, L"again"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ReadBytes(path), "again");
  EXPECT_EQ(Names(deep).size(), 1u);
  ::DeleteFileW(path.c_str());
  ::RemoveDirectoryW(deep.c_str());
  // A name as long as a file system takes, 255 characters, past MAX_PATH as "\\?\" allows.
  const std::wstring longName = L"\\\\?\\" + folder_ + L"\\" + std::wstring(251, L'n') + L".txt";
  EXPECT_EQ(SaveTextAsUtf8(longName, L"new"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(SaveTextAsUtf8(longName, L"again"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ReadBytes(longName), "again");
  EXPECT_EQ(Names(folder_).size(), 1u);
  ::DeleteFileW(longName.c_str());
}

TEST_F(SaveTest, AFailureWhileWritingLeavesTheOldFileAndNothingBesideIt) {
  // ASCII, then CJK at three bytes a character: the second piece needs a larger buffer.
  const std::wstring text = std::wstring(kSaveCharsPerPiece, L'a') + std::wstring(kSaveCharsPerPiece, L'\u4e2d');
  const std::wstring path = folder_ + L"\\kept.txt";
  // Every allocation in turn fails, until none does and the text is saved.
  DWORD error = ERROR_NOT_ENOUGH_MEMORY;
  for (std::size_t allowed = 0; allowed < 40 && error != ERROR_SUCCESS; ++allowed) {
    WriteBytes(path, "old output");
    {
      const test::FailingAllocations failing(allowed);
      error = SaveTextAsUtf8(path, text);
    }
    if (error == ERROR_SUCCESS) {
      EXPECT_EQ(ReadBytes(path).size(), kSaveCharsPerPiece * 4);
    } else {
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
      EXPECT_EQ(ReadBytes(path), "old output") << allowed;
    }
    EXPECT_EQ(Names(folder_), std::vector<std::wstring>{L"kept.txt"}) << allowed;
  }
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(SaveNames, TheProposedNameIsThePageAndTheTime) {
  SYSTEMTIME time{};
  time.wYear = 2026;
  time.wMonth = 12;
  time.wDay = 8;
  time.wHour = 14;
  time.wMinute = 32;
  EXPECT_EQ(ProposedFileName(L"Ping", time), L"ping 2026-12-08 1432.txt");
  time.wHour = 9;
  time.wMinute = 5;
  EXPECT_EQ(ProposedFileName(L"LookUp", time), L"lookup 2026-12-08 0905.txt");
  EXPECT_EQ(ProposedFileName(L"a/b:c", time), L"a_b_c 2026-12-08 0905.txt");
  EXPECT_EQ(ProposedFileName(L"", time), L"output 2026-12-08 0905.txt");
}

TEST(SaveNames, TheFailureTextNamesThePathAndGivesTheSystemsWords) {
  const std::wstring text = SaveFailureText(L"C:\\out\\ping.txt", ERROR_ACCESS_DENIED);
  ASSERT_FALSE(SystemMessage(ERROR_ACCESS_DENIED).empty());
  EXPECT_NE(text.find(L"C:\\out\\ping.txt"), std::wstring::npos);
  EXPECT_NE(text.find(SystemMessage(ERROR_ACCESS_DENIED)), std::wstring::npos);
}

// ole32.dll is loaded when Save As first asks for the dialog; without it (or COM) the
// dialog does not open, and the user is told so rather than left with nothing.
TEST(SaveDialog, WithoutComItDoesNotOpenAndSaysWhy) {
  const OleApi none;
  const SystemApi<OleApi>::Scoped missing(none);
  DWORD error = ERROR_SUCCESS;
  EXPECT_EQ(AskSavePath(nullptr, L"ping.txt", error), std::nullopt);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_NE(DialogFailureText(error).find(SystemMessage(ERROR_MOD_NOT_FOUND)), std::wstring::npos);
}

// Save As from the view, with the dialog and the message box replaced.
class ViewSaveTest : public test::ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    folder_ = test::ProgramDirectory() + L"view_save_" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    view().UseSaveAsUi({[this](HWND owner, const std::wstring& name) {
                          owners_.push_back(owner);
                          proposed_.push_back(name);
                          return answer_;
                        },
                        [this](HWND, const std::wstring& text) { shown_.push_back(text); }});
  }
  void TearDown() override {
    for (const std::wstring& name : Names(folder_)) ::DeleteFileW((folder_ + L"\\" + name).c_str());
    ::RemoveDirectoryW(folder_.c_str());
  }
  OutputView& view() { return *OutputView::From(view_); }
  std::wstring folder_;
  std::optional<std::wstring> answer_;
  std::vector<HWND> owners_;
  std::vector<std::wstring> proposed_;
  std::vector<std::wstring> shown_;
};

TEST_F(ViewSaveTest, CtrlSWritesTheWholeTextAndAFailureIsShownWithTheSystemsWords) {
  ::SetWindowTextW(view_, L"Pinging 192.0.2.1\r\nReply \u00e9\r\n");
  SetSel(view_, 2, 5);  // a selection does not limit what is saved
  answer_ = folder_ + L"\\saved.txt";
  ::SendMessageW(view_, WM_CHAR, 0x13, 0);  // Ctrl+S
  ASSERT_EQ(proposed_.size(), 1u);
  EXPECT_EQ(proposed_[0].rfind(L"ping ", 0), 0u);  // from the view's name, "Ping output"
  EXPECT_EQ(owners_[0], host_.hwnd());
  EXPECT_EQ(ReadBytes(*answer_), "Pinging 192.0.2.1\r\nReply \xc3\xa9\r\n");
  EXPECT_TRUE(shown_.empty());
  // Into a missing folder: the message says why, in the system's words.
  answer_ = folder_ + L"\\missing\\saved.txt";
  ::SendMessageW(view_, WM_CHAR, 0x13, 0);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_NE(shown_[0].find(*answer_), std::wstring::npos);
  EXPECT_NE(shown_[0].find(SystemMessage(ERROR_PATH_NOT_FOUND)), std::wstring::npos);
  // Cancelled: nothing written, nothing shown.
  answer_.reset();
  ::SendMessageW(view_, WM_CHAR, 0x13, 0);
  EXPECT_EQ(proposed_.size(), 3u);
  EXPECT_EQ(shown_.size(), 1u);
  EXPECT_EQ(Names(folder_), std::vector<std::wstring>{L"saved.txt"});
}

TEST_F(ViewSaveTest, WithTimesShownEachTimedLineStartsWithItsLocalTimeAndATab) {
  OutputViews group;
  group.Add(view_);
  ::SetWindowTextW(view_, L"set\r\n");  // no time: no prefix
  TextBox box;
  box.hwnd = view_;
  constexpr std::int64_t kFirst = 133'000'000'000'000'000, kSecond = kFirst + 123'450'000;  // 12.345 s later
  box.Append(L"Pinging\r\nReply", ReadTimes{{0, kFirst}, {9, kSecond}});
  answer_ = folder_ + L"\\saved.txt";
  ::SendMessageW(view_, WM_CHAR, 0x13, 0);
  EXPECT_EQ(ReadBytes(*answer_), "set\r\nPinging\r\nReply");
  group.ShowTimes(true);
  ::SendMessageW(view_, WM_CHAR, 0x13, 0);
  const auto iso = [](std::int64_t time) {
    SYSTEMTIME utc{}, local{};
    const auto ticks = static_cast<std::uint64_t>(time);
    const FILETIME file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(::FileTimeToSystemTime(&file, &utc) && ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", local.wYear, local.wMonth, local.wDay,
                  local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
    return std::string(text);
  };
  EXPECT_EQ(ReadBytes(*answer_), "set\r\n" + iso(kFirst) + "\tPinging\r\n" + iso(kSecond) + "\tReply");
}

}  // namespace
}  // namespace vexlo
