// SPDX-License-Identifier: MIT
#include "tests/conduit_fixture.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "driver/conduit.h"
#include "driver/sync_report.h"
#include "host/select_registry.h"
#include "record/task_record.h"
#include "tests/fault_plan.h"
#include "tests/test_constants.h"

namespace kestrel::host {
void PrintTo(const LogEntry& entry, std::ostream* out) {
  *out << "{" << entry.activity << ", \"";
  for (char c : entry.text) {
    if (c == '\t') {
      *out << "\\t";
    } else {
      *out << c;
    }
  }
  *out << "\"}";
}
}  // namespace kestrel::host

namespace kestrel::testing {
namespace fs = std::filesystem;

std::vector<std::uint8_t> TaskBytes(const Task& task) {
  std::vector<std::uint8_t> bytes(kTaskRecordSize, 0);
  bytes[0] = static_cast<std::uint8_t>(task.id);
  StoreField16(&bytes[2], PackedDate::Pack(task.startYear, task.startMonth, task.startDay).value);
  StoreField16(&bytes[4], static_cast<std::uint16_t>(task.duration));
  StoreField16(&bytes[6],
               PackedDate::Pack(task.finishYear, task.finishMonth, task.finishDay).value);
  bytes[8] = static_cast<std::uint8_t>(task.predecessor);
  bytes[9] = static_cast<std::uint8_t>(task.percent);
  std::copy_n(task.name.begin(), std::min<std::size_t>(task.name.size(), 31), &bytes[10]);
  std::copy_n(task.resources.begin(), std::min<std::size_t>(task.resources.size(), 31), &bytes[42]);
  return bytes;
}

host::Record Live(std::vector<std::uint8_t> bytes) {
  host::Record record;
  record.data = std::move(bytes);
  return record;
}

host::Record Deleted(std::vector<std::uint8_t> bytes) {
  host::Record record = Live(std::move(bytes));
  record.attributes = kRecordDeleted;
  return record;
}

std::vector<std::vector<std::uint8_t>> RecordData(const host::Database& db) {
  std::vector<std::vector<std::uint8_t>> data;
  for (const auto& record : db.records) data.push_back(record.data);
  return data;
}

std::string Joined(std::initializer_list<std::string_view> lines) {
  std::string text;
  bool first = true;
  for (std::string_view line : lines) {
    if (!first) text += kLineBreak;
    text += line;
    first = false;
  }
  return text;
}

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  for (;;) {
    path_ = fs::temp_directory_path() /
            ("kestrel-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    if (fs::create_directory(path_)) break;
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

namespace {
std::int64_t TestClock() { return kTestSyncTime; }
}  // namespace

ConduitTest::ConduitTest() : folder(temp.Path().string()) {
  UseDataFolder(folder);
  SetSyncClock(&TestClock);
  for (int op = 0; op < host::kOperationCount; ++op) {
    callsBefore_[op] = Faults().Calls(HostFault(host::Operation(op)));
  }
}

ConduitTest::~ConduitTest() {
  // A fault armed by the test never reaches the next one.
  Faults().Clear();
  SelectRegistry(std::nullopt);
  SetSyncClock(nullptr);
  SetBackupNameConversion({});
}

long ConduitTest::Calls(host::Operation op) const {
  return Faults().Calls(HostFault(op)) - callsBefore_[int(op)];
}

void ConduitTest::UseDataFolder(const std::string& dataFolder) {
  RegistryHive hive;
  hive.Set(kMachineDataFolderKey, kDataFolderValueName, dataFolder);
  SelectRegistry(std::move(hive));
}

void ConduitTest::UseNoDataFolder() { SelectRegistry(std::nullopt); }

host::Database& ConduitTest::AddDatabase(const std::string& name, std::vector<host::Record> records,
                                         std::uint32_t type, std::uint32_t creator) {
  host::Database db;
  db.name = name;
  db.type = type;
  db.creator = creator;
  db.records = std::move(records);
  return handheld.Add(std::move(db));
}

Status ConduitTest::Run() {
  host::AttachScope attached(handheld);
  return OpenConduit(nullptr, nullptr);
}

fs::path ConduitTest::FilePath(const std::string& name) const { return temp.Path() / name; }

void ConduitTest::WriteFile(const std::string& name, std::string_view bytes) const {
  std::ofstream out(FilePath(name), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << name;
}

std::string ConduitTest::ReadFile(const std::string& name) const {
  std::ifstream in(FilePath(name), std::ios::binary);
  EXPECT_TRUE(in.good()) << name << " cannot be read";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> ConduitTest::FileNames() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(temp.Path())) {
    if (entry.path().filename() != "history") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, std::string> ConduitTest::HistoryFiles() const {
  std::map<std::string, std::string> files;
  const fs::path history = temp.Path() / "history";
  if (!fs::exists(fs::symlink_status(history))) return files;
  if (!fs::is_directory(history)) {
    std::ifstream in(history, std::ios::binary);
    files[""] = std::string(std::istreambuf_iterator<char>(in), {});
    return files;
  }
  for (const auto& entry : fs::recursive_directory_iterator(history)) {
    const std::string name = entry.path().lexically_relative(history).generic_string();
    if (entry.is_symlink()) {
      files[name] = kLinkEntry;
    } else if (entry.is_directory()) {
      files[name] = kFolderEntry;
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      files[name] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return files;
}

}  // namespace kestrel::testing
