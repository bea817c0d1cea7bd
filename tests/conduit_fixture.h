// SPDX-License-Identifier: MIT
// What the conduit tests share: a simulated handheld attached for the test,
// a temporary data folder named by the registry, builders for task records,
// and the log entries the conduit writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "handheld/sync_services.h"
#include "host/handheld.h"

namespace kestrel::host {
void PrintTo(const LogEntry& entry, std::ostream* out);
}  // namespace kestrel::host

namespace kestrel::testing {

// The 74 bytes of a task record. Dates are year, month, day.
struct Task {
  int id = 1;
  int startYear = 1998, startMonth = 4, startDay = 13;
  int duration = 5;
  int finishYear = 1998, finishMonth = 4, finishDay = 17;
  int predecessor = 0;
  int percent = 0;
  std::string name = "Design";
  std::string resources = "Bob";
};
std::vector<std::uint8_t> TaskBytes(const Task& task);

// A live and a deleted record holding `bytes`.
host::Record Live(std::vector<std::uint8_t> bytes);
host::Record Deleted(std::vector<std::uint8_t> bytes);

// The record bytes of each record, in order.
std::vector<std::vector<std::uint8_t>> RecordData(const host::Database& db);

// The log entries of the conduit.
inline const host::LogEntry kStarted{LogSyncStarted, ""};
inline const host::LogEntry kFinished{LogSyncFinished, "Kestrelplan"};
inline const host::LogEntry kTransferred{LogText, "\tImport.csv transferred to Kestrelplan"};
inline const host::LogEntry kCannotCreate{LogFailure, "\tImport project cannot be created"};
inline const host::LogEntry kOutOfMemory{LogFailure,
                                         "\tError: Failed to allocate enough PC memory"};
inline const host::LogEntry kNotBackedUp{
    LogFailure, "\tError: KestrelDB not backed up; Import.csv not transferred"};
inline const host::LogEntry kSkippedLine{LogText, "\tError: Skipping a line in Import.csv"};
inline const host::LogEntry kClearFailed{LogClearFailed,
                                         "Could not clear the database on the PalmPilot."};

inline constexpr char kHeader[] =
    "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names";

// How HistoryFiles() shows what is not a file.
inline constexpr char kFolderEntry[] = "<folder>";
inline constexpr char kLinkEntry[] = "<link>";

// The sync clock of every test: 2026-12-11 13:21:03 UTC, whose generations
// are named "20261211-132103"; a test may set another (SetSyncClock).
inline constexpr std::int64_t kTestSyncTime = 1796995263;
inline constexpr char kTestGeneration[] = "20261211-132103";

// The line break of text files on this system.
#ifdef _WIN32
inline constexpr std::string_view kLineBreak = "\r\n";
#else
inline constexpr std::string_view kLineBreak = "\n";
#endif

// The lines joined by line breaks, none after the last.
std::string Joined(std::initializer_list<std::string_view> lines);

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A handheld, a data folder named by the registry and the run between them.
// Public, so that the cases of a table can set a test up.
class ConduitTest : public ::testing::Test {
 public:
  ConduitTest();
  ~ConduitTest() override;

  // The registry names `folder` as the data folder (by default the test's
  // own temporary folder), or names none.
  void UseDataFolder(const std::string& folder);
  void UseNoDataFolder();

  // Adds a database to the handheld; a task database unless told otherwise.
  host::Database& AddDatabase(const std::string& name, std::vector<host::Record> records = {},
                              std::uint32_t type = kTypeData, std::uint32_t creator = kCreatorTkpl);

  // Calls OpenConduit with the handheld attached.
  Status Run();

  // Calls of a host operation since the test began.
  long Calls(host::Operation op) const;

  // Files in the data folder.
  std::filesystem::path FilePath(const std::string& name) const;
  void WriteFile(const std::string& name, std::string_view bytes) const;
  std::string ReadFile(const std::string& name) const;
  // The names in the data folder, sorted; the history folder, which the
  // backup-history tests look into, is left out.
  std::vector<std::string> FileNames() const;
  // Everything under the data folder's history/, by path below it with "/"
  // between the parts ("backups/KestrelDB/20261211-132103.csv"): a file's
  // bytes, or kFolderEntry for a folder and kLinkEntry for a link; a file
  // at history itself is "".
  std::map<std::string, std::string> HistoryFiles() const;

  host::Handheld handheld;
  TempFolder temp;
  std::string folder;  // temp.Path() as text

 private:
  long callsBefore_[host::kOperationCount] = {};
};

}  // namespace kestrel::testing
