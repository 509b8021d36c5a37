#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "flash/flash_image.h"
#include "tests/support/scratch_dir_test.h"

namespace {

namespace fs = std::filesystem;

class FindFlashImageTest : public test_support::ScratchDirTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ScratchDirTest::SetUp());
    dir_ = root_ + "/";
  }

  void Touch(const std::string& name) { std::ofstream(dir_ + name) << "image\n"; }

  // The name found for the pattern, or "" when none.
  std::string Find(const std::string& pattern) {
    PathText image;
    image.assign_cut("stale");
    int result = FindFlashImage(dir_.c_str(), &image, pattern.c_str());
    if (result != RET_OK) {
      EXPECT_EQ(RET_FW_NOT_AVAILABLE, result);
      EXPECT_EQ("", image.view());
      return "";
    }
    EXPECT_TRUE(image.starts_with(dir_));
    return std::string(image.view().substr(dir_.size()));
  }

  std::string dir_;
};

TEST_F(FindFlashImageTest, NameModeTakesAPrefixCaseSensitively) {
  Touch("oc14-10.2.370.ufi");
  EXPECT_EQ("oc14-10.2.370.ufi", Find("oc14-"));
  EXPECT_EQ("oc14-10.2.370.ufi", Find("oc14-10.2.370.ufi"));
  EXPECT_EQ("", Find("OC14"));
  EXPECT_EQ("", Find("oc14-10.2.370.ufi.x"));
}

TEST_F(FindFlashImageTest, ExtensionModeComparesFromTheLastDot) {
  struct Case {
    const char* name;
    const char* pattern;
    bool found;
  } cases[] = {
      {"a.prg", "*.prg", true},       {"a.prg2", "*.prg", true},
      {"a.PRG", "*.prg", false},      {"a.prg.bak", "*.prg", false},
      {"prg", "*.prg", false},        {"a.tar.gz", "*.tar.gz", false},
      {"b.ufi", "*.", true},          {"*.prg", "*.prg", true},
  };
  for (const Case& c : cases) {
    fs::remove_all(root_);
    fs::create_directory(root_);
    Touch(c.name);
    EXPECT_EQ(c.found ? c.name : "", Find(c.pattern)) << c.name << " " << c.pattern;
  }
}

TEST_F(FindFlashImageTest, PassesOverDotEntriesAndTheTraceFile) {
  Touch(".oc14.ufi");
  Touch("FWtrace.out");
  EXPECT_EQ("", Find(".oc14"));
  EXPECT_EQ("", Find("*.ufi"));
  EXPECT_EQ("", Find("FW"));
  EXPECT_EQ("", Find("*.out"));
  Touch("FW_1.ufi");
  EXPECT_EQ("FW_1.ufi", Find("FW"));
  Touch("FWtrace.out.1");
  fs::remove(dir_ + "FW_1.ufi");
  EXPECT_EQ("FWtrace.out.1", Find("FWtrace"));
}

TEST_F(FindFlashImageTest, SubDirectoriesMatchToo) {
  fs::create_directory(dir_ + "oc14-images");
  EXPECT_EQ("oc14-images", Find("oc14"));
}

TEST_F(FindFlashImageTest, EmptyPatternOrMissingDirectoryFindsNothing) {
  Touch("oc14.ufi");
  EXPECT_EQ("", Find(""));
  PathText image;
  EXPECT_EQ(RET_FW_NOT_AVAILABLE, FindFlashImage((dir_ + "missing/").c_str(), &image, "oc14"));
  EXPECT_EQ(RET_FW_NOT_AVAILABLE, FindFlashImage((dir_ + "oc14.ufi/").c_str(), &image, "oc14"));
}

TEST_F(FindFlashImageTest, ImagePathIsTheDirectoryTextPlusTheName) {
  Touch("oc14.ufi");
  PathText image;
  ASSERT_EQ(RET_OK, FindFlashImage(root_.c_str(), &image, "oc14"));
  EXPECT_EQ(root_ + "oc14.ufi", image.view());
}

TEST_F(FindFlashImageTest, RefusesAnImagePathThatWouldBeCut) {
  Touch("oc14.ufi");
  // A directory text of exactly 1023 characters that still names the
  // directory: the name no longer fits.
  std::string padded = dir_;
  while (padded.size() + 2 <= PathText::kCapacity) padded += "./";
  if (padded.size() < PathText::kCapacity) padded.insert(dir_.size(), 1, '/');
  ASSERT_EQ(PathText::kCapacity, padded.size());
  PathText image;
  testing::internal::CaptureStdout();
  EXPECT_EQ(RET_FW_NOT_AVAILABLE, FindFlashImage(padded.c_str(), &image, "oc14"));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ("", image.view());
  EXPECT_NE(std::string::npos, out.find("Error: Image path is longer than 1023 characters: "));
  EXPECT_NE(std::string::npos, out.find("./oc14.ufi\n\n"));
}

}  // namespace
