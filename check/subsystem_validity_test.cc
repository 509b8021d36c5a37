#include <gtest/gtest.h>

#include <string>

#include "check/subsystem_validity.h"
#include "driver/base/settings.h"
#include "tests/support/check_records.h"

namespace {

using check_test::Conditions;
using check_test::Inventory;
using check_test::StartFlags;

// One port with storage attached and one conditions entry to judge it by.
class ValidityTest : public check_test::CheckTest {
 protected:
  void SetUp() override {
    CheckTest::SetUp();
    port_ = inventory_.AddPort({});
    NewEntry();
  }

  void AttachStorage(const std::string& vendor, const std::string& product) {
    inventory_.Attach(port_, vendor, product, "0533");
  }
  // Starts over with a fresh entry without allowed sub-systems.
  void NewEntry() {
    conditions_.Clear();
    entry_ = conditions_.AddEntry("Emulex", "OCe14102");
    conditions_.Install();
  }
  void Allow(const std::string& vendor, const std::string& group) {
    conditions_.Allow(entry_, vendor, group);
  }
  bool Check() { return DoIndividualSubSystemCheck(port_, conditions_.Slot(0), &flags_); }
  bool CheckQuietly() {
    VerboseLevel = 0;
    return Check();
  }

  Inventory inventory_;
  Conditions conditions_;
  hba_info* port_ = nullptr;
  fc_config_file_entry* entry_ = nullptr;
  global_ctrl_flags flags_ = StartFlags();
};

std::string AttachedBlock(const std::string& vendor, const std::string& product) {
  return "\n\t\tAttached storage sub-system:\n\t\t\t\t" + vendor + "\n\t\t\t\t" + product +
         "\n\t\t\t\t0533\n";
}
std::string Leading(const std::string& element, const std::string& product, bool ok) {
  return "\t\t\tCheck subsystem: '" + element + "' Attached subsystem: '" + product + "'" +
         (ok ? "\t\t\t--> OK\n" : "\t\t\t--> Invalid subsystem!\n");
}
std::string Last(const std::string& element, const std::string& product, bool ok) {
  return "\t\tCheck subsystem: '" + element + "' Attached subsystem: '" + product + "'" +
         (ok ? "\t\t\t--> OK\n" : "\t\t\t--> Invalid subsystem!\n");
}
std::string Consistent(const std::string& element, const std::string& group) {
  return "\tAlready identified reference subsystems: " + element +
         "  Subsystem group: " + group + "\n\tReference subsystem " + element +
         " found in Group: " + group +
         "\n\t\t\tAll reference subsystems appear in the same group: " + group + "\n";
}

// --- model groups ------------------------------------------------------

TEST_F(ValidityTest, GroupExampleKaKbKcAgainstKc1) {
  AttachStorage("DGC", "KC1");
  Allow("DGC", "KA,KB,KC");
  Allow("DGC", "");  // never reached: the first group settled it
  StartCapture();
  EXPECT_TRUE(Check());
  EXPECT_EQ(
      "\n\t\tAttached storage sub-system:\n\t\t\t\tDGC\n\t\t\t\tKC1\n\t\t\t\t0533\n"
      "\t\t\tCheck subsystem: 'KA' Attached subsystem: 'KC1'\t\t\t--> Invalid subsystem!\n"
      "\t\t\tCheck subsystem: 'KB' Attached subsystem: 'KC1'\t\t\t--> Invalid subsystem!\n"
      "\t\tCheck subsystem: 'KC' Attached subsystem: 'KC1'\t\t\t--> OK\n"
      "\tAlready identified reference subsystems: KC  Subsystem group: KA,KB,KC\n"
      "\tReference subsystem KC found in Group: KA,KB,KC\n"
      "\t\t\tAll reference subsystems appear in the same group: KA,KB,KC\n"
      "\n",
      Captured());
  EXPECT_EQ(0, flags_.InvalidCtrlSubsystemCombinationFound);
}

TEST_F(ValidityTest, ElementsArePrefixesOfTheProduct) {
  Allow("DGC", "M3");
  for (const char* product : {"M300", "M3-80", "M3"}) {
    AttachStorage("DGC", product);
    EXPECT_TRUE(CheckQuietly()) << product;
  }
  NewEntry();
  Allow("DGC", "M300");
  for (const char* product : {"M3", "m300"}) {
    AttachStorage("DGC", product);
    EXPECT_FALSE(CheckQuietly()) << product;
  }
  EXPECT_EQ(1, flags_.InvalidCtrlSubsystemCombinationFound);
}

TEST_F(ValidityTest, VendorMustMatchAsAWholeText) {
  Allow("AB", "");
  for (const char* vendor : {"ABC", "ab", "A"}) {
    AttachStorage(vendor, "X");
    flags_ = StartFlags();
    StartCapture();
    EXPECT_FALSE(Check()) << vendor;
    // No allowed vendor matched: nothing but the invalid block, and that
    // only above level 5.
    EXPECT_EQ("", Captured());
    EXPECT_EQ(1, flags_.InvalidCtrlSubsystemCombinationFound);
  }
  AttachStorage("AB", "X");
  EXPECT_TRUE(CheckQuietly());
}

TEST_F(ValidityTest, EmptyGroupAdmitsEveryProductOfTheVendor) {
  Allow("DGC", "");
  AttachStorage("DGC", "anything");
  StartCapture();
  EXPECT_TRUE(Check());
  EXPECT_EQ(AttachedBlock("DGC", "anything") + "\n", Captured());
}

TEST_F(ValidityTest, BlankOrEmptyVendorsAreInert) {
  Allow("", "");
  Allow("   ", "");
  AttachStorage("   ", "X");
  EXPECT_FALSE(CheckQuietly());
  AttachStorage("", "X");
  EXPECT_FALSE(CheckQuietly());
}

TEST_F(ValidityTest, EntryWithoutAllowedSubsystemsAdmitsNothing) {
  AttachStorage("DGC", "X");
  EXPECT_FALSE(CheckQuietly());
  EXPECT_EQ(1, flags_.InvalidCtrlSubsystemCombinationFound);
}

TEST_F(ValidityTest, LaterGroupsOfTheVendorAreTriedAfterARejection) {
  Allow("DGC", "KA,KB");
  Allow("HP", "KC");
  Allow("DGC", "KC");
  AttachStorage("DGC", "KC9");
  StartCapture();
  EXPECT_TRUE(Check());
  EXPECT_EQ(AttachedBlock("DGC", "KC9") + Leading("KA", "KC9", false) +
                Last("KB", "KC9", false) + AttachedBlock("DGC", "KC9") +
                Last("KC", "KC9", true) + Consistent("KC", "KC") + "\n",
            Captured());
}

TEST_F(ValidityTest, AfterAnEmptyGroupOnlyElementsBeforeTheLastCommaAreTried) {
  Allow("DGC", "");
  Allow("DGC", "X,KA,KB");  // KB is last: not examined once admitted
  AttachStorage("DGC", "KB1");
  StartCapture();
  EXPECT_TRUE(Check());
  EXPECT_EQ(AttachedBlock("DGC", "KB1") + AttachedBlock("DGC", "KB1") +
                Leading("X", "KB1", false) + Leading("KA", "KB1", false) + "\n",
            Captured());
}

TEST_F(ValidityTest, AfterAnEmptyGroupALeadingMatchRunsTheConsistencyTest) {
  Allow("DGC", "");
  Allow("DGC", "KB,Z");
  Allow("DGC", "Q,R");  // not reached
  AttachStorage("DGC", "KB1");
  StartCapture();
  EXPECT_TRUE(Check());
  EXPECT_EQ(AttachedBlock("DGC", "KB1") + AttachedBlock("DGC", "KB1") +
                Leading("KB", "KB1", true) + Consistent("KB", "KB,Z") + "\n",
            Captured());
}

// --- empty elements: printed, rejected, never admitting ----------------

TEST_F(ValidityTest, EmptyElementsAdmitNoProduct) {
  for (const char* group : {",", ",KA", "KA,", "KA,,KB", ",,"}) {
    NewEntry();
    Allow("DGC", group);
    AttachStorage("DGC", "ZZ");
    flags_ = StartFlags();
    EXPECT_FALSE(CheckQuietly()) << group;
    EXPECT_EQ(1, flags_.InvalidCtrlSubsystemCombinationFound) << group;
  }
}

TEST_F(ValidityTest, EmptyElementsArePrintedAndRejected) {
  Allow("DGC", ",KA,");
  AttachStorage("DGC", "KA1");
  StartCapture();
  EXPECT_TRUE(Check());
  EXPECT_EQ(AttachedBlock("DGC", "KA1") + Leading("", "KA1", false) +
                Leading("KA", "KA1", true) + Consistent("KA", ",KA,") + "\n",
            Captured());

  Allow("HP", "");
  AttachStorage("DGC", "Q");
  StartCapture();
  EXPECT_FALSE(Check());
  EXPECT_EQ(AttachedBlock("DGC", "Q") + Leading("", "Q", false) + Leading("KA", "Q", false) +
                Last("", "Q", false),
            Captured());
}

TEST_F(ValidityTest, EmptyLastElementIsSilentOnceAdmitted) {
  Allow("DGC", "");
  Allow("DGC", "Q,");
  AttachStorage("DGC", "KA1");
  StartCapture();
  EXPECT_TRUE(Check());
  EXPECT_EQ(AttachedBlock("DGC", "KA1") + AttachedBlock("DGC", "KA1") +
                Leading("Q", "KA1", false) + "\n",
            Captured());
}

// --- the invalid block --------------------------------------------------

TEST_F(ValidityTest, InvalidBlockOnlyAboveLevelFive) {
  Allow("DGC", "KA");
  AttachStorage("DGC", "KB");
  VerboseLevel = 5;
  StartCapture();
  EXPECT_FALSE(Check());
  EXPECT_EQ(AttachedBlock("DGC", "KB") + Last("KA", "KB", false), Captured());

  VerboseLevel = 6;
  StartCapture();
  EXPECT_FALSE(Check());
  EXPECT_EQ(AttachedBlock("DGC", "KB") + Last("KA", "KB", false) +
                "\n\n\t\tInvaild attached storage sub-system found.\n"
                "\t\t\t\tDGC\n\t\t\t\tKB\n\t\t\t\t0533\n\n",
            Captured());
}

TEST_F(ValidityTest, PortWithoutStorageIsNotJudged) {
  Allow("DGC", "KA");
  EXPECT_TRUE(CheckQuietly());
  EXPECT_EQ(0, flags_.InvalidCtrlSubsystemCombinationFound);
}

// --- the consistency test ------------------------------------------------

TEST_F(ValidityTest, ConsistencySearchesFromTheRight) {
  StartCapture();
  EXPECT_TRUE(CheckModelGroupConsistency("KA,KB", "KB,KA"));
  EXPECT_EQ(
      "\tAlready identified reference subsystems: KB,KA  Subsystem group: KA,KB\n"
      "\tReference subsystem KA found in Group: KA,KB\n"
      "\tReference subsystem KB found in Group: KA,KB\n",
      Captured());
}

TEST_F(ValidityTest, ConsistencyStopsAtTheFirstMissingElement) {
  StartCapture();
  EXPECT_FALSE(CheckModelGroupConsistency("KA,KB", "KA,KX"));
  EXPECT_EQ(
      "\tAlready identified reference subsystems: KA,KX  Subsystem group: KA,KB\n"
      "\tReference subsystem 'KX' not in Group: >KA,KB< => Skip this group.\n",
      Captured());
}

TEST_F(ValidityTest, ConsistencyComparesWholeElements) {
  VerboseLevel = 0;
  EXPECT_FALSE(CheckModelGroupConsistency("KA1,KB", "KA"));
  EXPECT_FALSE(CheckModelGroupConsistency("KA,KB", "KA1"));
  EXPECT_FALSE(CheckModelGroupConsistency("ka", "KA"));
  EXPECT_TRUE(CheckModelGroupConsistency("KA,,KB,", "KB"));
}

TEST_F(ValidityTest, ConsistencyNeverIdentifiesAnEmptyElement) {
  VerboseLevel = 0;
  EXPECT_FALSE(CheckModelGroupConsistency("KA,,KB", "KA,"));
  EXPECT_FALSE(CheckModelGroupConsistency(",", ","));
  EXPECT_FALSE(CheckModelGroupConsistency("KA", ",KA"));
}

}  // namespace
