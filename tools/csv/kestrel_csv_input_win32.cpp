// SPDX-License-Identifier: MIT
// kestrel-csv.exe's input files. The text-file layer opens by path, so a
// converted text is written to a new file of our own in the temporary
// folder, which is removed again when the input is closed. What is not a
// regular file is refused.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "platform/system_path.h"
#include "platform/text_file.h"
#include "tools/csv/kestrel_csv_input.h"

namespace kestrel::cli {
namespace fs = std::filesystem;

struct CsvInputSource {
  std::wstring copy;  // the temporary file, once made
  ~CsvInputSource() {
    if (!copy.empty()) DeleteFileW(copy.c_str());
  }
};

CsvInput::CsvInput() = default;
CsvInput::~CsvInput() = default;

namespace {

// The path as the system's wide calls take it (the ANSI code page).
fs::path SystemPathOf(const std::string& path) {
  return fs::path(ToSystemPath(path));
}

bool Regular(const fs::path& path, std::string* error) {
  std::error_code ec;
  const fs::file_type type = fs::status(path, ec).type();
  if (type == fs::file_type::regular) return true;
  if (type == fs::file_type::not_found) {
    *error = "cannot read: no such file";
  } else if (type == fs::file_type::directory) {
    *error = "not a regular file: it is a folder";
  } else {
    *error = "not a regular file";
  }
  return false;
}

// Writes `text` to a new file of a unique name in the temporary folder.
bool WriteCopy(const std::string& text, CsvInputSource* held, std::string* error) {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"kcv", 0, name) == 0) {
    *error = "cannot convert: no temporary file";
    return false;
  }
  held->copy = name;
  std::ofstream out(fs::path(held->copy), std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    *error = "cannot convert: the temporary file cannot be written";
    return false;
  }
  return true;
}

// The path of the copy in the form OpenTextFile takes.
std::string CopyPath(const CsvInputSource& held) {
  const int size =
      WideCharToMultiByte(CP_ACP, 0, held.copy.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string path(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, held.copy.c_str(), -1, path.data(), size, nullptr, nullptr);
  path.resize(path.size() - 1);
  return path;
}

// Standard input to its end, at most kMaxConvertedInput bytes, its bytes as
// they are. It can be read only once, and a command may look at its input
// twice (to-import tells the form first), so what was read is kept for the
// rest of the run; `limit` cuts the copy handed out.
bool ReadStandardInput(std::size_t limit, std::string* text, std::string* error) {
  static std::optional<std::string> kept;
  if (!kept) {
    _setmode(_fileno(stdin), _O_BINARY);
    std::string read;
    char buffer[65536];
    while (read.size() < kMaxConvertedInput) {
      const std::size_t want = std::min(sizeof buffer, kMaxConvertedInput - read.size());
      const std::size_t got = std::fread(buffer, 1, want, stdin);
      read.append(buffer, got);
      if (got < want) break;
    }
    if (std::ferror(stdin)) {
      *error = "cannot read";
      return false;
    }
    kept = std::move(read);
  }
  *text = kept->substr(0, limit);
  return true;
}

}  // namespace

bool ReadCsvFile(const std::string& path, std::size_t limit, std::string* text,
                 std::string* error) {
  if (IsStandardInput(path)) return ReadStandardInput(limit, text, error);
  const fs::path system = SystemPathOf(path);
  if (!Regular(system, error)) return false;
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(system, ec);
  if (ec) {
    *error = "cannot read: " + ec.message();
    return false;
  }
  if (size > limit) {
    *error = "too large: " + std::to_string(size) + " bytes, at most " + std::to_string(limit) +
             " are read";
    return false;
  }
  std::ifstream in(system, std::ios::binary);
  text->assign(static_cast<std::size_t>(size), '\0');
  in.read(text->data(), static_cast<std::streamsize>(size));
  text->resize(static_cast<std::size_t>(in.gcount()));
  if (!in.is_open() || in.bad()) {
    *error = "cannot read";
    return false;
  }
  return true;
}

bool OpenCsvInput(const std::string& path, CharsetConverter* toHandheld, CsvInput* input,
                  std::string* error) {
  input->source = std::make_unique<CsvInputSource>();
  std::string readFrom = path;
  if (toHandheld == nullptr && !IsStandardInput(path)) {
    if (!Regular(SystemPathOf(path), error)) return false;
  } else {
    std::string raw, text;
    if (!ReadCsvFile(path, kMaxConvertedInput, &raw, error)) return false;
    if (toHandheld != nullptr) {
      toHandheld->Convert(raw, text, &input->replacedLines, true);
    } else {
      text = std::move(raw);
    }
    if (!WriteCopy(text, input->source.get(), error)) return false;
    readFrom = CopyPath(*input->source);
  }
  if (kestrel::OpenTextFile(input->file, TextFileMode::Read, readFrom) != StatusOk) {
    *error = "cannot read";
    return false;
  }
  return true;
}

}  // namespace kestrel::cli
