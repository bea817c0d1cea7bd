// SPDX-License-Identifier: MIT
// The Windows registry and text files as the conduit uses them, on the
// system itself (under Wine in the build): the 255-byte area and its edges,
// CR LF line breaks, and the sharing of backup and import files.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/system_path.h"
#include "platform/text_file.h"

namespace kestrel {
namespace {

constexpr char kTestKey[] = "SOFTWARE\\Norvane\\KestrelplanPlatformTest";
constexpr char kValue[] = "Kestrelplan Path";

// Creates the test key for the test and deletes it afterwards.
class MachineRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTestKey);
  }
  void SetRaw(DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExA(key_, kValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }

  HKEY key_ = nullptr;
};

struct ValueCase {
  const char* what;
  DWORD type;
  std::string stored;  // the value's bytes as written to the registry
  Status status;
  std::string read;  // what lands in the area on success, NUL included
};

TEST_F(MachineRegistryTest, ValuesAgainstTheConduitsArea) {
  const std::string chars254(254, 'a');
  const std::string chars255(255, 'b');
  const std::vector<ValueCase> cases = {
      {"254 characters fit", REG_SZ, chars254 + '\0', StatusOk, chars254 + '\0'},
      {"255 characters do not", REG_SZ, chars255 + '\0', StatusFailed, ""},
      {"empty string", REG_SZ, std::string(1, '\0'), StatusOk, std::string(1, '\0')},
      {"stored without NUL is terminated", REG_SZ, "D:\\Tasks", StatusOk,
       std::string("D:\\Tasks") + '\0'},
      {"255 bytes without NUL leave no room for one", REG_BINARY, chars255, StatusFailed, ""},
      {"type is not examined", REG_EXPAND_SZ, std::string("%TEMP%\\k") + '\0', StatusOk,
       std::string("%TEMP%\\k") + '\0'},
      {"data after the first NUL comes along", REG_BINARY, std::string("C:\\x\0y", 6), StatusOk,
       std::string("C:\\x\0y", 6)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetRaw(c.type, c.stored);
    char area[255];
    std::memset(area, 0x5A, sizeof area);
    std::uint32_t size = sizeof area;
    ASSERT_EQ(QueryMachineValue(kTestKey, kValue, area, &size), c.status);
    if (c.status == StatusOk) {
      ASSERT_EQ(size, c.read.size());
      EXPECT_EQ(std::string(area, size), c.read);
    } else {
      EXPECT_EQ(size, sizeof area);
      EXPECT_EQ(std::string(area, sizeof area), std::string(sizeof area, '\x5A'))
          << "the area was written on failure";
    }
  }
}

TEST_F(MachineRegistryTest, MissingKeyOrValueFails) {
  char area[255] = {};
  std::uint32_t size = sizeof area;
  EXPECT_EQ(QueryMachineValue(kTestKey, kValue, area, &size), StatusFailed);
  EXPECT_EQ(QueryMachineValue("SOFTWARE\\Norvane\\NoSuchKey", kValue, area, &size), StatusFailed);
  EXPECT_EQ(size, sizeof area);
}

TEST_F(MachineRegistryTest, ValueNamesIgnoreLetterCase) {
  SetRaw(REG_SZ, std::string("E:\\Plans") + '\0');
  char area[255] = {};
  std::uint32_t size = sizeof area;
  ASSERT_EQ(QueryMachineValue("software\\norvane\\kestrelplanplatformtest", "KESTRELPLAN PATH",
                              area, &size),
            StatusOk);
  EXPECT_STREQ(area, "E:\\Plans");
}

// A scratch folder of the test's own under the user's temporary folder.
class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::filesystem::temp_directory_path() / "kestrel-platform-win32" / info->name();
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string PathOf(const char* name) const { return (folder_ / name).string(); }
  static std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  // Opens the file as another program would, sharing everything; true when
  // the system let it.
  static bool OtherProgramOpens(const std::string& path, DWORD access) {
    HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  }

  std::filesystem::path folder_;
};

TEST_F(TextFileTest, BackupFileIsWrittenWithCrLfAndReplacesOldContents) {
  const std::string path = PathOf("KestrelDB.csv");
  WriteBytes(path, "old contents that are longer than the new ones\r\n");
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path), StatusOk);
  ASSERT_EQ(file.Write("ID,Start\n"), StatusOk);
  ASSERT_EQ(file.Write("1,4/13/1998\n2,x"), StatusOk);
  ASSERT_EQ(file.Close(), StatusOk);
  EXPECT_EQ(Bytes(path), "ID,Start\r\n1,4/13/1998\r\n2,x");
}

// The new file is held without sharing while it is written, so no sync
// takes it for a leftover; a second writer has a new file of its own.
TEST_F(TextFileTest, BackupFileIsHeldWithoutSharing) {
  const std::string path = PathOf("Tasks.csv");
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path), StatusOk);
  std::vector<std::string> newFiles;
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
    newFiles.push_back(entry.path().string());
  }
  ASSERT_EQ(newFiles.size(), 1u);
  EXPECT_EQ(newFiles[0].size(), path.size() + 1 + 16 + std::strlen(kNewFileSuffix));
  EXPECT_FALSE(OtherProgramOpens(newFiles[0], GENERIC_READ));
  EXPECT_FALSE(DeleteFileA(newFiles[0].c_str()));
  TextFile second;
  EXPECT_EQ(OpenTextFile(second, TextFileMode::Read, path), StatusFailed);
  ASSERT_EQ(OpenTextFile(second, TextFileMode::CreateWrite, path), StatusOk);
  ASSERT_EQ(second.Write("second"), StatusOk);
  ASSERT_EQ(file.Close(), StatusOk);
  ASSERT_EQ(second.Close(), StatusOk);
  EXPECT_TRUE(OtherProgramOpens(path, GENERIC_READ));
  EXPECT_EQ(Bytes(path), "second");
}

TEST_F(TextFileTest, BackupFileCannotBeCreatedOverAFileInUse) {
  const std::string path = PathOf("Busy.csv");
  WriteBytes(path, "kept\r\n");
  HANDLE other = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  TextFile file;
  EXPECT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, path), StatusFailed);
  CloseHandle(other);
  EXPECT_EQ(Bytes(path), "kept\r\n");
}

TEST_F(TextFileTest, ImportFileReadsCrLfAndLfAsLineBreaks) {
  const std::string path = PathOf("import.csv");
  // A lone CR is text, and so is Ctrl-Z, which ends the text in the C
  // runtime's text mode.
  WriteBytes(path, "a,b\r\nc\n\r\nx\ry\x1Az\r\nlast");
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::Read, path), StatusOk);
  std::vector<std::string> lines;
  std::string line;
  while (file.ReadLine(line, 4478) == ReadOutcome::Line) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a,b\n", "c\n", "\n", "x\ry\x1Az\n", "last"}));
  EXPECT_EQ(file.ReadLine(line, 4478), ReadOutcome::End);
  EXPECT_EQ(file.Close(), StatusOk);
}

TEST_F(TextFileTest, ImportFileIsSharedWithOtherPrograms) {
  const std::string path = PathOf("import.csv");
  WriteBytes(path, "1\r\n");
  // Another program already has it open for writing, sharing it.
  HANDLE editor =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(editor, INVALID_HANDLE_VALUE);
  TextFile file;
  ASSERT_EQ(OpenTextFile(file, TextFileMode::Read, path), StatusOk);
  EXPECT_TRUE(OtherProgramOpens(path, GENERIC_WRITE));
  std::string line;
  EXPECT_EQ(file.ReadLine(line, 4478), ReadOutcome::Line);
  EXPECT_EQ(line, "1\n");
  EXPECT_EQ(file.Write("x"), StatusFailed) << "the import file is read-only";
  CloseHandle(editor);
}

TEST_F(TextFileTest, MissingImportFileAndBadPathsFail) {
  TextFile file;
  EXPECT_EQ(OpenTextFile(file, TextFileMode::Read, PathOf("import.csv")), StatusFailed);
  EXPECT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, PathOf("no-such-folder\\x.csv")),
            StatusFailed);
  EXPECT_EQ(OpenTextFile(file, TextFileMode::CreateWrite, PathOf("a") + std::string(1, '\0')),
            StatusFailed);
  EXPECT_FALSE(file.IsOpen());
}

// Paths go to the wide calls in the long form, whatever the folder value
// looks like: a drive path, one ending in a backslash (the doubled one
// collapses), forward slashes, a share, a relative path.
TEST(SystemPath, TheLongFormOfEveryFolderValue) {
  EXPECT_EQ(ToSystemPath("C:\\Data\\KestrelDB.csv"), L"\\\\?\\C:\\Data\\KestrelDB.csv");
  EXPECT_EQ(ToSystemPath("C:\\Data\\\\KestrelDB.csv"), L"\\\\?\\C:\\Data\\KestrelDB.csv");
  EXPECT_EQ(ToSystemPath("C:/Data/history"), L"\\\\?\\C:\\Data\\history");
  EXPECT_EQ(ToSystemPath("\\\\server\\share\\Plans\\\\a.csv"),
            L"\\\\?\\UNC\\server\\share\\Plans\\a.csv");
  EXPECT_EQ(ToSystemPath("C:\\Data\\sub\\..\\a.csv"), L"\\\\?\\C:\\Data\\a.csv");
  // A name ending in dots or spaces is kept as it is, not trimmed.
  EXPECT_EQ(ToSystemPath("C:\\Data\\_AUX..csv"), L"\\\\?\\C:\\Data\\_AUX..csv");
  const std::wstring relative = ToSystemPath("plans\\a.csv");
  EXPECT_EQ(relative.substr(0, 4), L"\\\\?\\");
  EXPECT_EQ(relative.substr(relative.size() - 13), L"\\plans\\a.csv");
  EXPECT_EQ(SystemPathText(L"\\\\?\\UNC\\server\\share\\a.csv"), "\\\\server\\share\\a.csv");
  EXPECT_EQ(ToSystemPath(""), L"");
}

}  // namespace
}  // namespace kestrel
