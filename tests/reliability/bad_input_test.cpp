// SPDX-License-Identifier: MIT
// Bad input as a user meets it, through the kestrel-sync command: folders and
// files that are missing, unreadable or in the way, hostile import
// files and registry files, and a disk that fills up. Each case has its exact
// exit status, standard error and sync log, and checks that nothing in the
// handheld folder or the data folder changed that the sync should not have
// changed. Every case starts from the sample handheld of samples/. Damaged
// Palm database files are tools/sync/tests/malformed_test.pl's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "handheld_folder/pdb_file.h"
#include "tests/conduit_fixture.h"
#include "tests/reliability/run_command.h"
#include "tests/reliability/test_files.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;
using Snapshot = std::map<std::string, std::string>;  // file name -> bytes
using Records = std::vector<std::vector<std::uint8_t>>;

const fs::path kSampleHandheld = kRoot / "samples" / "handheld";
constexpr char kFolderMark[] = "<folder>";

// Every entry of a folder; a folder inside it is marked, not entered.
Snapshot Snap(const fs::path& folder) {
  Snapshot files;
  if (!fs::is_directory(folder)) return files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    files[name] = entry.is_directory() ? kFolderMark : ReadBytes(entry.path());
  }
  return files;
}

// The three backups of the sample handheld, as the main job writes them.
Snapshot SampleBackups() {
  Snapshot files;
  for (const char* name : {"ImportFromPilot.csv", "KestrelDB.csv", "Website Relaunch.csv"}) {
    files[name] = ReadBytes(kExpected / name);
  }
  return files;
}

Snapshot Merged(Snapshot a, const Snapshot& b) {
  for (const auto& [name, bytes] : b) a[name] = bytes;
  return a;
}

// The folders of one case.
struct Folders {
  fs::path dir;       // the case's own folder
  fs::path handheld;  // a copy of the sample handheld
  fs::path data;      // the data folder, empty at the start
  std::string Hh(const std::string& name) const { return (handheld / name).string(); }
};

// Without the summary: the cases here check the one line that says what
// failed (the summary has tests of its own).
std::vector<std::string> Default(const Folders& f) {
  return {"--quiet", "--data-folder", f.data.string(), f.handheld.string()};
}

const std::string kLogNoImport = "19\t\n20\tKestrelplan\n";
const std::string kSkipped = "-1\t\tError: Skipping a line in Import.csv\n";
const std::string kTransferred = "-1\t\tImport.csv transferred to Kestrelplan\n";
const std::string kLogNotBackedUp =
    "19\t\n21\t\tError: KestrelDB not backed up; Import.csv not transferred\n20\tKestrelplan\n";

std::string LogOfImport(int skipped) {
  std::string log = "19\t\n";
  for (int i = 0; i < skipped; ++i) log += kSkipped;
  return log + kTransferred + "20\tKestrelplan\n";
}

// Lines of every kind of byte: two become records (IDs 0 and 9), four are
// rejected (no comma; a leading comma; 3000 bytes without a comma; an ID
// followed by seven commas).
std::string BinaryGarbage() {
  std::string text("\x00\x01\x02,\xff\xfe\xfd\x80 1/2/3,\x7f days,\xc3\xa9 \x00/\x00/\x00,", 28);
  text += std::string("\x01,\x02%,\x1b[31m,\x07\n", 13);
  text += std::string("\xde\xad\xbe\xef\x00\x00\x00\x00\r\n", 10);
  text += ",\x01\x02\x03\n";
  std::uint32_t state = 12345;
  for (int i = 0; i < 3000; ++i) {
    state = state * 1103515245u + 12345u;
    char c = static_cast<char>(state >> 16);
    if (c == '\n' || c == ',') c = '\x7f';
    text += c;
  }
  text += '\n';
  text += std::string("\x00,,,,,,,\n", 9);
  text += std::string("9\x00,\x00", 4);
  return text;
}

constexpr char kLongLineStart[] = "1,Mon 4/13/98,5 days,Fri 4/17/98,,0%,Design,Bob";

struct BadInputCase {
  const char* name;
  std::function<void(const Folders&)> setUp;  // damage or add to the folders
  // Made unreadable (mode 000) or read-only (0555) for the run only.
  std::optional<std::pair<std::string, fs::perms>> lock;
  std::function<std::vector<std::string>(const Folders&)> args;
  CommandLimits limits;
  int exitStatus;
  std::function<std::string(const Folders&)> err;
  std::string out;  // the sync log
  // The data folder afterwards, from what it held before the run.
  std::function<Snapshot(const Snapshot&)> data;
  // When the sync changed KestrelDB.pdb: checks its records. Every other
  // file of the handheld folder must be unchanged.
  std::function<void(const Records&)> kestrelDB = nullptr;
};

// KestrelDB holds exactly these records.
auto KestrelDBIs(Records expected) {
  return [expected](const Records& records) { EXPECT_EQ(records, expected); };
}

auto Unchanged() {
  return [](const Snapshot& before) { return before; };
}
auto WithBackups() {
  return [](const Snapshot& before) { return Merged(before, SampleBackups()); };
}
// And the history folder, which keeps the import file that was imported.
auto WithBackupsAndHistory() {
  return [](const Snapshot& before) {
    Snapshot files = Merged(before, SampleBackups());
    files["history"] = kFolderMark;
    return files;
  };
}
auto ErrorIs(std::string text) {
  return [text](const Folders&) { return text; };
}

const BadInputCase kCases[] = {
    {"HandheldFolderMissing",
     nullptr,
     std::nullopt,
     [](const Folders& f) {
       return std::vector<std::string>{"--data-folder", f.data.string(),
                                       (f.dir / "nowhere").string()};
     },
     {},
     2,
     [](const Folders& f) {
       return "kestrel-sync: " + (f.dir / "nowhere").string() + ": no such folder\n";
     },
     "",
     Unchanged()},
    {"HandheldFolderIsAFile",
     [](const Folders& f) { WriteBytes(f.dir / "handheld.pdb", "x"); },
     std::nullopt,
     [](const Folders& f) {
       return std::vector<std::string>{"--data-folder", f.data.string(),
                                       (f.dir / "handheld.pdb").string()};
     },
     {},
     2,
     [](const Folders& f) {
       return "kestrel-sync: " + (f.dir / "handheld.pdb").string() + ": not a folder\n";
     },
     "",
     Unchanged()},
    {"HandheldFolderUnreadable",
     nullptr,
     std::pair{"handheld", fs::perms::none},
     Default,
     {},
     2,
     [](const Folders& f) {
       return "kestrel-sync: " + f.handheld.string() +
              ": cannot read the folder: Permission denied\n";
     },
     "",
     Unchanged()},
    {"DatabaseFileUnreadable",
     nullptr,
     std::pair{"handheld/Website.pdb", fs::perms::none},
     Default,
     {},
     2,
     [](const Folders& f) {
       return "kestrel-sync: " + f.Hh("Website.pdb") + ": cannot read: Permission denied\n";
     },
     "",
     Unchanged()},
    {"DataFolderMissing",
     nullptr,
     std::nullopt,
     [](const Folders& f) {
       return std::vector<std::string>{"--quiet", "--data-folder", (f.dir / "nowhere").string(),
                                       f.handheld.string()};
     },
     {},
     1,
     [](const Folders& f) {
       return "kestrel-sync: the data folder " + (f.dir / "nowhere").string() +
              " does not exist; conduit status 1 (0x0001)\n";
     },
     kLogNoImport,
     Unchanged()},
    // The backups cannot be written; KestrelDB, whose records would then be
    // in no file, is not replaced, and the failure is the result.
    {"DataFolderReadOnly",
     [](const Folders& f) {
       fs::copy_file(kRoot / "samples" / "import.csv", f.data / "import.csv");
     },
     std::pair{"data", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec},
     Default,
     {},
     1,
     ErrorIs("kestrel-sync: \"Import\" was not backed up (and 3 more); conduit status 1 "
             "(0x0001)\n"),
     kLogNotBackedUp,
     Unchanged()},
    {"BackupFileInTheWayIsAFolder",
     [](const Folders& f) { fs::create_directory(f.data / "Website Relaunch.csv"); },
     std::nullopt,
     Default,
     {},
     1,
     ErrorIs("kestrel-sync: \"Website Relaunch\" was not backed up; conduit status 1 (0x0001)\n"),
     kLogNoImport,
     [](const Snapshot& before) {
       Snapshot after = Merged(before, SampleBackups());
       after["Website Relaunch.csv"] = kFolderMark;
       return after;
     }},
    {"ImportFileIsAFolder",
     [](const Folders& f) { fs::create_directory(f.data / "import.csv"); },
     std::nullopt,
     Default,
     {},
     1,
     [](const Folders& f) {
       return "kestrel-sync: the import did not run: " + (f.data / "import.csv").string() +
              " is not a regular file; conduit status 1 (0x0001)\n";
     },
     kLogNoImport,
     WithBackups()},
    {"ImportFileOfBinaryGarbage",
     [](const Folders& f) { WriteBytes(f.data / "import.csv", BinaryGarbage()); },
     std::nullopt,
     Default,
     {},
     0,
     ErrorIs(""),
     LogOfImport(4),
     WithBackupsAndHistory(),
     [](const Records& records) {
       ASSERT_EQ(records.size(), 2u);
       EXPECT_EQ(records[0].size(), 74u);
       EXPECT_EQ(records[0][0], 0);  // the ID "\x00\x01\x02" reads as 0
       EXPECT_EQ(records[1].size(), 74u);
       EXPECT_EQ(records[1][0], 9);
     }},
    {"ImportFileOfOneTenMegabyteLine",
     [](const Folders& f) {
       WriteBytes(f.data / "import.csv", kLongLineStart + std::string(10 << 20, 'x'));
     },
     std::nullopt,
     Default,
     {},
     0,
     ErrorIs(""),
     LogOfImport(99),
     WithBackupsAndHistory(),
     KestrelDBIs({TaskBytes({.resources = "Bob" + std::string(28, 'x')})})},
    {"RegistryFileMalformed",
     [](const Folders& f) {
       WriteBytes(
           f.dir / "bad.reg",
           "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\n\"Kestrelplan Path\"=\"/x\"\n");
     },
     std::nullopt,
     [](const Folders& f) {
       return std::vector<std::string>{"--registry", (f.dir / "bad.reg").string(),
                                       f.handheld.string()};
     },
     {},
     2,
     [](const Folders& f) {
       return "kestrel-sync: " + (f.dir / "bad.reg").string() +
              ":3: key line without a closing \"]\"\n";
     },
     "",
     Unchanged()},
    // A data folder of more than 254 characters is not read: no file is
    // written or read, nothing on the handheld changes, and the command says
    // why.
    {"RegistryValueOverLong",
     [](const Folders& f) {
       fs::copy_file(kRoot / "samples" / "import.csv", f.data / "import.csv");
       const std::string folder = f.data.string() + "/" + std::string(300, 'd');
       WriteBytes(f.dir / "long.reg",
                  "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n"
                  "\"Kestrelplan Path\"=\"" +
                      folder + "\"\n");
     },
     std::nullopt,
     [](const Folders& f) {
       return std::vector<std::string>{"--quiet", "--registry", (f.dir / "long.reg").string(),
                                       f.handheld.string()};
     },
     {},
     1,
     [](const Folders& f) {
       return "kestrel-sync: " + (f.dir / "long.reg").string() +
              ": the value \"Kestrelplan Path\" is " +
              std::to_string(f.data.string().size() + 301) +
              " characters long; the conduit reads at most 254; conduit status 0 (0x0000)\n";
     },
     kLogNoImport,
     Unchanged()},
    // Files may grow to 150 bytes only: the one backup smaller than that is
    // written, the two larger ones fail and leave no file; KestrelDB's is one
    // of them, so KestrelDB is not replaced and the handheld folder stays as
    // it was.
    {"DiskFullDuringBackup",
     [](const Folders& f) {
       fs::copy_file(kRoot / "samples" / "import.csv", f.data / "import.csv");
     },
     std::nullopt, Default, CommandLimits{.fileSize = 150}, 1,
     ErrorIs("kestrel-sync: \"KestrelDB\" was not backed up (and 2 more); conduit status 1 "
             "(0x0001)\n"),
     kLogNotBackedUp,
     [](const Snapshot& before) {
       Snapshot after = before;
       after["ImportFromPilot.csv"] = SampleBackups().at("ImportFromPilot.csv");
       return after;
     }},
    // Files may grow to 300 bytes only: every backup is written, but saving
    // the refilled KestrelDB fails, so the handheld folder stays as it was.
    {"DiskFullDuringSave",
     [](const Folders& f) {
       fs::copy_file(kRoot / "samples" / "import.csv", f.data / "import.csv");
     },
     std::nullopt, Default, CommandLimits{.fileSize = 300}, 2,
     [](const Folders& f) {
       return "kestrel-sync: " + f.Hh("KestrelDB.pdb") +
              ": cannot write the new file: File too large\n";
     },
     LogOfImport(1), WithBackupsAndHistory()},
};

std::optional<Records> LoadRecords(const fs::path& file) {
  const std::string bytes = ReadBytes(file);
  const auto db =
      handheld_folder::LoadPdb(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), nullptr);
  if (!db) return std::nullopt;
  return RecordData(*db);
}

void PrintTo(const BadInputCase& c, std::ostream* out) { *out << c.name; }

class BadInput : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInput, ExitStatusMessagesAndFolders) {
  const BadInputCase& c = GetParam();
  TempFolder temp;
  const Folders f{temp.Path(), temp.Path() / "handheld", temp.Path() / "data"};
  fs::create_directory(f.handheld);
  fs::create_directory(f.data);
  for (const auto& entry : fs::directory_iterator(kSampleHandheld)) {
    fs::copy_file(entry.path(), f.handheld / entry.path().filename());
  }
  if (c.setUp) c.setUp(f);
  const Snapshot handheldBefore = Snap(f.handheld);
  const Snapshot dataBefore = Snap(f.data);

  CommandLimits limits = c.limits;
  if (c.lock) {
    if (!PermissionsCanBeRespected(f.dir)) GTEST_SKIP() << "file permissions cannot be enforced";
    fs::permissions(f.dir / c.lock->first, c.lock->second);
    limits.respectPermissions = true;
  }
  const CommandResult result = RunCommand(KESTREL_SYNC, c.args(f), limits, f.dir);
  if (c.lock) fs::permissions(f.dir / c.lock->first, fs::perms::owner_all);

  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitStatus, c.exitStatus);
  EXPECT_EQ(result.err, c.err(f));
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(Snap(f.data), c.data(dataBefore));

  Snapshot handheldAfter = Snap(f.handheld);
  if (c.kestrelDB) {
    const std::optional<Records> records = LoadRecords(f.handheld / "KestrelDB.pdb");
    ASSERT_TRUE(records.has_value()) << "KestrelDB.pdb does not load";
    c.kestrelDB(*records);
    handheldAfter["KestrelDB.pdb"] = handheldBefore.at("KestrelDB.pdb");
  }
  EXPECT_EQ(handheldAfter, handheldBefore) << "the handheld folder changed";
}

INSTANTIATE_TEST_SUITE_P(KestrelSync, BadInput, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::testing
