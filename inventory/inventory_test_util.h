// Helpers shared by the inventory tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/base/record_memory.h"
#include "driver/base/settings.h"
#include "inventory/hba_info.h"

// Readable failure messages for the record texts.
template <std::size_t N>
void PrintTo(const FixedText<N>& field, std::ostream* out) {
  *out << '"' << field.view() << '"';
}

namespace inventory_test {

// A report as an open stream, as the collection hands it to the readers.
class ReportFile {
 public:
  explicit ReportFile(const std::string& text) : file_(std::tmpfile()) {
    std::fwrite(text.data(), 1, text.size(), file_);
    std::rewind(file_);
  }
  ~ReportFile() { std::fclose(file_); }
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;
  FILE* get() const { return file_; }

 private:
  FILE* file_;
};

// A fresh directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/fcguard_inventory_XXXXXX";
    if (mkdtemp(name) != nullptr) path_ = name;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

  void Write(const std::string& relative, const std::string& text) const {
    std::filesystem::path file = path_ + "/" + relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(path_ + "/" + relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(path_ + "/" + relative);
  }

 private:
  std::string path_;
};

// Every test starts and ends with default settings and no inventory.
class InventoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    FreeHbaInfoList();
    LimitRecordAllocations(-1);
  }
  void TearDown() override {
    FreeHbaInfoList();
    LimitRecordAllocations(-1);
    ResetSettings();
  }
};

inline int ListSize() {
  int n = 0;
  while (p_hba_info_list != nullptr && p_hba_info_list[n] != nullptr) ++n;
  return n;
}

}  // namespace inventory_test
