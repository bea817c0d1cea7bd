// SPDX-License-Identifier: MIT
#include "tools/csv/kestrel_csv_plan.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "handheld/record_buffer.h"
#include "record/task_record.h"
#include "tools/csv/kestrel_csv.h"
#include "tools/csv/kestrel_csv_input.h"
#include "tools/csv/plan/backup_plan.h"
#include "tools/csv/plan/chart_svg.h"
#include "tools/csv/plan/import_writer.h"
#include "tools/csv/plan/project_plan.h"
#include "tools/csv/plan/project_xml_writer.h"
#include "tools/csv/plan/spreadsheet_csv.h"
#include "tools/csv/plan/xml_tree.h"
#include "transfer/import_lines.h"
#include "transfer/passes.h"

namespace kestrel::cli {
namespace {

// The character set the CSV forms are in: --charset, else the handheld's.
const std::string& CsvCharset(const CsvRun& run) {
  return run.charsetName.empty() ? run.handheldCharset : run.charsetName;
}

std::unique_ptr<CharsetConverter> OpenConverter(const CsvRun& run, const std::string& to,
                                                const std::string& from) {
  std::string error;
  std::unique_ptr<CharsetConverter> converter = CharsetConverter::Open(to, from, &error);
  if (!converter) run.Refuse(EscapeForMessage(error));
  return converter;
}

// Names each note, in line order, and gives the exit status.
int Report(const CsvRun& run, plan::Plan& plan) {
  std::stable_sort(
      plan.notes.begin(), plan.notes.end(),
      [](const plan::PlanNote& a, const plan::PlanNote& b) { return a.line < b.line; });
  for (const plan::PlanNote& note : plan.notes) {
    if (note.line > 0) {
      run.Warn(note.line, EscapeForMessage(note.text));
    } else {
      run.Refuse(EscapeForMessage(note.text));
    }
  }
  return plan.notes.empty() ? kCsvExitClean : kCsvExitWarnings;
}

std::string Title(const std::string& path) { return std::filesystem::path(path).stem().string(); }

// The plan of a project XML text; false, having said why, when it is none.
bool ReadXmlPlan(const CsvRun& run, const std::string& text, plan::Plan* plan, std::string* title) {
  std::string error;
  std::unique_ptr<plan::XmlReader> reader = plan::OpenXmlReader(text, &error);
  plan::XmlElement root;
  if (!reader || !plan::ReadXmlTree(*reader, &root, &error) ||
      !plan::ReadProjectPlan(root, plan, title, &error)) {
    run.Refuse("not a project XML file: " + EscapeForMessage(error));
    return false;
  }
  if (title->empty()) *title = Title(run.path);
  return true;
}

// The plan of a backup text, its texts converted from the CSV set.
bool ReadBackupText(const CsvRun& run, const std::string& text, plan::Plan* plan) {
  std::unique_ptr<CharsetConverter> toUtf8 = OpenConverter(run, "UTF-8", CsvCharset(run));
  if (!toUtf8) return false;
  *plan = plan::ReadBackupPlan(text, *toUtf8);
  return true;
}

// An import file as the conduit reads it, each line parsed by the import's
// own parser and written back in the backup form, so that a chart shows
// what a sync would store.
std::string ImportFileAsBackup(const std::string& text) {
  RecordTransfer transfer{};
  const RecordBuffer buffer(transfer, kRecordBufferSize);
  std::string backup = std::string(kBackupHeader) + "\n";
  std::string line;
  int lines = 0;
  plan::ForEachLine(text, [&](int, std::string_view piece) {
    if (++lines > kMaxImportLines) return;
    if (ParseTaskLine(std::string(piece), transfer) != 0) return;
    FormatTaskLine(transfer, line);
    backup += line + "\n";
  });
  return backup;
}

}  // namespace

PlanForm FormOfText(const std::string& text) {
  std::string_view view = text;
  if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
  std::string_view first = view.substr(0, view.find('\n'));
  if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
  if (first == kBackupHeader) return PlanForm::Backup;
  return plan::LooksLikeXml(view) ? PlanForm::ProjectXml : PlanForm::Other;
}

bool ReadPlanFile(const CsvRun& run, std::string* text) {
  std::string error;
  if (!ReadCsvFile(run.path, kMaxConvertedInput, text, &error)) {
    run.Refuse(EscapeForMessage(error));
    return false;
  }
  return true;
}

int RunToProject(const CsvRun& run) {
  std::string text;
  if (!ReadPlanFile(run, &text)) return kCsvExitError;
  plan::Plan plan;
  if (!ReadBackupText(run, text, &plan)) return kCsvExitError;
  if (plan.tasks.empty() && !plan.notes.empty()) {
    // Not one line in the backup form: not a backup file at all.
    Report(run, plan);
    run.Refuse("not a backup file: no line of it is in the backup form");
    return kCsvExitError;
  }
  run.out << plan::WriteProjectXml(Title(run.path), &plan);
  return Report(run, plan);
}

int RunChart(const CsvRun& run) {
  std::string text;
  if (!ReadPlanFile(run, &text)) return kCsvExitError;
  plan::Plan plan;
  plan::ChartOptions options;
  options.today = run.today;
  options.title = Title(run.path);
  switch (FormOfText(text)) {
    case PlanForm::ProjectXml:
      if (!ReadXmlPlan(run, text, &plan, &options.title)) return kCsvExitError;
      break;
    case PlanForm::Backup:
      if (!ReadBackupText(run, text, &plan)) return kCsvExitError;
      break;
    case PlanForm::Other:
      if (!ReadBackupText(run, ImportFileAsBackup(text), &plan)) return kCsvExitError;
      plan.notes.clear();  // lines the import rejects are none of the chart's
      break;
  }
  run.out << (run.html ? plan::ChartHtml(plan, options) : plan::ChartSvg(plan, options));
  return Report(run, plan);
}

int RunToImportOfPlan(const CsvRun& run, const std::string& text) {
  plan::Plan plan;
  std::string title;
  if (FormOfText(text) == PlanForm::ProjectXml) {
    run.Refuse("read as project XML");
    if (!ReadXmlPlan(run, text, &plan, &title)) return kCsvExitError;
  } else {
    run.Refuse("read as a spreadsheet's CSV file");
    std::unique_ptr<CharsetConverter> toUtf8 = OpenConverter(run, "UTF-8", CsvCharset(run));
    if (!toUtf8) return kCsvExitError;
    std::string utf8;
    std::vector<int> lost;
    toUtf8->Convert(text, utf8, &lost, true);
    for (const int line : lost) {
      plan.Note(line, "a character that " + CsvCharset(run) + " does not have is read as \"?\"");
    }
    std::string error;
    if (!plan::ReadSpreadsheetPlan(utf8, plan::SpreadsheetOptions{run.dayFirst}, &plan, &error)) {
      run.Refuse("not a backup file, project XML or a spreadsheet's CSV file: " + error);
      return kCsvExitError;
    }
  }
  std::unique_ptr<CharsetConverter> toHandheld = OpenConverter(run, run.handheldCharset, "UTF-8");
  if (!toHandheld) return kCsvExitError;
  for (const std::string& line : plan::WriteImportLines(*toHandheld, &plan)) {
    run.out << run.ToDesktop(line) << '\n';
  }
  return Report(run, plan);
}

}  // namespace kestrel::cli
