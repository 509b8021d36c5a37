// The sub-system check as the caller meets it: the status of each check
// mode on the shipped sites with the sample conditions file, the exact
// screen output of small runs at levels 1 and 2, and the flag block at
// level 6, in both builds.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/support/screen_text.h"

namespace {

// A port of the shipped sites' OCe14102 as the check names it.
test_support::PortFields Port(const std::string& serial, const std::string& number,
                            const std::string& function) {
  return {"Emulex Corporation", "OCe14102-UM", serial, "FCoE", number, function, "", ""};
}

// The header of one examined port and its port line (indented one tab
// deeper under a reference message).
std::string PortLine(const std::string& serial, const std::string& number,
                     const std::string& function, bool indented = false) {
  return test_support::PortLine(indented ? "\t\t\t" : "\t\t", Port(serial, number, function));
}

std::string Header(const std::string& serial, const std::string& number,
                   const std::string& function) {
  return test_support::CheckHeader(Port(serial, number, function));
}

std::string Attached(const std::string& vendor, const std::string& product,
                     const std::string& version) {
  return "\n\t\tAttached storage sub-system:\n"
         "\t\t\t\t" + vendor + "\n\t\t\t\t" + product + "\n\t\t\t\t" + version + "\n";
}

struct CheckRun {
  std::string site;
  std::vector<std::string> args;
  int status;
};

std::string Describe(const CheckRun& run) {
  std::string text = run.site + ":";
  for (const std::string& arg : run.args) text += " " + arg;
  return text;
}

// Statuses 0, 1 and 4 are also shown by the runs of ScreenOutput.
TEST(Check, StatusOfEachMode) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  const std::vector<CheckRun> runs = {
      // Two vendors, each consistent within its controller.
      {"two-cnas-two-vendors", {"-pci-id", "19A2:0714", "--ctrl-vendor-wide-identical"}, 2},
      {"two-cnas-two-vendors", {"-pci-id", "19A2:0714", "--ctrl-wide-identical"}, 0},
      // Two vendors behind one controller: valid, so the validity check
      // passes; vendor-wide identity fails too and is reported first.
      {"one-controller-two-vendors", {"-pci-id", "19A2:0714"}, 0},
      {"one-controller-two-vendors",
       {"-pci-id", "19A2:0714", "--ctrl-wide-identical", "--ctrl-vendor-wide-identical"},
       2},
      // Nothing installed matches (or nothing is selected): no controller,
      // unless in dov mode.
      {"cna-basic", {"-pci-id", "10DF:F100"}, 12},
      {"cna-basic", {"-pci-id", "10DF:F100", "--dov-mode"}, 0},
      {"cna-basic", {}, 12},
  };
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const CheckRun& run : runs) {
      SCOPED_TRACE(Describe(run));
      scenario.UseSite(run.site);
      e2e::Result result = scenario.Run(build, run.args);
      EXPECT_EQ(run.status, result.status);
      EXPECT_EQ("", result.err);
    }
  });
}

// One OCe14102 whose only FCoE port sees the given LUNs (site lines).
std::string OnePortSeeing(const std::string& luns) {
  return "adapter FC24681357\n"
         "  model OCe14102-UM\n"
         "  pci 19A2 0714 10DF E70E\n"
         "port NIC 0 0 00-90-FA-24-68-00\n"
         "port FCoE 0 2 10:00:00:90:fa:24:68:02\n" +
         luns;
}

// Every sub-system a port sees is judged, not only its last LUN: a
// disallowed LUNZ beside an allowed VRAID fails in either order, two
// allowed arrays pass, and two vendors on one port break controller-wide
// identity.
TEST(Check, EverySubsystemOfAPortIsJudged) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  const std::string lunz = "  lun DGC LUNZ 0533\n";
  const std::string vraid = "  lun DGC VRAID 0533\n";
  const std::string hitachi = "  lun HITACHI OPEN-V 8001\n";
  const std::vector<std::pair<std::string, CheckRun>> runs = {
      {OnePortSeeing(lunz + vraid + vraid), {"LUNZ, VRAID", {"-pci-id", "19A2:0714"}, 4}},
      {OnePortSeeing(vraid + lunz + vraid), {"VRAID, LUNZ", {"-pci-id", "19A2:0714"}, 4}},
      {OnePortSeeing(vraid + hitachi + vraid), {"VRAID, OPEN-V", {"-pci-id", "19A2:0714"}, 0}},
      {OnePortSeeing(vraid + hitachi),
       {"VRAID, OPEN-V", {"-pci-id", "19A2:0714", "--ctrl-wide-identical"}, 1}},
  };
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const auto& [site, run] : runs) {
      SCOPED_TRACE(Describe(run));
      scenario.UseSite(site);
      e2e::Result result = scenario.Run(build, run.args);
      EXPECT_EQ(run.status, result.status) << result.out;
      EXPECT_EQ("", result.err);
    }
  });
}

struct Expected {
  CheckRun run;
  std::string out;
};

TEST(Check, ScreenOutput) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();

  // A VRAID checked against the sample's VRAID,RAID 5 group: valid.
  const std::string vraid_ok =
      "\t\t\tCheck subsystem: 'VRAID' Attached subsystem: 'VRAID'\t\t\t--> OK\n"
      "\tAlready identified reference subsystems: VRAID  Subsystem group: VRAID,RAID 5\n"
      "\tReference subsystem VRAID found in Group: VRAID,RAID 5\n"
      "\t\t\tAll reference subsystems appear in the same group: VRAID,RAID 5\n"
      "\n";

  // Level 1: the ports examined, the storage and its model-group checks.
  // The first FCoE port sees a "VRAID" and then a "RAID 5": each is judged,
  // in that order; the second port sees a "VRAID".
  const std::string valid_at_1 =
      Header("FC12345678", "0", "2") + Attached("DGC", "VRAID", "0533") + vraid_ok + "\n" +
      Attached("DGC", "RAID 5", "0533") +
      "\t\t\tCheck subsystem: 'VRAID' Attached subsystem: 'RAID 5'\t\t\t--> Invalid subsystem!\n"
      "\t\tCheck subsystem: 'RAID 5' Attached subsystem: 'RAID 5'\t\t\t--> OK\n"
      "\tAlready identified reference subsystems: RAID 5  Subsystem group: VRAID,RAID 5\n"
      "\tReference subsystem RAID 5 found in Group: VRAID,RAID 5\n"
      "\t\t\tAll reference subsystems appear in the same group: VRAID,RAID 5\n"
      "\n"
      "\n" +
      Header("FC12345678", "1", "3") + Attached("DGC", "VRAID", "0533") + vraid_ok +
      "\n";

  // Level 2 adds the references.  An invalid sub-system still becomes the
  // controller's reference and ends that walk; the walk of the next port
  // of the adapter goes on behind it with a reference of its own.
  const std::string invalid_at_2 =
      Header("FC11112222", "0", "2") + Attached("DGC", "LUNZ", "0533") +
      "\t\t\tCheck subsystem: 'VRAID' Attached subsystem: 'LUNZ'\t\t\t--> Invalid subsystem!\n"
      "\t\tCheck subsystem: 'RAID 5' Attached subsystem: 'LUNZ'\t\t\t--> Invalid subsystem!\n"
      "\t\tTake this sub-system as reference-sub-system for this controller-device.\n" +
      PortLine("FC11112222", "0", "2", true) +
      "\n" +
      Header("FC11112222", "1", "3") + Attached("DGC", "VRAID", "0533") + vraid_ok +
      test_support::TakenAsReferences(Port("FC11112222", "1", "3"));

  // Only vendors are compared; the vendor-wide message names the vendor
  // reference's storage and the controller reference's, both DGC here.
  const std::string two_vendors_at_2 =
      Header("FC13572468", "0", "2") + Attached("DGC", "VRAID", "0533") + vraid_ok +
      test_support::TakenAsReferences(Port("FC13572468", "0", "2")) +
      Header("FC13572468", "1", "3") + Attached("HITACHI", "OPEN-V", "8001") +
      "\t\tCheck subsystem: 'OPEN-V' Attached subsystem: 'OPEN-V'\t\t\t--> OK\n"
      "\tAlready identified reference subsystems: OPEN-V  Subsystem group: OPEN-V\n"
      "\tReference subsystem OPEN-V found in Group: OPEN-V\n"
      "\t\t\tAll reference subsystems appear in the same group: OPEN-V\n"
      "\n"
      "\t\tThis sub-system differs from controller specific reference-sub-system.\n" +
      PortLine("FC13572468", "1", "3", true) +
      "\n"
      "vendor specific reference-sub-system 0 >DGC< >DGC<.\n"
      "\t\tAt least one sub-system differs from vendor specific reference-sub-system "
      "(different vendors).\n"
      "\n";

  const std::vector<Expected> expected = {
      {{"cna-basic", {"-pci-id", "19A2:0714"}, 0}, valid_at_1},
      // The invalid combination wins over the identity failure.
      {{"invalid-storage",
        {"-v", "2", "-pci-id", "19A2:0714", "--check-for-valid-subsystem",
         "--ctrl-wide-identical"},
        4},
       invalid_at_2},
      {{"one-controller-two-vendors",
        {"-v", "2", "-pci-id", "19A2:0714", "--ctrl-wide-identical"},
        1},
       two_vendors_at_2},
  };
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const Expected& e : expected) {
      SCOPED_TRACE(Describe(e.run));
      scenario.UseSite(e.run.site);
      e2e::Result result = scenario.Run(build, e.run.args);
      EXPECT_EQ(e.run.status, result.status);
      EXPECT_EQ(e.out, result.out);
      EXPECT_EQ("", result.err);
    }
  });
}

// Level 6 shows the flags before and after the check; the run ends
// right after them.
TEST(Check, FlagBlock) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  scenario.UseSite("one-controller-two-vendors");
  const std::string before =
      "\nInvalidCtrlSubsystemCombinationFound: 0 \n"
      "MatchingCtrlModelInstalled: 0 \n"
      "CtrlVendorSpecificSubsystemEquality: 1 \n"
      "CtrlSpecificSubsystemEquality: 1 \n";
  const std::string after =
      "OverallSubSystemCheck returned: 0 \n"
      "InvalidCtrlSubsystemCombinationFound: 0 \n"
      "MatchingCtrlModelInstalled: 1 \n"
      "CtrlVendorSpecificSubsystemEquality: 0 \n"
      "CtrlSpecificSubsystemEquality: 0 \n";
  e2e::ForEachBuild([&](e2e::Build build) {
    e2e::Result result =
        scenario.Run(build, {"-v", "6", "-pci-id", "19A2:0714", "--ctrl-wide-identical"});
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.out.find(before + "\n\n*********+")) << result.out;
    EXPECT_TRUE(result.out.ends_with(after)) << result.out;
  });
}

}  // namespace

namespace {

// Every FCoE port of an adapter is checked: the third and fourth FCoE ports
// of a four-port CNA, and an FCoE port that is its adapter's flash partner
// next to a second FCoE port.  Each site hides one disallowed LUN (DGC LUNZ)
// behind such a port.
TEST(Check, EveryFCoEPortOfAnAdapterIsChecked) {
  E2E_REQUIRE_SANDBOX();
  const std::string four_ports =
      "adapter FC44440000\n  model OCe14102-UM\n  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0 00-90-FA-44-00-00\n"
      "port FCoE 0 2 10:00:00:90:fa:44:00:02\n  lun DGC VRAID 0533\n"
      "port FCoE 1 3 10:00:00:90:fa:44:00:03\n  lun DGC VRAID 0533\n"
      "port FCoE 2 4 10:00:00:90:fa:44:00:04\n  lun DGC LUNZ 0533\n"
      "port FCoE 3 5 10:00:00:90:fa:44:00:05\n  lun DGC VRAID 0533\n";
  const std::string fcoe_partner =
      "adapter FC55550000\n  model OCe14102-UM\n  pci 19A2 0714 10DF E70E\n"
      "port FCoE 0 0 10:00:00:90:fa:55:00:00\n  lun DGC LUNZ 0533\n"
      "port FCoE 1 1 10:00:00:90:fa:55:00:01\n  lun DGC VRAID 0533\n";
  for (const std::string& site : {four_ports, fcoe_partner}) {
    e2e::Scenario scenario;
    scenario.UseSampleConditions();
    scenario.UseSite(site);
    e2e::ForEachBuild([&](e2e::Build build) {
      e2e::Result result = scenario.Run(build, {"-pci-id", "19A2:0714"});
      EXPECT_EQ(4, result.status) << result.out;
      EXPECT_NE(std::string::npos,
                result.out.find("Check subsystem: 'RAID 5' Attached subsystem: 'LUNZ'"))
          << result.out;
    });
  }
}

}  // namespace
