// SPDX-License-Identifier: MIT
// kestrel-csv show: the task records of one Palm database file in the backup
// form, as a sync would write its backup file: the header and a line break,
// then each live record's line with a line break before every one whose
// record index is not 0. Records are read into one record buffer kept from
// record to record, as the handheld fills it, and formatted by the
// conduit's own formatter.
#include <cstring>
#include <span>

#include "handheld/record_buffer.h"
#include "handheld_folder/pdb_file.h"
#include "record/task_record.h"
#include "tools/csv/kestrel_csv.h"
#include "tools/csv/kestrel_csv_commands.h"
#include "tools/csv/kestrel_csv_plan.h"
#include "transfer/passes.h"

namespace kestrel::cli {
namespace {

// A four-character code as its characters, escaped for a message.
std::string CodeText(std::uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) text += static_cast<char>((code >> shift) & 0xFF);
  return "\"" + EscapeForMessage(text) + "\"";
}

// The backup text of the records; false, having said why, at a record
// larger than the record buffer, where a sync's backup stops too.
bool BackupText(const CsvRun& run, const host::Database& db, std::string* text) {
  RecordTransfer transfer{};
  const RecordBuffer buffer(transfer, kRecordBufferSize);
  text->append(kBackupHeader).push_back('\n');
  for (std::size_t index = 0; index < db.records.size(); ++index) {
    const host::Record& record = db.records[index];
    if (record.data.size() > transfer.bufferCapacity) {
      run.Refuse("record " + std::to_string(index) + " is larger than " +
                 std::to_string(transfer.bufferCapacity) +
                 " bytes, where a sync's backup stops too: the records after it are not shown");
      return false;
    }
    if (!record.data.empty()) std::memcpy(buffer.Data(), record.data.data(), record.data.size());
    transfer.recordIndex = static_cast<std::uint16_t>(index);
    transfer.recordSize = static_cast<std::uint32_t>(record.data.size());
    transfer.attributes = record.attributes & 0xF0;
    const std::size_t before = text->size();
    if (index != 0) text->push_back('\n');
    if (AppendTaskLine(transfer, *text) != 0) text->resize(before);
  }
  return true;
}

}  // namespace

int RunShow(const CsvRun& run) {
  std::string bytes;
  if (!ReadPlanFile(run, &bytes)) return kCsvExitError;
  std::string error;
  const std::optional<host::Database> db = handheld_folder::LoadPdb(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), &error);
  if (!db) {
    run.Refuse("not a Palm database file: " + EscapeForMessage(error));
    return kCsvExitError;
  }
  if (db->type != kTypeData || db->creator != kCreatorTkpl || db->IsResourceDb()) {
    run.Refuse("not a task database: type " + CodeText(db->type) + ", creator " +
               CodeText(db->creator) + (db->IsResourceDb() ? ", a resource database" : "") +
               "; a sync backs up only record databases of type \"Data\", creator \"Tkpl\"");
    return kCsvExitWarnings;
  }
  std::string text;
  const bool whole = BackupText(run, *db, &text);
  run.out << run.ToDesktop(text);
  return whole ? kCsvExitClean : kCsvExitWarnings;
}

}  // namespace kestrel::cli
