// Helpers shared by the inventory tests: readable record texts, a report
// as an open stream, a scratch directory and the fixture.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "driver/base/record_memory.h"
#include "driver/base/settings.h"
#include "inventory/hba_info.h"
#include "tests/support/fresh_state_test.h"
#include "tests/support/temp_dir.h"

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

using test_support::TempDir;

// Every test starts and ends with the process state at its start values,
// no inventory and no limit on the inventory's allocations.
class InventoryTest : public test_support::FreshStateTest {
 protected:
  void SetUp() override {
    FreshStateTest::SetUp();
    LimitRecordAllocations(-1);
  }
  void TearDown() override {
    FreshStateTest::TearDown();
    LimitRecordAllocations(-1);
  }
};

inline int ListSize() {
  int n = 0;
  while (p_hba_info_list != nullptr && p_hba_info_list[n] != nullptr) ++n;
  return n;
}

}  // namespace inventory_test
