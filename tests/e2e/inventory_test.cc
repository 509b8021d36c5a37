// The inventory as the caller meets it: where hbacmd is found, which calls
// reach it and in which order, the report files they leave, the runs that
// end before any check (no hbacmd, no port, no flash partner, a failing
// listhbas, simulation without reports) and the inventory listing, in
// both builds.  Hostile texts in hbacmd's reports reach hbacmd as single
// arguments and are never run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/support/screen_text.h"

namespace {

using test_support::Contains;
using test_support::Replace;

using Calls = std::vector<std::string>;

// The calls the simulator logged after the first `*seen`; moves `*seen`
// to the end of the log.
Calls NewCalls(const e2e::Scenario& scenario, std::size_t* seen) {
  Calls all = scenario.SimCalls();
  Calls fresh(all.begin() + static_cast<std::ptrdiff_t>(std::min(*seen, all.size())), all.end());
  *seen = all.size();
  return fresh;
}

// Runs the usual selection: it must pass, leave stderr empty and call
// hbacmd exactly as listed since the first `*seen` calls.
e2e::Result PassesAfterCalls(const e2e::Scenario& scenario, e2e::Build build,
                             std::size_t* seen, const Calls& calls) {
  e2e::Result result = scenario.Run(build, {"-pci-id", "19A2:0714"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.err);
  EXPECT_EQ(calls, NewCalls(scenario, seen));
  return result;
}

// cna-basic: NIC 0/1 addressed by MAC, FCoE 2/3 by WWN, targetmapping for
// the FCoE ports only.
const Calls kCnaBasicCalls = {
    "listhbas",
    "hbaattributes 00-90-FA-AA-BB-00",
    "hbaattributes 00-90-FA-AA-BB-01",
    "hbaattributes 10:00:00:90:fa:aa:bb:02",
    "hbaattributes 10:00:00:90:fa:aa:bb:03",
    "targetmapping 10:00:00:90:fa:aa:bb:02",
    "targetmapping 10:00:00:90:fa:aa:bb:03",
};

const char kSbinMissing[] =
    "Info: Flash command /usr/sbin/ocmanager/hbacmd is not available: No such file or "
    "directory\n\n";
const char kOptMissing[] =
    "Error: Flash command /opt/emulex/ocmanager/bin/hbacmd is not available: No such file or "
    "directory\n\n";
const char kNoBladeEngine[] = "\nNo Blade Engine was found in this system.\n\n";

TEST(Inventory, HbacmdIsLookedForInSbinThenOpt) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  scenario.UseSite("cna-basic");
  std::size_t seen = 0;
  const std::string found_sbin = "Info: Found flash command: /usr/sbin/ocmanager/hbacmd\n\n";
  const std::string found_opt = "Info: Found flash command: /opt/emulex/ocmanager/bin/hbacmd\n\n";
  struct Case {
    e2e::Hbacmd place;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {e2e::Hbacmd::kBoth, found_sbin},
      {e2e::Hbacmd::kSbin, found_sbin},
      {e2e::Hbacmd::kOpt, kSbinMissing + found_opt},
  };
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const Case& c : cases) {
      e2e::Result result =
          scenario.Run(build, {"-v", "3", "-pci-id", "19A2:0714"}, e2e::HbacmdAt(c.place));
      EXPECT_EQ(0, result.status);
      EXPECT_TRUE(Contains(result.out, "HBA conditions file: ./FC_HBA_Conditions.txt\n" + c.shown))
          << result.out;
      if (c.place != e2e::Hbacmd::kOpt) {
        EXPECT_FALSE(Contains(result.out, "Info: Flash command"));
      }
      EXPECT_EQ(kCnaBasicCalls, NewCalls(scenario, &seen));
    }

    e2e::Result result = scenario.Run(build, {}, e2e::NoHbacmd());
    EXPECT_EQ(21, result.status);
    EXPECT_EQ(kOptMissing, result.out);
    EXPECT_EQ("", result.err);
    result = scenario.Run(build, {"-v", "3"}, e2e::NoHbacmd());
    EXPECT_EQ(21, result.status);
    EXPECT_TRUE(Contains(result.out, std::string(kSbinMissing) + kOptMissing)) << result.out;
    EXPECT_EQ(Calls{}, NewCalls(scenario, &seen));
  });
}

// FC ports by WWN with targetmapping, NIC and iSCSI functions by MAC
// without; every report lands in the working directory under the port's
// serial number and PCI function.
TEST(Inventory, CallsAndReportFiles) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  scenario.UseSite("mixed");
  std::size_t seen = 0;
  e2e::ForEachBuild([&](e2e::Build build) {
    e2e::Result result = PassesAfterCalls(scenario, build, &seen, {
        "listhbas",
        "hbaattributes 10:00:00:00:c9:a1:b2:c0",
        "hbaattributes 10:00:00:00:c9:a1:b2:c1",
        "hbaattributes 00-90-FA-55-66-00",
        "hbaattributes 00-90-FA-55-66-01",
        "hbaattributes 10:00:00:90:fa:55:66:02",
        "hbaattributes 10:00:00:90:fa:55:66:03",
        "hbaattributes 00-90-FA-99-00-00",
        "hbaattributes 00-90-FA-99-00-01",
        "hbaattributes 00-90-FA-99-00-02",
        "hbaattributes 00-90-FA-99-00-03",
        "targetmapping 10:00:00:00:c9:a1:b2:c0",
        "targetmapping 10:00:00:00:c9:a1:b2:c1",
        "targetmapping 10:00:00:90:fa:55:66:02",
        "targetmapping 10:00:00:90:fa:55:66:03",
    });
    EXPECT_EQ((std::vector<std::string>{
                  "FC55667788_0_hba_attributes.out",
                  "FC55667788_1_hba_attributes.out",
                  "FC55667788_2_hba_attributes.out",
                  "FC55667788_2_target_mapping.out",
                  "FC55667788_3_hba_attributes.out",
                  "FC55667788_3_target_mapping.out",
                  "FC99001122_0_hba_attributes.out",
                  "FC99001122_1_hba_attributes.out",
                  "FC99001122_2_hba_attributes.out",
                  "FC99001122_3_hba_attributes.out",
                  "FC_HBA_Conditions.txt",
                  "VM11223344_0_hba_attributes.out",
                  "VM11223344_0_target_mapping.out",
                  "VM11223344_1_hba_attributes.out",
                  "VM11223344_1_target_mapping.out",
                  "local_hba_list.out",
              }),
              scenario.List());
    EXPECT_EQ(0u, scenario.Read("local_hba_list.out").find("Manageable HBA List\n"));
  });
}

TEST(Inventory, NoPortAtAll) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  scenario.UseSite("empty");
  std::size_t seen = 0;
  e2e::ForEachBuild([&](e2e::Build build) {
    struct Case {
      std::vector<std::string> args;
      int status;
      std::string out;
    };
    for (const Case& c : std::vector<Case>{
             {{}, 13, kNoBladeEngine},
             {{"--dov-mode"}, 0, kNoBladeEngine},
             {{"--silent"}, 13, ""},
         }) {
      e2e::Result result = scenario.Run(build, c.args);
      EXPECT_EQ(c.status, result.status);
      EXPECT_EQ(c.out, result.out);
      EXPECT_EQ("", result.err);
      EXPECT_EQ(Calls{"listhbas"}, NewCalls(scenario, &seen));
    }
  });
}

// An adapter is flashed through function 0 on port 0, else through
// function 1 on port 1; an adapter with neither ends the run with 22
// before any check, and silently.
TEST(Inventory, FlashPartner) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  e2e::ForEachBuild([&](e2e::Build build) {
    scenario.UseSite("no-function0");
    e2e::Result result = scenario.Run(build, {"-pci-id", "19A2:0714"});
    EXPECT_EQ(0, result.status);
    EXPECT_TRUE(Contains(result.out, "PCI function: 2\n")) << result.out;

    // Port 1 function 0 and port 0 function 1 do not count.
    scenario.UseSite(
        "adapter FC00000022\n"
        "  model OCe14102-UM\n"
        "  pci 19A2 0714 10DF E70E\n"
        "port NIC 1 0 00-90-FA-00-22-00\n"
        "port NIC 0 1 00-90-FA-00-22-01\n"
        "port FCoE 0 2 10:00:00:90:fa:00:22:02\n"
        "  lun DGC VRAID 0533\n");
    result = scenario.Run(build, {"-pci-id", "19A2:0714"});
    EXPECT_EQ(22, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);
  });
}

// An adapter that reports no serial number: its commands run all the
// same, its reports are not read and its ports are never checked (its
// storage here would be invalid).  Its report files name a directory "n"
// below the working directory; where that is missing the shell refuses
// the redirection, which changes nothing for the run.
TEST(Inventory, AdapterWithoutSerialNumber) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  scenario.UseSite(
      "adapter n/a\n"
      "  model OCe14102-UM\n"
      "  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0 00-90-FA-0A-0B-00\n"
      "port FCoE 0 2 10:00:00:90:fa:0a:0b:02\n"
      "  lun DGC LUNZ 0533\n"
      "adapter FC12345678\n"
      "  model OCe14102-UM\n"
      "  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0 00-90-FA-AA-BB-00\n"
      "port FCoE 0 2 10:00:00:90:fa:aa:bb:02\n"
      "  lun DGC VRAID 0533\n");
  const std::string skipped =
      "\t\tNo serial number => SKIP!\n"
      "\t\tNo serial number => SKIP!\n"
      "\t\t\tNo serial number => SKIP!\n";
  std::size_t seen = 0;
  e2e::ForEachBuild([&](e2e::Build build) {
    std::filesystem::remove_all(scenario.Path("n"));
    e2e::Result refused = scenario.Run(build, {"-pci-id", "19A2:0714"});
    EXPECT_EQ(0, refused.status);
    EXPECT_NE("", refused.err);  // the shell's complaint
    NewCalls(scenario, &seen);

    scenario.MakeDirectory("n");
    e2e::Result result = PassesAfterCalls(scenario, build, &seen, {
        "listhbas",
        "hbaattributes 00-90-FA-0A-0B-00",
        "hbaattributes 10:00:00:90:fa:0a:0b:02",
        "hbaattributes 00-90-FA-AA-BB-00",
        "hbaattributes 10:00:00:90:fa:aa:bb:02",
        "targetmapping 10:00:00:90:fa:0a:0b:02",
        "targetmapping 10:00:00:90:fa:aa:bb:02",
    });
    EXPECT_EQ((std::vector<std::string>{"a_0_hba_attributes.out", "a_2_hba_attributes.out",
                                        "a_2_target_mapping.out"}),
              scenario.List("n"));
    EXPECT_EQ(0u, result.out.find(skipped)) << result.out;
    EXPECT_FALSE(Contains(result.out, "SerialNumber: n/a"));
    EXPECT_TRUE(Contains(result.out, "SerialNumber: FC12345678 PortType: FCoE"));
    EXPECT_EQ(refused.out, result.out);
  });
}

// --simulate starts no command and builds the inventory from the reports
// that an earlier run left in the working directory.
TEST(Inventory, SimulateReadsEarlierReports) {
  E2E_REQUIRE_SANDBOX();
  e2e::ForEachBuild([&](e2e::Build build) {
    e2e::Scenario scenario;
    scenario.UseSampleConditions();
    scenario.UseSite("invalid-storage");
    std::size_t seen = 0;
    e2e::Result result = scenario.Run(build, {"--simulate", "-pci-id", "19A2:0714"});
    EXPECT_EQ(51, result.status);
    EXPECT_EQ("Error: Could not open file .//local_hba_list.out\n", result.out);
    EXPECT_EQ(Calls{}, NewCalls(scenario, &seen));

    result = scenario.Run(build, {"-pci-id", "19A2:0714"});
    EXPECT_EQ(4, result.status);
    EXPECT_EQ(7u, NewCalls(scenario, &seen).size());

    // The site has changed since, but the reports have not.
    scenario.UseSite("cna-basic");
    e2e::Result simulated = scenario.Run(build, {"--simulate", "-pci-id", "19A2:0714"});
    EXPECT_EQ(4, simulated.status);
    EXPECT_EQ(result.out, simulated.out);
    EXPECT_EQ(Calls{}, NewCalls(scenario, &seen));
  });
}

// A failing listhbas ends the run with 55 at every level: its report is
// no inventory.
TEST(Inventory, FailingListhbas) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  scenario.UseSite(
      "listhbas-status 3\n"
      "adapter FC12345678\n"
      "  model OCe14102-UM\n"
      "  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0 00-90-FA-AA-BB-00\n");
  std::size_t seen = 0;
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--silent"}, {"-v", "4"}}) {
      e2e::Result result = scenario.Run(build, args);
      EXPECT_EQ(55, result.status);
      EXPECT_EQ("", result.err);
      if (args.empty() || args[0] == "--silent") {
        EXPECT_EQ("", result.out);
      } else {
        EXPECT_TRUE(result.out.ends_with(
            "\nFail, \"hbacmd listhbas\" command returned code 768.\n"))
            << result.out;
      }
      EXPECT_EQ(Calls{"listhbas"}, NewCalls(scenario, &seen));
    }
  });
}

// From level 4 on the FCoE ports are listed, each with its storage when
// the storage names a vendor: not the pure FC HBA, not the NIC or iSCSI
// functions, no storage lines for a port without LUNs or with a LUN that
// names no vendor.  Every port shows "port 0".
TEST(Inventory, ListingOfFCoEPorts) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  scenario.UseSite(
      "adapter VM11223344\n"
      "  model LPe12002-M8\n"
      "  pci 10DF F100 10DF F100\n"
      "port FC 0 0 10:00:00:00:c9:a1:b2:c0\n"
      "  lun IBM 2145 0000\n"
      "adapter FC99001122\n"
      "  model OCe11102-IM\n"
      "  pci 19A2 0712 10DF E612\n"
      "port NIC 0 0 00-90-FA-99-00-00\n"
      "port iSCSI 0 2 00-90-FA-99-00-02\n"
      "adapter FC55667788\n"
      "  model OCe11102-FM\n"
      "  mfg \"Emulex Corp.\"\n"
      "  pci 19A2 0714 10DF E602\n"
      "port NIC 0 0 00-90-FA-55-66-00\n"
      "port FCoE 1 3 10:00:00:90:fa:55:66:03\n"
      "  lun \"\" \"\" \"\"\n"
      "port FCoE 0 2 10:00:00:90:fa:55:66:02\n"
      "  lun NETAPP LUN 8020\n"
      "port FCoE 1 5 10:00:00:90:fa:55:66:05\n");
  const std::string stars =
      "********************************************************************************";
  const std::string listing =
      "\n" + stars + " \n"
      "\nList of Fibre-Channel-Controller and attached Online-Storage-Systems:\n\n"
      "  Emulex Corp.\tOCe11102-FM\tFCoE\tFC55667788  port 0  function 2\n"
      "\n\tNETAPP\n\tLUN\n\t8020\n"
      "\n"
      "  Emulex Corp.\tOCe11102-FM\tFCoE\tFC55667788  port 0  function 3\n"
      "\n"
      "  Emulex Corp.\tOCe11102-FM\tFCoE\tFC55667788  port 0  function 5\n"
      "\n"
      "\n" + stars + "\n";
  e2e::ForEachBuild([&](e2e::Build build) {
    e2e::Result result = scenario.Run(build, {"-v", "4"});
    EXPECT_EQ(12, result.status);
    EXPECT_TRUE(Contains(result.out, "Info: Found flash command: "
                                     "/opt/emulex/ocmanager/bin/hbacmd\n\n" + listing))
        << result.out;

    result = scenario.Run(build, {"-v", "3"});
    EXPECT_EQ(12, result.status);
    EXPECT_FALSE(Contains(result.out, "List of Fibre-Channel-Controller")) << result.out;
  });
}

// Serial numbers and addresses that a shell would run: each reaches
// hbacmd as one argument or names one report file, and nothing runs.
TEST(Inventory, HostileTextsAreNeverRun) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  scenario.UseSite(
      "adapter \"X';touch pwned;'\"\n"
      "  model OCe14102-UM\n"
      "  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0 00-90-FA-AA-BB-00\n"
      "port NIC 1 1 \"X;touch pwned\"\n"
      "port FCoE 0 2 10:00:00:90:fa:aa:bb:02\n"
      "  lun DGC VRAID 0533\n"
      "port FCoE 1 3 \"`touch pwned`\"\n"
      "  lun DGC VRAID 0533\n"
      "adapter $(touch${IFS}pwned)\n"
      "  model OCe14102-UM\n"
      "  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0 00-90-FA-CC-DD-00\n"
      "port FCoE 0 2 \"$(touch pwned)|&\"\n"
      "  lun DGC \"RAID 5\" 0533\n");
  const std::string adapter1 = "X';touch pwned;'";
  const std::string adapter2 = "$(touch${IFS}pwned)";
  std::size_t seen = 0;
  e2e::ForEachBuild([&](e2e::Build build) {
    e2e::Result result = PassesAfterCalls(scenario, build, &seen, {
        "listhbas",
        "hbaattributes 00-90-FA-AA-BB-00",
        "hbaattributes X;touch pwned",
        "hbaattributes 10:00:00:90:fa:aa:bb:02",
        "hbaattributes `touch pwned`",
        "hbaattributes 00-90-FA-CC-DD-00",
        "hbaattributes $(touch pwned)|&",
        "targetmapping 10:00:00:90:fa:aa:bb:02",
        "targetmapping `touch pwned`",
        "targetmapping $(touch pwned)|&",
    });
    // The simulator knew each address, so each came as one argument.
    EXPECT_EQ(0u, scenario.Read(adapter1 + "_1_hba_attributes.out")
                      .find("HBA Attributes for X;touch pwned\n"));
    EXPECT_EQ(0u, scenario.Read(adapter1 + "_3_target_mapping.out")
                      .find("Target Mapping for `touch pwned`:\n"));
    EXPECT_EQ(0u, scenario.Read(adapter2 + "_2_target_mapping.out")
                      .find("Target Mapping for $(touch pwned)|&:\n"));
    EXPECT_TRUE(Contains(result.out, "SerialNumber: " + adapter1 + " PortType: FCoE PortNumber: 1"))
        << result.out;
    EXPECT_TRUE(Contains(result.out, "SerialNumber: " + adapter2 + " PortType: FCoE"))
        << result.out;

    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(scenario.Path() + "/.."))
      EXPECT_NE("pwned", entry.path().filename()) << entry.path();
  });
}

// The killed command leaves no report: the port would match no selection
// and --dov-mode would turn "no controller" into success.
// The listhbas pass at level 6 shows each value as read, also one longer
// than the field that keeps it.
TEST(Inventory, ListhbasEchoShowsValuesAsRead) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  std::string site = e2e::SiteText("cna-basic");
  site = Replace(site, "  bus 4\n", "  bus 12345\n");
  site = Replace(site, "port FCoE 0 2 10:00:00:90:fa:aa:bb:02\n",
                 "port FCoE 0 2 10:00:00:90:fa:aa:bb:02\n  mode \"Initiator and Target\"\n");
  site += "port NIC 0 5 00-90-FA-AA-BB-05-LONGER\n";
  scenario.UseSite(site);
  e2e::ForEachBuild([&](e2e::Build build) {
    e2e::Result result = scenario.Run(build, {"-v", "6", "-pci-id", "19A2:0714"});
    EXPECT_EQ(0, result.status);
    EXPECT_TRUE(Contains(result.out, "\n5)\tPermanentMAC: 00-90-FA-AA-BB-05-LONGER\n"))
        << result.out;
    EXPECT_TRUE(Contains(result.out, "\tInitiator and Target\n"));
    EXPECT_TRUE(Contains(result.out, "\t12345\n"));
  });
}

TEST(Inventory, KilledHbaattributesIsAMissingReport) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.UseSampleConditions();
  // The last port of cna-basic, FCoE function 3.
  scenario.UseSite(e2e::SiteText("cna-basic") + "  hbaattributes-signal 9\n");
  std::size_t seen = 0;
  e2e::ForEachBuild([&](e2e::Build build) {
    e2e::Result result = scenario.Run(build, {"--dov-mode", "-pci-id", "19A2:0714"});
    EXPECT_EQ(51, result.status);
    EXPECT_EQ("Error: \"hbacmd hbaattributes 10:00:00:90:fa:aa:bb:03\" did not complete "
              "(status 35072); its report is not used.\n",
              result.out);
    EXPECT_EQ(Calls(kCnaBasicCalls.begin(), kCnaBasicCalls.begin() + 5), NewCalls(scenario, &seen));
  });
}

}  // namespace
