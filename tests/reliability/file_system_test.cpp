// SPDX-License-Identifier: MIT
// What stands in the data folder, as a user or an attacker may leave it,
// through the kestrel-sync command on the sample handheld: a link or a FIFO
// where a backup goes, a FIFO as the import file, a disk that fills up while
// earlier backups are there, and the new file of a sync that was killed
// before its rename. Backups are written to a new file and renamed into
// place: nothing is ever written through a link, nothing waits on a FIFO,
// and a backup that cannot be completed leaves the previous one whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/conduit_fixture.h"
#include "tests/reliability/run_command.h"
#include "tests/reliability/test_files.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;
using Snapshot = std::map<std::string, std::string>;  // file name -> bytes or kind


// Every entry of a folder: a regular file's bytes, else what it is.
Snapshot Snap(const fs::path& folder) {
  Snapshot files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const fs::file_status status = fs::symlink_status(entry.path());
    std::string& held = files[entry.path().filename().string()];
    if (fs::is_symlink(status)) {
      held = "<link to " + fs::read_symlink(entry.path()).filename().string() + ">";
    } else if (fs::is_fifo(status)) {
      held = "<fifo>";
    } else if (fs::is_directory(status)) {
      held = "<folder>";
    } else {
      held = ReadBytes(entry.path());
    }
  }
  return files;
}

std::string Expected(const std::string& name) { return ReadBytes(kExpected / name); }

const std::string kImportLog =
    "19\t\n-1\t\tError: Skipping a line in Import.csv\n-1\t\tImport.csv transferred to "
    "Kestrelplan\n20\tKestrelplan\n";
const std::string kNoImportLog = "19\t\n20\tKestrelplan\n";
const std::string kNotBackedUpLog =
    "19\t\n21\t\tError: KestrelDB not backed up; Import.csv not transferred\n20\tKestrelplan\n";

struct Folders {
  fs::path handheld;
  fs::path data;
};

struct FileSystemCase {
  const char* name;
  std::function<void(const Folders&)> setUp;
  CommandLimits limits;
  int exitStatus;
  std::string err;  // the one failure line; "<data>" stands for the data folder
  std::string out;
  Snapshot data;          // the data folder afterwards
  bool kestrelDBChanged;  // KestrelDB.pdb refilled; every other handheld file the same
};

void PrintTo(const FileSystemCase& c, std::ostream* out) { *out << c.name; }

void AddImportFile(const Folders& f) {
  fs::copy_file(kRoot / "samples" / "import.csv", f.data / "import.csv");
}

const std::string kPrevious = "the previous backup\r\n";

const FileSystemCase kCases[] = {
    // A link where a backup goes, to a handheld database: replaced by the
    // backup itself, and the database it pointed at is left alone.
    {"BackupNameIsALinkToAHandheldDatabase",
     [](const Folders& f) {
       AddImportFile(f);
       fs::create_symlink(f.handheld / "MemoDB.pdb", f.data / "Website Relaunch.csv");
     },
     {},
     0,
     "",
     kImportLog,
     Snapshot{{"ImportFromPilot.csv", Expected("ImportFromPilot.csv")},
              {"KestrelDB.csv", Expected("KestrelDB.csv")},
              {"Website Relaunch.csv", Expected("Website Relaunch.csv")},
              {"history", "<folder>"},
              {"import.csv", ReadBytes(kRoot / "samples" / "import.csv")}},
     true},
    // A FIFO where a backup goes is replaced, never opened: no wait.
    {"BackupNameIsAFifo",
     [](const Folders& f) { ASSERT_EQ(::mkfifo((f.data / "KestrelDB.csv").c_str(), 0666), 0); },
     CommandLimits{.fileSize = std::nullopt, .respectPermissions = false, .seconds = 300}, 0, "",
     kNoImportLog,
     Snapshot{{"ImportFromPilot.csv", Expected("ImportFromPilot.csv")},
              {"KestrelDB.csv", Expected("KestrelDB.csv")},
              {"Website Relaunch.csv", Expected("Website Relaunch.csv")}},
     false},
    // A FIFO as the import file is no import file, at once; the command says
    // why the import did not run.
    {"ImportFileIsAFifo",
     [](const Folders& f) { ASSERT_EQ(::mkfifo((f.data / "import.csv").c_str(), 0666), 0); },
     CommandLimits{.fileSize = std::nullopt, .respectPermissions = false, .seconds = 300}, 1,
     "kestrel-sync: the import did not run: <data>/import.csv is not a regular file; conduit "
     "status 1 (0x0001)\n",
     kNoImportLog,
     Snapshot{{"ImportFromPilot.csv", Expected("ImportFromPilot.csv")},
              {"KestrelDB.csv", Expected("KestrelDB.csv")},
              {"Website Relaunch.csv", Expected("Website Relaunch.csv")},
              {"import.csv", "<fifo>"}},
     false},
    // Files may grow to 150 bytes only: the two larger backups cannot be
    // completed and the previous ones stay whole; KestrelDB's is one of them,
    // so KestrelDB is not replaced.
    {"DiskFullKeepsThePreviousBackups",
     [](const Folders& f) {
       AddImportFile(f);
       for (const char* name : {"ImportFromPilot.csv", "KestrelDB.csv", "Website Relaunch.csv"}) {
         WriteBytes(f.data / name, kPrevious);
       }
     },
     CommandLimits{.fileSize = 150}, 1,
     "kestrel-sync: \"KestrelDB\" was not backed up (and 2 more); conduit status 1 (0x0001)\n",
     kNotBackedUpLog,
     Snapshot{{"ImportFromPilot.csv", Expected("ImportFromPilot.csv")},
              {"KestrelDB.csv", kPrevious},
              {"Website Relaunch.csv", kPrevious},
              {"history", "<folder>"},
              {"import.csv", ReadBytes(kRoot / "samples" / "import.csv")}},
     false},
    // The new file of a sync killed before its rename, and a link by that
    // name: neither blocks the next sync, which removes them (the link
    // itself; the database it leads to stays). A user's file whose name
    // ends in ".kestrel-new" is not of their form and stays.
    {"LeftoversOfAKilledSync",
     [](const Folders& f) {
       AddImportFile(f);
       WriteBytes(f.data / "KestrelDB.csv", kPrevious);
       WriteBytes(f.data / "KestrelDB.csv.kestrel-new", "ID,Start,Dur");
       fs::create_symlink(f.handheld / "MemoDB.pdb", f.data / "ImportFromPilot.csv.kestrel-new");
       WriteBytes(f.data / "Website Relaunch.csv.0123456789abcdef.kestrel-backup-new", "ID,St");
       WriteBytes(f.data / "photo.kestrel-new", "a user's photo");
     },
     {},
     0,
     "",
     kImportLog,
     Snapshot{{"ImportFromPilot.csv", Expected("ImportFromPilot.csv")},
              {"KestrelDB.csv", Expected("KestrelDB.csv")},
              {"Website Relaunch.csv", Expected("Website Relaunch.csv")},
              {"photo.kestrel-new", "a user's photo"},
              {"history", "<folder>"},
              {"import.csv", ReadBytes(kRoot / "samples" / "import.csv")}},
     true},
};

class FileSystem : public ::testing::TestWithParam<FileSystemCase> {};

TEST_P(FileSystem, ExitStatusLogAndFolders) {
  const FileSystemCase& c = GetParam();
  TempFolder temp;
  const Folders f{temp.Path() / "handheld", temp.Path() / "data"};
  fs::create_directory(f.handheld);
  fs::create_directory(f.data);
  for (const auto& entry : fs::directory_iterator(kRoot / "samples" / "handheld")) {
    fs::copy_file(entry.path(), f.handheld / entry.path().filename());
  }
  c.setUp(f);
  const Snapshot handheldBefore = Snap(f.handheld);

  const CommandResult result =
      RunCommand(KESTREL_SYNC, {"--quiet", "--data-folder", f.data.string(), f.handheld.string()},
                 c.limits, temp.Path());

  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitStatus, c.exitStatus);
  std::string err = c.err;
  if (const std::size_t at = err.find("<data>"); at != std::string::npos) {
    err.replace(at, 6, f.data.string());
  }
  EXPECT_EQ(result.err, err);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(Snap(f.data), c.data);
  Snapshot handheldAfter = Snap(f.handheld);
  EXPECT_EQ(handheldAfter.at("KestrelDB.pdb") != handheldBefore.at("KestrelDB.pdb"),
            c.kestrelDBChanged);
  handheldAfter["KestrelDB.pdb"] = handheldBefore.at("KestrelDB.pdb");
  EXPECT_EQ(handheldAfter, handheldBefore) << "the handheld folder changed";
}

INSTANTIATE_TEST_SUITE_P(KestrelSync, FileSystem, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::testing
