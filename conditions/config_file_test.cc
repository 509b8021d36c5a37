#include "conditions/config_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "driver/base/process_exit.h"
#include "driver/base/settings.h"
#include "tests/support/fresh_state_test.h"

namespace {

const char kWorkedExample[] =
    "Emulex | LPe12002-M8 | 10DF | F100 | 10DF | F100 | LPe12002 | 2.01a | 5.02 | "
    "ud201a | *.prg | | | DGC | RAID 5,RAID 10 | 0326\n";

class ConditionsFileTest : public test_support::FreshStateTest {
 protected:
  void SetUp() override {
    FreshStateTest::SetUp();
    path_ = testing::TempDir() + "FC_HBA_Conditions_" +
            testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
            std::to_string(getpid()) + ".txt";
  }
  void TearDown() override {
    FreshStateTest::TearDown();
    std::remove(path_.c_str());
  }

  void Write(const std::string& content) {
    std::ofstream(path_, std::ios::binary) << content;
  }

  // The reader's result, or the status with which it ended the process
  // (as a negative number, to tell both apart).
  int Read(const std::string& content) {
    Write(content);
    try {
      return Read_FC_Config_File(path_.c_str());
    } catch (const ProcessExit& exit) {
      return -exit.status;
    }
  }

  // Reads and returns what went to the standard error stream.
  std::string ReadCapturingStderr(const std::string& content, int* result) {
    testing::internal::CaptureStderr();
    *result = Read(content);
    return testing::internal::GetCapturedStderr();
  }

  static size_t Count() {
    size_t n = 0;
    while (fc_config_entry_list != nullptr && fc_config_entry_list[n] != nullptr) ++n;
    return n;
  }
  static const fc_config_file_entry& Entry(size_t i) { return *fc_config_entry_list[i]; }

  static std::vector<const fc_periphery_info*> Triples(size_t i) {
    std::vector<const fc_periphery_info*> triples;
    for (const fc_periphery_info* p = Entry(i).Periphery; p != nullptr; p = p->NextPeriphery)
      triples.push_back(p);
    return triples;
  }

  std::string path_;
};

TEST_F(ConditionsFileTest, WorkedExample) {
  ASSERT_EQ(0, Read(kWorkedExample));
  ASSERT_EQ(1u, Count());
  const fc_config_file_entry& e = Entry(0);
  EXPECT_EQ("Emulex", e.CtrlVendor);
  EXPECT_EQ("LPe12002-M8", e.CtrlModel);
  EXPECT_EQ("10DF", e.PciVendorIdText);
  EXPECT_EQ("F100", e.PciDeviceIdText);
  EXPECT_EQ("10DF", e.PciSubVendorIdText);
  EXPECT_EQ("F100", e.PciSubDeviceIdText);
  EXPECT_EQ(0x10DF, e.PciVendorId);
  EXPECT_EQ(0xF100, e.PciDeviceId);
  EXPECT_EQ(0x10DF, e.PciSubVendorId);
  EXPECT_EQ(0xF100, e.PciSubDeviceId);
  EXPECT_EQ("LPe12002", e.FirmwareDir);
  EXPECT_EQ("2.01a", e.InfoText8);
  EXPECT_EQ("5.02", e.InfoText9);
  EXPECT_EQ("ud201a", e.FirmwareFile);
  EXPECT_EQ("*.prg", e.BiosFile);
  EXPECT_EQ("", e.InfoText12);
  EXPECT_EQ("", e.InfoText13);
  auto triples = Triples(0);
  ASSERT_EQ(1u, triples.size());
  EXPECT_EQ("DGC", triples[0]->SubsystemVendor);
  EXPECT_EQ("RAID 5,RAID 10", triples[0]->SubsystemGroup);
  EXPECT_EQ("0326", triples[0]->SubsystemExtra);
}

TEST_F(ConditionsFileTest, MissingFileIsReportedWithFifteen) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(15, Read_FC_Config_File("/nonexistent/FC_HBA_Conditions.txt"));
  EXPECT_EQ("Error: Could not open file /nonexistent/FC_HBA_Conditions.txt\n",
            testing::internal::GetCapturedStdout());
  EXPECT_EQ(nullptr, fc_config_entry_list);

  // A path that opens but cannot be read is no empty conditions file.
  testing::internal::CaptureStdout();
  EXPECT_EQ(15, Read_FC_Config_File(testing::TempDir().c_str()));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(nullptr, fc_config_entry_list);
}

TEST_F(ConditionsFileTest, SkippedLines) {
  ASSERT_EQ(0, Read("# Vendor | Model | VID | DID\n"
                    "-------+------+-----\n"
                    "Emulex | X | 10DF | F100 # not yet\n"
                    "Emulex | Y\n"
                    "|||"));  // bars only, no line end: no cell
  ASSERT_EQ(1u, Count());
  EXPECT_EQ("Y", Entry(0).CtrlModel);
}

TEST_F(ConditionsFileTest, EmptyAndShortLinesYieldEntriesWithoutValidation) {
  ASSERT_EQ(0, Read("Emulex | A\n"
                    "\n"
                    "||\n"           // the line feed is a cell
                    "Emulex | B\n"));
  ASSERT_EQ(4u, Count());
  EXPECT_EQ("A", Entry(0).CtrlModel);
  for (size_t i : {1u, 2u}) {
    EXPECT_EQ("", Entry(i).CtrlVendor);
    EXPECT_EQ("", Entry(i).CtrlModel);
    EXPECT_EQ(0, Entry(i).PciVendorId);
    EXPECT_EQ(nullptr, Entry(i).Periphery);
  }
  EXPECT_EQ("B", Entry(3).CtrlModel);
  EXPECT_EQ(0, Entry(3).PciVendorId);
  EXPECT_EQ(0, Entry(3).PciSubDeviceId);
}

TEST_F(ConditionsFileTest, BarRunsAreOneSeparator) {
  ASSERT_EQ(0, Read("||Emulex||LPe12002 | 10DF |||| F100 | 10DF | F100 | Dir\n"));
  const fc_config_file_entry& e = Entry(0);
  EXPECT_EQ("Emulex", e.CtrlVendor);
  EXPECT_EQ("LPe12002", e.CtrlModel);
  EXPECT_EQ(0xF100, e.PciDeviceId);
  EXPECT_EQ("Dir", e.FirmwareDir);
}

TEST_F(ConditionsFileTest, TrailingBarAddsAnEmptyCell) {
  // After column 2 the empty cell is column 3: an invalid vendor id.
  int result = 0;
  EXPECT_EQ("\nError line 1: Vendor-Id  is not a valid hex value!\n",
            ReadCapturingStderr("Emulex | LPe12002 |\n", &result));
  EXPECT_EQ(-55, result);

  FreeConfigEntryList();
  ASSERT_EQ(0, Read("E | M | 1 | 2 | 3 | 4 | d | 8 | 9 | f | b | 12 | 13 | DGC | RAID | x |\n"));
  auto triples = Triples(0);
  ASSERT_EQ(2u, triples.size());
  EXPECT_EQ("", triples[1]->SubsystemVendor);
  EXPECT_EQ("", triples[1]->SubsystemGroup);
}

TEST_F(ConditionsFileTest, TriplesFormAChainInLineOrder) {
  std::string line = "E | M | 1 | 2 | 3 | 4 | d | 8 | 9 | f | b | 12 | 13";
  for (int i = 0; i < 20; ++i)
    line += " | V" + std::to_string(i) + " | G" + std::to_string(i) + " | " + std::to_string(i);
  line += " | Last\n";  // a partial triple: vendor only
  ASSERT_EQ(0, Read(line));
  auto triples = Triples(0);
  ASSERT_EQ(21u, triples.size());
  for (int i = 0; i < 20; ++i) {
    std::string number = std::to_string(i);
    EXPECT_EQ('V' + number, triples[i]->SubsystemVendor);
    EXPECT_EQ('G' + number, triples[i]->SubsystemGroup);
    EXPECT_EQ(std::to_string(i), triples[i]->SubsystemExtra);
  }
  EXPECT_EQ("Last", triples[20]->SubsystemVendor);
  EXPECT_EQ("", triples[20]->SubsystemGroup);
  EXPECT_EQ("", triples[20]->SubsystemExtra);
}

TEST_F(ConditionsFileTest, CarriageReturnStaysInTheLastCell) {
  ASSERT_EQ(0, Read("Emulex | LPe\r\n"
                    "E | M | 1 | 2 | 3 | 4 | d | 8 | 9 | f | b | 12 | 13 | DGC | RAID | 326\r\n"));
  EXPECT_EQ("LPe\r", Entry(0).CtrlModel);
  EXPECT_EQ("326\r", Triples(1)[0]->SubsystemExtra);
  // In an id column the carriage return makes the id invalid.
  FreeConfigEntryList();
  int result = 0;
  EXPECT_EQ("\nError line 1: Vendor-Id 10DF\r is not a valid hex value!\n",
            ReadCapturingStderr("E | M | 10DF\r\n", &result));
  EXPECT_EQ(-55, result);
}

TEST_F(ConditionsFileTest, LongPhysicalLinesAreReadInPiecesOf1023) {
  // 1023 characters, then the rest of the physical line.
  std::string first = "V" + std::string(1022, ' ');
  ASSERT_EQ(0, Read(first + "W | M2\n"
                    + std::string(1023, '|') + "\n"  // ends exactly at a read
                    + "X | M3\n"));
  ASSERT_EQ(4u, Count());
  EXPECT_EQ("V", Entry(0).CtrlVendor);
  EXPECT_EQ("", Entry(0).CtrlModel);
  EXPECT_EQ("W", Entry(1).CtrlVendor);
  EXPECT_EQ("M2", Entry(1).CtrlModel);
  EXPECT_EQ("", Entry(2).CtrlVendor);  // the lone line feed read on its own
  EXPECT_EQ("X", Entry(3).CtrlVendor);
}

TEST_F(ConditionsFileTest, BadIdsEndTheRunWithTheirLineNumber) {
  const std::string six_lines =
      "# header\n"
      "-----+-----\n"
      "Emulex | A | 10DF | F100\n"
      "Emulex | B | 10DF | F100 # later\n"
      "\n"
      "Emulex | C | 10DF | F100\n";
  const std::string bad = six_lines + "Emulex | D | 10DF | F1G0\nEmulex | E\n";

  // Screen output on with a debug level: the message goes to stderr.
  DebugLevel = 2;
  VerboseLevel = 0;
  int result = 0;
  EXPECT_EQ("\nError line 7: Device-Id F1G0 is not a valid hex value!\n",
            ReadCapturingStderr(bad, &result));
  EXPECT_EQ(-55, result);
  // No line after the bad one was read.
  ASSERT_EQ(4u, Count());
  EXPECT_EQ("D", Entry(3).CtrlModel);

  struct Case {
    std::string line;
    std::string message;
  } cases[] = {
      {"E | M |    | 1\n", "\nError line 1: Vendor-Id  is not a valid hex value!\n"},
      {"E | M | 1 | 2 | x1\n", "\nError line 1: Sub-Vendor-Id x1 is not a valid hex value!\n"},
      {"E | M | 1 | 2 | 3 | -4\n", "\nError line 1: Sub-System-Id -4 is not a valid hex value!\n"},
  };
  for (const Case& c : cases) {
    FreeConfigEntryList();
    EXPECT_EQ(c.message, ReadCapturingStderr(c.line, &result)) << c.line;
    EXPECT_EQ(-55, result);
  }
}

TEST_F(ConditionsFileTest, RefusalsAreShownOnlyInARunThatShowsMessages) {
  const std::string bad_id = "E | M | 1 | G\n";
  const std::string long_cell = std::string(20, 'E') + " | M\n";
  struct Levels {
    int verbose, debug, screen;
    bool shown;
  } runs[] = {
      {1, 0, 1, true},   // default run
      {0, 3, 1, true},   // debug level with screen output on
      {0, 3, 0, false},  // -d 3: screen output off
      {0, 0, 0, false},  // --silent
      {0, 0, 1, false},  // no level at all
  };
  for (const Levels& run : runs) {
    for (const std::string& content : {bad_id, long_cell}) {
      FreeConfigEntryList();
      VerboseLevel = run.verbose;
      DebugLevel = run.debug;
      PrintDebugOnScreen = run.screen;
      int result = 0;
      std::string shown = ReadCapturingStderr(content, &result);
      EXPECT_EQ(-55, result);
      EXPECT_EQ(run.shown, !shown.empty()) << run.verbose << run.debug << run.screen;
    }
  }
}

TEST_F(ConditionsFileTest, OverlongCellsAreRefusedPerField) {
  const std::string ids = " | 1 | 2 | 3 | 4";
  const std::string to_col13 = "E | M" + ids + " | d | 8 | 9 | f | b | 12 | 13";
  struct Case {
    std::string prefix, suffix;  // the cell goes between them
    int column, limit;
  } cases[] = {
      {"", " | M\n", 1, 19},
      {"E | ", "\n", 2, 19},
      {"E | M | ", " | 2\n", 3, 5},
      {"E | M | 1 | ", "\n", 4, 5},
      {"E | M | 1 | 2 | ", "\n", 5, 5},
      {"E | M | 1 | 2 | 3 | ", "\n", 6, 5},
      {"E | M" + ids + " | ", "\n", 7, 19},
      {"E | M" + ids + " | d | ", "\n", 8, 19},
      {"E | M" + ids + " | d | 8 | ", "\n", 9, 19},
      {"E | M" + ids + " | d | 8 | 9 | ", "\n", 10, 79},
      {"E | M" + ids + " | d | 8 | 9 | f | ", "\n", 11, 79},
      {"E | M" + ids + " | d | 8 | 9 | f | b | ", "\n", 12, 79},
      {"E | M" + ids + " | d | 8 | 9 | f | b | 12 | ", "\n", 13, 19},
      {to_col13 + " | ", " | G\n", 14, 9},
      {to_col13 + " | V | ", "\n", 15, 19},  // a cut model group could admit more
      {to_col13 + " | V | G | ", "\n", 16, 5},
      {to_col13 + " | V | G | X | V2 | ", "\n", 18, 19},
  };
  for (const Case& c : cases) {
    // A cell that fits exactly is accepted, blanks and quotes around it
    // do not count.
    FreeConfigEntryList();
    std::string fits(c.limit, '1');
    EXPECT_EQ(0, Read(c.prefix + " \"" + fits + "\" " + c.suffix)) << c.column;

    FreeConfigEntryList();
    std::string too_long(c.limit + 1, '1');
    int result = 0;
    std::string message = ReadCapturingStderr(c.prefix + too_long + c.suffix, &result);
    EXPECT_EQ(-55, result) << c.column;
    EXPECT_EQ("\nError line 1: column " + std::to_string(c.column) + " is longer than " +
                  std::to_string(c.limit) + " characters: " + too_long + "\n",
              message);
  }
}

TEST_F(ConditionsFileTest, EchoesTheTableAtLevelFive) {
  VerboseLevel = 5;
  testing::internal::CaptureStdout();
  ASSERT_EQ(0, Read("# header\n" + std::string(kWorkedExample) + "Emulex | X\n"));
  std::string expected =
      "             Emulex |      LPe12002-M8 |"
      "   10DF |   F100 |   10DF |   F100 |"
      "     LPe12002 |        2.01a |         5.02 |       ud201a |"
      "        *.prg |              |              |"
      "          DGC |     RAID 5,RAID 10 |         0326\n"
      "             Emulex |                X |\n";
  EXPECT_EQ(expected, testing::internal::GetCapturedStdout());

  FreeConfigEntryList();
  VerboseLevel = 4;
  testing::internal::CaptureStdout();
  ASSERT_EQ(0, Read(kWorkedExample));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

TEST_F(ConditionsFileTest, ManyLinesStayInFileOrder) {
  const int kLines = 100000;
  std::string content;
  content.reserve(kLines * 64);
  for (int i = 0; i < kLines; ++i) {
    char line[96];
    snprintf(line, sizeof line, "Emulex | M%d | 10DF | %X | 10DF | F100 | d | | | f | | | | DGC | R\n",
             i, i & 0xFFFF);
    content += line;
  }
  ASSERT_EQ(0, Read(content));
  ASSERT_EQ(static_cast<size_t>(kLines), Count());
  EXPECT_EQ("M0", Entry(0).CtrlModel);
  EXPECT_EQ("M99999", Entry(kLines - 1).CtrlModel);
  EXPECT_EQ(99999 & 0xFFFF, Entry(kLines - 1).PciDeviceId);

  // A second file appends behind the first.
  ASSERT_EQ(0, Read("Emulex | Tail\n"));
  ASSERT_EQ(static_cast<size_t>(kLines) + 1, Count());
  EXPECT_EQ("Tail", Entry(kLines).CtrlModel);
}

}  // namespace
