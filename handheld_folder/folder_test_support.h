// SPDX-License-Identifier: MIT
// What the handheld-folder tests share: a task database, its file's bytes,
// and a fixture that gives each test a scratch folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "handheld_folder/pdb_file.h"

namespace kestrel::handheld_folder {

using Bytes = std::vector<std::uint8_t>;

inline host::Database TaskDb(const std::string& name, std::vector<host::Record> records = {}) {
  host::Database db;
  db.name = name;
  db.type = kTypeData;
  db.creator = kCreatorTkpl;
  db.records = std::move(records);
  return db;
}

inline Bytes FileBytes(const host::Database& db) {
  std::string error;
  auto bytes = SavePdb(db, &error);
  EXPECT_TRUE(bytes) << error;
  return bytes ? *bytes : Bytes{};
}

// A scratch folder made before each test and removed after it.
class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    dir_ = std::filesystem::temp_directory_path() / ("kestrel-folder-" + std::to_string(seed()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Put(const std::string& name, const Bytes& bytes) {
    std::ofstream out(dir_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // The bytes of a file of the folder, or of `path` when it is absolute.
  Bytes Get(const std::filesystem::path& path) const {
    std::ifstream in(path.is_absolute() ? path : dir_ / path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The folder's file names in byte order.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

}  // namespace kestrel::handheld_folder
