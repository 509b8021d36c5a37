#include <gtest/gtest.h>

#include <string>

#include "check/controller_check.h"
#include "driver/base/settings.h"
#include "tests/support/check_records.h"

namespace {

using check_test::Conditions;
using check_test::Inventory;
using check_test::TextOf;
using test_support::Count;
using test_support::kDash;
using check_test::PortFields;
using check_test::StartFlags;

// An adapter as pairing leaves it: the NIC function 0 on port 0 is every
// function's flash partner and heads the chain of the FCoE functions 2, 3.
struct Adapter {
  hba_info* partner;
  hba_info* f2;
  hba_info* f3;
};

class WalkTest : public check_test::CheckTest {
 protected:
  void SetUp() override {
    CheckTest::SetUp();
    entry_ = conditions_.AddEntry("Emulex", "OCe14102");
    conditions_.Install();
  }

  Adapter AddAdapter(const std::string& serial) {
    Adapter a;
    a.partner = AddPort(serial, "NIC", "0", "0");
    a.f2 = AddPort(serial, "FCoE", "0", "2");
    a.f3 = AddPort(serial, "FCoE", "1", "3");
    for (hba_info* p : {a.partner, a.f2, a.f3}) p->FlashPartner = a.partner;
    a.partner->NextFCoEPort = a.f2;
    a.f2->NextFCoEPort = a.f3;
    return a;
  }

  hba_info* AddPort(const std::string& serial, const std::string& type,
                    const std::string& number, const std::string& function) {
    PortFields fields;
    fields.serial = serial;
    fields.type = type;
    fields.number = number;
    fields.function = function;
    fields.wwn = "10:00:" + serial + ":0" + function;
    return inventory_.AddPort(fields);
  }

  void Attach(hba_info* port, const std::string& vendor, const std::string& product) {
    inventory_.Attach(port, vendor, product, "0533");
  }

  bool Walk(hba_info* port) { return DoSubSystemCheck(port, conditions_.Slot(0), &flags_); }
  std::string CapturedWalk(hba_info* port) {
    StartCapture();
    Walk(port);
    return Captured();
  }

  Inventory inventory_;
  Conditions conditions_;
  fc_config_file_entry* entry_ = nullptr;
  global_ctrl_flags flags_ = StartFlags();
};

std::string PortLine(const std::string& indent, const hba_info* p) {
  return test_support::PortLine(indent, TextOf(p));
}
std::string Header(const hba_info* p) { return test_support::CheckHeader(TextOf(p)); }
std::string AlreadyDone(const hba_info* p) {
  return Header(p) + "\t\tSubsystem check already done => continue.\n";
}

// --- exact output of one walk --------------------------------------------

class RepresentativeWalk : public WalkTest {
 protected:
  void SetUp() override {
    WalkTest::SetUp();
    conditions_.Allow(entry_, "DGC", "VRAID,RAID");
    adapter_ = AddAdapter("SN1");
    Attach(adapter_.f2, "DGC", "VRAID");
    Attach(adapter_.f3, "DGC", "RAID 5");
  }
  Adapter adapter_{};
};

// The two FCoE ports of the representative walk as level one shows them:
// header, storage and model-group checks.
const std::string kPortZeroChecked =
    "\n\t\t---------+---------+---------+---------+---------+---------+---------+---------+\n"
    "\n\t\tPerform subsystem check for:\n"
    "\t\tVendor: Emulex, Model: OCe14102 SerialNumber: SN1 PortType: FCoE PortNumber: 0 PCI function: 2\n"
    "\n\t\tAttached storage sub-system:\n\t\t\t\tDGC\n\t\t\t\tVRAID\n\t\t\t\t0533\n"
    "\t\t\tCheck subsystem: 'VRAID' Attached subsystem: 'VRAID'\t\t\t--> OK\n"
    "\tAlready identified reference subsystems: VRAID  Subsystem group: VRAID,RAID\n"
    "\tReference subsystem VRAID found in Group: VRAID,RAID\n"
    "\t\t\tAll reference subsystems appear in the same group: VRAID,RAID\n"
    "\n";
const std::string kPortOneChecked =
    "\n\t\t---------+---------+---------+---------+---------+---------+---------+---------+\n"
    "\n\t\tPerform subsystem check for:\n"
    "\t\tVendor: Emulex, Model: OCe14102 SerialNumber: SN1 PortType: FCoE PortNumber: 1 PCI function: 3\n"
    "\n\t\tAttached storage sub-system:\n\t\t\t\tDGC\n\t\t\t\tRAID 5\n\t\t\t\t0533\n"
    "\t\t\tCheck subsystem: 'VRAID' Attached subsystem: 'RAID 5'\t\t\t--> Invalid subsystem!\n"
    "\t\tCheck subsystem: 'RAID' Attached subsystem: 'RAID 5'\t\t\t--> OK\n"
    "\tAlready identified reference subsystems: RAID  Subsystem group: VRAID,RAID\n"
    "\tReference subsystem RAID found in Group: VRAID,RAID\n"
    "\t\t\tAll reference subsystems appear in the same group: VRAID,RAID\n"
    "\n";

const std::string kWalkAtLevelOne = kPortZeroChecked + "\n" + kPortOneChecked + "\n";

// Level two adds the references after each port's checks.
const std::string kWalkAtLevelTwo =
    kPortZeroChecked + test_support::TakenAsReferences(PortFields()) + kPortOneChecked +
    "\t\tThis sub-system is consistent with controller specific reference-sub-system "
    "(only vendor-id was checked).\n"
    "\t\t\tVendor: Emulex, Model: OCe14102 SerialNumber: SN1 PortType: FCoE PortNumber: 1 PCI function: 3\n"
    "\n"
    "\t\tAll sub-systems are consistent with vendor specific reference-sub-system "
    "(only vendor-id was checked) 10:00:SN1:02.\n\n";

TEST_F(RepresentativeWalk, OutputAtLevelOne) {
  EXPECT_EQ(kWalkAtLevelOne, CapturedWalk(adapter_.f2));
  EXPECT_EQ(1, flags_.CtrlSpecificSubsystemEquality);
  EXPECT_EQ(1, flags_.CtrlVendorSpecificSubsystemEquality);
  EXPECT_EQ(0, flags_.InvalidCtrlSubsystemCombinationFound);
  EXPECT_EQ(adapter_.f2, flags_.VendorReferenceSubsystem);
  EXPECT_TRUE(adapter_.f2->SubsystemCheckDone);
  EXPECT_TRUE(adapter_.f3->SubsystemCheckDone);
  EXPECT_FALSE(adapter_.partner->SubsystemCheckDone);
}

TEST_F(RepresentativeWalk, OutputAtLevelTwo) {
  VerboseLevel = 2;
  EXPECT_EQ(kWalkAtLevelTwo, CapturedWalk(adapter_.f3));
}

TEST_F(RepresentativeWalk, OutputAtLevelSixAndASecondWalk) {
  VerboseLevel = 6;
  EXPECT_EQ(kWalkAtLevelTwo + kDash + "\n", CapturedWalk(adapter_.partner));
  // Every port of the adapter is done: only the already-done blocks.
  EXPECT_EQ(
      "\n\t\t---------+---------+---------+---------+---------+---------+---------+---------+\n"
      "\n\t\tPerform subsystem check for:\n"
      "\t\tVendor: Emulex, Model: OCe14102 SerialNumber: SN1 PortType: FCoE PortNumber: 0 PCI function: 2\n"
      "\t\tSubsystem check already done => continue.\n"
      "\n\t\t---------+---------+---------+---------+---------+---------+---------+---------+\n"
      "\n\t\tPerform subsystem check for:\n"
      "\t\tVendor: Emulex, Model: OCe14102 SerialNumber: SN1 PortType: FCoE PortNumber: 1 PCI function: 3\n"
      "\t\tSubsystem check already done => continue.\n"
      "---------+---------+---------+---------+---------+---------+---------+---------+\n",
      CapturedWalk(adapter_.f2));
}

// --- the already-done block ----------------------------------------------

TEST_F(WalkTest, AlreadyDoneBlockOnlyAboveLevelThreeAndChangesNoFlag) {
  conditions_.Allow(entry_, "DGC", "");
  Adapter a = AddAdapter("SN1");
  Attach(a.f2, "DGC", "X");
  Attach(a.f3, "HP", "Y");  // would be invalid, but is already done
  a.f2->SubsystemCheckDone = true;
  a.f3->SubsystemCheckDone = true;
  VerboseLevel = 3;
  EXPECT_EQ("", CapturedWalk(a.f2));
  VerboseLevel = 4;
  EXPECT_EQ(AlreadyDone(a.f2) + AlreadyDone(a.f3), CapturedWalk(a.f2));
  EXPECT_EQ(1, flags_.CtrlSpecificSubsystemEquality);
  EXPECT_EQ(1, flags_.CtrlVendorSpecificSubsystemEquality);
  EXPECT_EQ(0, flags_.InvalidCtrlSubsystemCombinationFound);
  EXPECT_EQ(nullptr, flags_.VendorReferenceSubsystem);
}

// --- chains that loop ----------------------------------------------------

TEST_F(WalkTest, FlashPartnerThatIsItsOwnChainIsExaminedOnce) {
  hba_info* fcoe = AddPort("SN1", "FCoE", "0", "0");
  fcoe->FlashPartner = fcoe;
  fcoe->NextFCoEPort = fcoe;
  EXPECT_EQ(Header(fcoe) + "\n", CapturedWalk(fcoe));
  EXPECT_TRUE(fcoe->SubsystemCheckDone);
}

TEST_F(WalkTest, LoopOfTwoEndsTheWalk) {
  Adapter a = AddAdapter("SN1");
  a.f3->NextFCoEPort = a.f2;
  EXPECT_EQ(Header(a.f2) + "\n" + Header(a.f3) + "\n", CapturedWalk(a.f3));
}

TEST_F(WalkTest, LongLoopThroughUnfittingPortsEndsTheWalk) {
  conditions_.Allow(entry_, "DGC", "");
  hba_info* partner = AddPort("SN1", "NIC", "0", "0");
  hba_info* chain[5];
  for (int i = 0; i < 5; ++i) chain[i] = AddPort("SN1", "FCoE", "0", std::to_string(i + 1));
  chain[2]->Model.assign_cut("LPe16002");  // does not fit the entry
  partner->FlashPartner = partner;
  partner->NextFCoEPort = chain[0];
  for (int i = 0; i < 4; ++i) chain[i]->NextFCoEPort = chain[i + 1];
  chain[4]->NextFCoEPort = chain[1];  // back into the middle
  for (hba_info* p : chain) Attach(p, "DGC", "X");

  std::string out = CapturedWalk(partner);
  EXPECT_EQ(4, Count(out, "Perform subsystem check for"));
  EXPECT_FALSE(chain[2]->SubsystemCheckDone);
  EXPECT_EQ(1, flags_.CtrlSpecificSubsystemEquality);
  // Walking again finds every fitting port done.
  VerboseLevel = 4;
  out = CapturedWalk(partner);
  EXPECT_EQ(4, Count(out, "Subsystem check already done"));
}

TEST_F(WalkTest, FlashPartnerOffTheChainIsNotExamined) {
  conditions_.Allow(entry_, "DGC", "");
  Adapter a = AddAdapter("SN1");
  a.partner->PortType.assign_cut("FCoE");
  Attach(a.partner, "HP", "Z");  // would be invalid
  Walk(a.partner);
  EXPECT_FALSE(a.partner->SubsystemCheckDone);
  EXPECT_EQ(0, flags_.InvalidCtrlSubsystemCombinationFound);
}

TEST_F(WalkTest, PortWithoutPartnerWalksNothing) {
  hba_info* lone = AddPort("SN1", "FCoE", "0", "2");
  VerboseLevel = 6;
  EXPECT_EQ(kDash + "\n", CapturedWalk(lone));
}

// --- fitting the entry ---------------------------------------------------

TEST_F(WalkTest, EntryVendorAndModelArePrefixesOfThePort) {
  struct Case {
    const char* vendor;
    const char* model;
    bool fits;
  };
  for (Case c : {Case{"Emu", "OCe14", true}, Case{"", "", true},
                 Case{"Emulex", "OCe14102", true}, Case{"Emulex Corp", "", false},
                 Case{"emulex", "", false}, Case{"Emulex", "LPe", false},
                 Case{"", "OCe14102-U", false}}) {
    conditions_.Clear();
    fc_config_file_entry* entry = conditions_.AddEntry(c.vendor, c.model);
    conditions_.Allow(entry, "DGC", "");
    conditions_.Install();
    Adapter a = AddAdapter("SN1");
    Attach(a.f2, "DGC", "X");
    std::string out = CapturedWalk(a.f2);
    EXPECT_EQ(c.fits, a.f2->SubsystemCheckDone) << c.vendor << "/" << c.model;
    EXPECT_EQ(c.fits, a.f3->SubsystemCheckDone) << c.vendor << "/" << c.model;
    if (!c.fits) {
      EXPECT_EQ("", out);
    }
  }
}

TEST_F(WalkTest, UnfittingPortIsLeftForALaterEntry) {
  conditions_.Allow(entry_, "DGC", "");
  fc_config_file_entry* other = conditions_.AddEntry("Emulex", "LPe");
  conditions_.Allow(other, "DGC", "");
  conditions_.Install();
  Adapter a = AddAdapter("SN1");
  a.f3->Model.assign_cut("LPe16002");
  Walk(a.f2);
  EXPECT_TRUE(a.f2->SubsystemCheckDone);
  EXPECT_FALSE(a.f3->SubsystemCheckDone);
  DoSubSystemCheck(a.f2, conditions_.Slot(1), &flags_);
  EXPECT_TRUE(a.f3->SubsystemCheckDone);
}

// --- nothing attached, invalid ports, references -------------------------

TEST_F(WalkTest, PortWithoutStorageIsMarkedAndChangesNoFlag) {
  Adapter a = AddAdapter("SN1");
  EXPECT_EQ(Header(a.f2) + "\n" + Header(a.f3) + "\n", CapturedWalk(a.f2));
  EXPECT_TRUE(a.f2->SubsystemCheckDone);
  EXPECT_TRUE(a.f3->SubsystemCheckDone);
  EXPECT_EQ(1, flags_.CtrlSpecificSubsystemEquality);
  EXPECT_EQ(1, flags_.CtrlVendorSpecificSubsystemEquality);
  EXPECT_EQ(nullptr, flags_.VendorReferenceSubsystem);
}

TEST_F(WalkTest, InvalidPortEndsTheWalkAndASecondWalkPicksUpTheRest) {
  conditions_.Allow(entry_, "DGC", "VRAID");
  Adapter a = AddAdapter("SN1");
  Attach(a.f2, "DGC", "X");
  Attach(a.f3, "DGC", "VRAID");
  VerboseLevel = 2;
  std::string first = CapturedWalk(a.f2);
  EXPECT_EQ(1, Count(first, "Perform subsystem check for"));
  EXPECT_NE(std::string::npos,
            first.find("for this controller-device.\n" + PortLine("\t\t\t", a.f2)));
  EXPECT_TRUE(a.f2->SubsystemCheckDone);
  EXPECT_FALSE(a.f3->SubsystemCheckDone);
  EXPECT_EQ(1, flags_.InvalidCtrlSubsystemCombinationFound);
  EXPECT_EQ(0, flags_.CtrlSpecificSubsystemEquality);
  EXPECT_EQ(0, flags_.CtrlVendorSpecificSubsystemEquality);
  EXPECT_EQ(nullptr, flags_.VendorReferenceSubsystem);

  // The second walk starts a new controller reference at the next port.
  std::string second = CapturedWalk(a.f3);
  EXPECT_NE(std::string::npos,
            second.find("for this controller-device.\n" + PortLine("\t\t\t", a.f3)));
  EXPECT_TRUE(a.f3->SubsystemCheckDone);
  EXPECT_EQ(a.f3, flags_.VendorReferenceSubsystem);
}

TEST_F(WalkTest, FirstPortWithStorageIsTheControllerReference) {
  conditions_.Allow(entry_, "DGC", "");
  conditions_.Allow(entry_, "HP", "");
  Adapter a = AddAdapter("SN1");
  hba_info* f4 = AddPort("SN1", "FCoE", "1", "4");
  f4->FlashPartner = a.partner;
  a.f3->NextFCoEPort = f4;
  Attach(a.f3, "DGC", "X");  // f2 has nothing attached
  Attach(f4, "HP", "Y");
  VerboseLevel = 2;
  std::string out = CapturedWalk(a.f2);
  EXPECT_NE(std::string::npos,
            out.find("for this controller-device.\n" + PortLine("\t\t\t", a.f3)));
  EXPECT_NE(std::string::npos,
            out.find("\t\tThis sub-system differs from controller specific "
                     "reference-sub-system.\n" +
                     PortLine("\t\t\t", f4)));
  // The vendor test compares the controller references: f3 with itself.
  EXPECT_NE(std::string::npos, out.find("vendor specific reference-sub-system 0 >DGC< >DGC<.\n"
                                        "\t\tAt least one sub-system differs from vendor "
                                        "specific reference-sub-system (different vendors).\n\n"));
  EXPECT_EQ(a.f3, flags_.VendorReferenceSubsystem);
  EXPECT_EQ(0, flags_.CtrlSpecificSubsystemEquality);
  EXPECT_EQ(0, flags_.CtrlVendorSpecificSubsystemEquality);
  EXPECT_EQ(0, flags_.InvalidCtrlSubsystemCombinationFound);
}

TEST_F(WalkTest, InvalidPortBehindTheReferenceClearsBothIdentities) {
  conditions_.Allow(entry_, "DGC", "VRAID");
  Adapter a = AddAdapter("SN1");
  Attach(a.f2, "DGC", "VRAID");
  Attach(a.f3, "DGC", "X");
  VerboseLevel = 2;
  std::string out = CapturedWalk(a.f2);
  EXPECT_EQ(std::string::npos, out.find(PortLine("\t\t\t", a.f3)));
  EXPECT_TRUE(a.f3->SubsystemCheckDone);
  EXPECT_EQ(0, flags_.CtrlSpecificSubsystemEquality);
  EXPECT_EQ(0, flags_.CtrlVendorSpecificSubsystemEquality);
  EXPECT_EQ(a.f2, flags_.VendorReferenceSubsystem);
}

TEST_F(WalkTest, VendorReferenceSpansAdapters) {
  conditions_.Allow(entry_, "DGC", "");
  conditions_.Allow(entry_, "HP", "");
  Adapter a = AddAdapter("SN1");
  Adapter b = AddAdapter("SN2");
  Adapter c = AddAdapter("SN3");
  Attach(a.f2, "DGC", "X");
  Attach(b.f2, "DGC", "Y");
  Attach(c.f2, "HP", "Z");
  Attach(c.f3, "HP", "Z");
  VerboseLevel = 2;
  Walk(a.f2);
  EXPECT_NE(std::string::npos,
            CapturedWalk(b.f2).find("\t\tAll sub-systems are consistent with vendor specific "
                                    "reference-sub-system (only vendor-id was checked) "
                                    "10:00:SN1:02.\n\n"));
  EXPECT_EQ(1, flags_.CtrlVendorSpecificSubsystemEquality);

  std::string out = CapturedWalk(c.f2);
  EXPECT_NE(std::string::npos,
            out.find("vendor specific reference-sub-system 1 >DGC< >HP<.\n"
                     "\t\tAt least one sub-system differs from vendor specific "
                     "reference-sub-system (different vendors).\n\n"));
  // Once cleared, every later valid port repeats the message with 0.
  EXPECT_NE(std::string::npos, out.find("vendor specific reference-sub-system 0 >DGC< >HP<.\n"));
  EXPECT_EQ(a.f2, flags_.VendorReferenceSubsystem);
  EXPECT_EQ(1, flags_.CtrlSpecificSubsystemEquality);
  EXPECT_EQ(0, flags_.CtrlVendorSpecificSubsystemEquality);
}

// --- findings for explanations --------------------------------------------

// The check records why, without changing a flag or a message: the refused
// sub-systems in judging order, and the first break of each identity.
TEST_F(WalkTest, FindingsNameTheRefusedAndTheFirstBreaks) {
  conditions_.Allow(entry_, "DGC", "VRAID");
  conditions_.Allow(entry_, "HP", "");
  Adapter a = AddAdapter("SN1");  // DGC, then HP behind the same partner
  Adapter b = AddAdapter("SN2");  // HP only: differs from the run's DGC
  Adapter c = AddAdapter("SN3");  // a refused LUNZ
  Attach(a.f2, "DGC", "VRAID");
  Attach(a.f3, "HP", "Z");
  Attach(b.f2, "HP", "Z");
  Attach(c.f2, "DGC", "LUNZ");
  Walk(b.f2);
  Walk(a.f2);
  Walk(c.f2);

  ASSERT_EQ(1u, flags_.RefusedSubsystems.size());
  const refused_subsystem& refused = flags_.RefusedSubsystems[0];
  EXPECT_EQ(c.f2, refused.Port);
  EXPECT_EQ(entry_, refused.Entry);
  EXPECT_EQ("DGC LUNZ 0533", std::string(refused.VendorID.c_str()) + " " +
                                 refused.ProductID.c_str() + " " +
                                 refused.ProductVersion.c_str());
  // Within controller a: HP against its reference DGC.
  EXPECT_EQ(a.f2, flags_.CtrlWideDifference.ReferencePort);
  EXPECT_EQ(a.f3, flags_.CtrlWideDifference.Port);
  EXPECT_TRUE(flags_.CtrlWideDifference.ReferenceVendor == "DGC");
  EXPECT_TRUE(flags_.CtrlWideDifference.Vendor == "HP");
  // Across controllers: a's reference DGC against the run's reference HP.
  EXPECT_EQ(b.f2, flags_.VendorWideDifference.ReferencePort);
  EXPECT_EQ(a.f2, flags_.VendorWideDifference.Port);
  EXPECT_TRUE(flags_.VendorWideDifference.ReferenceVendor == "HP");
  EXPECT_TRUE(flags_.VendorWideDifference.Vendor == "DGC");
}

// --- vendor comparison ---------------------------------------------------

TEST_F(WalkTest, VendorComparisonIsExact) {
  hba_info* reference = AddPort("SN1", "FCoE", "0", "2");
  hba_info* port = AddPort("SN1", "FCoE", "1", "3");
  EXPECT_FALSE(NewCompareWithReferenceSystem(reference, port));  // nothing attached
  Attach(reference, "DGC", "A");
  EXPECT_FALSE(NewCompareWithReferenceSystem(reference, port));
  EXPECT_FALSE(NewCompareWithReferenceSystem(port, reference));
  Attach(port, "DGC", "B");
  EXPECT_FALSE(NewCompareWithReferenceSystem(reference, port));
  for (const char* other : {"dgc", "DGC ", "DG", "HP"}) {
    Attach(port, other, "A");
    EXPECT_TRUE(NewCompareWithReferenceSystem(reference, port)) << other;
  }
}

}  // namespace
