// Reads the built program's import and delay-import directories: every DLL named there
// is resolved before wWinMain, by the loader's own search, which SetDefaultDllDirectories
// comes too late for and which looks in the program's folder first. Only KnownDLLs,
// which the loader always takes from the system, and comctl32, which the manifest's
// side-by-side dependency takes from WinSxS, may be among them.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/program_support.h"
#include "support/test_support.h"

namespace vexlo {
namespace {

const std::set<std::string> kAllowed = {"advapi32.dll", "comctl32.dll", "gdi32.dll",
                                        "kernel32.dll", "msvcrt.dll",   "user32.dll"};

// A PE file read whole; every read is bounds-checked, so a broken file fails the test
// rather than crashing it.
class PeFile {
 public:
  explicit PeFile(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The DLL names of the import directory and the delay-import directory, lower case;
  // false if the file is not a PE image as expected.
  [[nodiscard]] bool DllNames(std::vector<std::string>& names) {
    IMAGE_DOS_HEADER dos{};
    if (!Read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return false;
    DWORD signature = 0;
    IMAGE_FILE_HEADER file{};
    const std::size_t fileAt = static_cast<std::size_t>(dos.e_lfanew) + sizeof signature;
    if (!Read(dos.e_lfanew, signature) || signature != IMAGE_NT_SIGNATURE || !Read(fileAt, file)) return false;
    const std::size_t optionalAt = fileAt + sizeof file;
    WORD magic = 0;
    if (!Read(optionalAt, magic)) return false;
    // The data directories stand at the end of the optional header, whose size differs
    // between PE32 and PE32+.
    const std::size_t directoriesAt =
        optionalAt + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                             : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
    for (WORD i = 0; i < file.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section{};
      if (!Read(optionalAt + file.SizeOfOptionalHeader + i * sizeof section, section)) return false;
      sections_.push_back(section);
    }
    IMAGE_DATA_DIRECTORY imports{}, delayed{};
    if (!Read(directoriesAt + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof imports, imports) ||
        !Read(directoriesAt + IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT * sizeof delayed, delayed)) {
      return false;
    }
    return Names<IMAGE_IMPORT_DESCRIPTOR>(imports, offsetof(IMAGE_IMPORT_DESCRIPTOR, Name), names) &&
           Names<IMAGE_DELAYLOAD_DESCRIPTOR>(delayed, offsetof(IMAGE_DELAYLOAD_DESCRIPTOR, DllNameRVA), names);
  }

 private:
  template <typename T>
  bool Read(std::size_t at, T& out) const {
    if (at > bytes_.size() || bytes_.size() - at < sizeof out) return false;
    std::memcpy(&out, bytes_.data() + at, sizeof out);
    return true;
  }

  [[nodiscard]] std::size_t OffsetOf(DWORD rva) const {
    for (const IMAGE_SECTION_HEADER& s : sections_) {
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData)) {
        return rva - s.VirtualAddress + s.PointerToRawData;
      }
    }
    return bytes_.size();
  }

  // Each descriptor of the directory up to the all-zero one, its name's RVA at `nameAt`.
  // (A delay-load descriptor of the oldest form holds an address instead; its name
  // then reads as empty, which the test refuses as well.)
  template <typename Descriptor>
  bool Names(const IMAGE_DATA_DIRECTORY& directory, std::size_t nameAt, std::vector<std::string>& names) const {
    if (directory.VirtualAddress == 0) return true;
    for (std::size_t at = OffsetOf(directory.VirtualAddress);; at += sizeof(Descriptor)) {
      Descriptor d{};
      if (!Read(at, d)) return false;
      static constexpr Descriptor kEnd{};
      if (std::memcmp(&d, &kEnd, sizeof d) == 0) return true;
      DWORD nameRva = 0;
      std::memcpy(&nameRva, reinterpret_cast<const char*>(&d) + nameAt, sizeof nameRva);
      std::string name;
      for (std::size_t p = OffsetOf(nameRva); p < bytes_.size() && bytes_[p] != '\0'; ++p) {
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(bytes_[p])));
      }
      names.push_back(name);
    }
  }

  std::vector<char> bytes_;
  std::vector<IMAGE_SECTION_HEADER> sections_;
};

TEST(Imports, TheProgramImportsOnlyKnownDllsAndTheManifestsComctl32) {
  PeFile program(test::ProgramDirectory() + test::Widen(VEXLO_PROGRAM_FROM_TESTS));
  std::vector<std::string> names;
  ASSERT_TRUE(program.DllNames(names)) << "not a PE image: " << VEXLO_PROGRAM_FROM_TESTS;
  // The reader is working: the program cannot run without kernel32.
  EXPECT_NE(std::find(names.begin(), names.end(), "kernel32.dll"), names.end());
  for (const std::string& name : names) EXPECT_TRUE(kAllowed.count(name) == 1) << name << " is no KnownDLL";
}

}  // namespace
}  // namespace vexlo
