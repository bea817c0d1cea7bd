// SPDX-License-Identifier: MIT
// kestrel-sync on POSIX: the conduit linked in, the host's eight operations
// answered by host::Handheld on a folder of Palm database files, and the
// registry a hive read from a registry file.
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "driver/conduit.h"
#include "driver/data_folder.h"
#include "driver/file_names.h"
#include "driver/sync_report.h"
#include "handheld_folder/handheld_folder.h"
#include "handheld_folder/handheld_folder_save.h"
#include "host/handheld.h"
#include "host/select_registry.h"
#include "tools/common/charset.h"
#include "tools/sync/charset_files.h"
#include "tools/sync/charset_text_files.h"
#include "tools/sync/host_files.h"
#include "tools/sync/sync_command.h"

namespace host = kestrel::host;
namespace handheld_folder = kestrel::handheld_folder;

namespace {

using namespace kestrel::cli;

class PosixPlatform : public SyncPlatform {
 public:
  PosixPlatform() = default;
  ~PosixPlatform() override {
    kestrel::SetBackupNameConversion({});
    kestrel::SelectRegistry(std::nullopt);
  }
  PosixPlatform(const PosixPlatform&) = delete;
  PosixPlatform& operator=(const PosixPlatform&) = delete;

  OptionSet Offered() const override { return {}; }
  bool CaseSensitiveNames() const override { return true; }
  std::string SystemName() const override { return "Linux"; }

  bool ConduitName(std::string* name, std::string*) override {
    char text[64];
    GetConduitName(text, sizeof text);
    *name = text;
    return true;
  }

  bool ReadSettings(const SyncOptions& options, Settings* settings, std::string* error) override {
    return options.noConfig || LoadSettings(ProcessEnv, settings, error);
  }

  bool Configure(const SyncOptions& options, DataFolderSetting* setting,
                 std::string* error) override {
    const auto source = FindRegistryFile(options, ProcessEnv);
    if (options.dataFolder || (!source && options.configDataFolder)) {
      *setting = options.dataFolder ? SettingFromOption(*options.dataFolder, &hive_)
                                    : SettingFromOption(*options.configDataFolder, &hive_,
                                                        options.configDataFolderSource);
      kestrel::SelectRegistry(hive_);
      return true;
    }
    if (!source) {
      setting->problem =
          "no data folder is configured: no --data-folder, and neither HOME nor "
          "XDG_CONFIG_HOME names a place for the registry file";
      return true;
    }
    // What names the file, when the user may not know: said in every message.
    const std::string namedBy = source->namedBy.empty() ? "" : " (named by " + source->namedBy + ")";
    std::string text;
    bool missing = false;
    if (!ReadRegularFile(source->path, kMaxRegistryFileBytes, &text, error, &missing)) {
      // A registry file that is not there configures no data folder, whether
      // it was named or is the default place; one that cannot be used refuses.
      if (!missing) return Named(namedBy, error);
      setting->problem = "no data folder is configured: no registry file " + source->path +
                         (source->required ? namedBy : " (see --registry and --data-folder)");
      return true;
    }
    kestrel::RegistryParseError parseError;
    auto parsed = kestrel::ParseRegistryFile(text, &parseError);
    if (!parsed) {
      *error = (parseError.line > 0 ? source->path + ":" + std::to_string(parseError.line)
                                    : source->path) +
               ": " + parseError.message;
      return Named(namedBy, error);
    }
    hive_ = std::move(*parsed);
    *setting = SettingFromHive(&hive_, source->path, source->namedBy);
    kestrel::SelectRegistry(hive_);
    return true;
  }

  void RedirectDataFolder(const std::string& folder) override {
    hive_.Set(DataFolderKeyPath(), kestrel::kDataFolderValue, folder);
    kestrel::SelectRegistry(hive_);
  }

  bool UseCharsets(const SyncOptions& options, std::string* error) override {
    const std::string handheld = options.handheldCharset.value_or(kDefaultHandheldCharset);
    CharsetPair pair;
    if (!OpenCharsetPair(*options.charset, handheld, &pair, error)) return false;
    charsetFiles_ = std::make_unique<CharsetFiles>(std::move(pair), *options.charset, handheld);
    charsetScope_ = std::make_unique<CharsetTextFileScope>(*charsetFiles_);
    // Backup names are told apart as they are written, in the desktop's set.
    kestrel::SetBackupNameConversion(
        [files = charsetFiles_.get()](std::string_view stem) { return files->DesktopName(stem); });
    return true;
  }

  std::vector<std::string> CharsetSummary() override {
    return charsetFiles_ ? charsetFiles_->SummaryLines() : std::vector<std::string>{};
  }

  bool LoadHandheld(const std::string& folder, std::uint32_t clock, std::string* error) override {
    folder_ = folder;
    // Every file is checked now, but a database's records are read only while
    // it is open, so memory holds one database at a time, not the whole folder.
    if (!handheld_folder::LoadHandheldFolder(folder, handheld_, error, lateErrors_)) return false;
    handheld_.clock = clock;
    noPalmFiles_ = handheld_.slots.empty();
    return true;
  }

  bool NoPalmFiles() override { return noPalmFiles_; }

  const kestrel::SyncReport* ConduitReport() override { return &kestrel::LastSyncReport(); }

  std::vector<DatabaseListing> Databases(bool countRecords) override {
    std::vector<DatabaseListing> listed;
    for (const auto& slot : handheld_.slots) {
      DatabaseListing db{slot.fileName, slot.db.name, slot.db.type, slot.db.creator,
                         slot.db.attributes};
      if (countRecords) CountRecords(slot, db);
      listed.push_back(std::move(db));
    }
    return listed;
  }

  void Watch(host::OperationObserver observer) override {
    handheld_.observer = std::move(observer);
    handheld_.observeFailedReadsOnly = true;
  }

  Status RunConduit() override {
    host::AttachScope attached(handheld_);
    return OpenConduit(nullptr, nullptr);
  }

  std::vector<std::pair<std::int32_t, std::string>> SyncLog() override {
    std::vector<std::pair<std::int32_t, std::string>> entries;
    for (const auto& entry : handheld_.log) entries.emplace_back(entry.activity, entry.text);
    return entries;
  }

  std::string LateError() override { return lateErrors_->empty() ? "" : lateErrors_->front(); }

  std::vector<std::string> ChangedDatabases() override {
    std::vector<std::string> names;
    for (const auto& slot : handheld_.slots) {
      if (slot.changed) names.push_back("\"" + slot.db.name + "\"");
    }
    return names;
  }

  std::vector<std::vector<std::uint8_t>> LiveRecords(const std::string& database) override {
    std::vector<std::vector<std::uint8_t>> records;
    if (const host::Slot* slot = handheld_.Find(database)) {
      EachRecord(*slot, [&records](std::uint8_t attributes, std::span<const std::uint8_t> data) {
        if ((attributes & kRecordDeleted) == 0) records.emplace_back(data.begin(), data.end());
      });
    }
    return records;
  }

  bool SaveHandheld(std::vector<SavedFile>* saved, std::string* error) override {
    std::vector<std::pair<const host::Slot*, bool>> changed;
    for (const auto& slot : handheld_.slots) {
      if (slot.changed) changed.emplace_back(&slot, slot.fileName.empty());
    }
    if (!handheld_folder::SaveHandheldFolder(folder_, handheld_, kestrel::BackupStem, error))
      return false;
    for (const auto& [slot, created] : changed) saved->push_back({slot->fileName, created});
    return true;
  }

 private:
  static bool Named(const std::string& namedBy, std::string* error) {
    *error += namedBy;
    return false;
  }

  // Live and deleted records of a slot, read from its file one database at
  // a time when they are kept there.
  static void CountRecords(const host::Slot& slot, DatabaseListing& db) {
    if (slot.db.IsResourceDb()) return;  // resources are not records
    db.counted = EachRecord(slot, [&db](std::uint8_t attributes, std::span<const std::uint8_t>) {
      ((attributes & kRecordDeleted) != 0 ? db.deleted : db.live) += 1;
    });
  }

  // Calls `visit` with the attributes and data of each record of a slot,
  // wherever they are kept; false when they could not be read.
  template <typename Visit>
  static bool EachRecord(const host::Slot& slot, Visit visit) {
    if (slot.image) {
      for (const auto& record : slot.image->records) visit(record.attributes, slot.image->Data(record));
      return true;
    }
    if (slot.source) {
      host::RecordImage image;
      if (slot.source(slot.db, image) != StatusOk) return false;
      for (const auto& record : image.records) visit(record.attributes, image.Data(record));
      return true;
    }
    for (const auto& record : slot.db.records) visit(record.attributes, record.data);
    return true;
  }

  kestrel::RegistryHive hive_;
  // With --charset: the conversions, and their place in front of the text
  // files' system calls (gone before the conversions are).
  std::unique_ptr<CharsetFiles> charsetFiles_;
  std::unique_ptr<CharsetTextFileScope> charsetScope_;
  std::string folder_;
  bool noPalmFiles_ = false;
  host::Handheld handheld_;
  std::shared_ptr<std::vector<std::string>> lateErrors_ =
      std::make_shared<std::vector<std::string>>();
};

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe on standard output is a sync log that cannot be written,
  // reported as such, not a reason to die.
  std::signal(SIGPIPE, SIG_IGN);
  PosixPlatform platform;
  return RunSyncCommand(std::vector<std::string>(argv + 1, argv + argc), platform);
}
