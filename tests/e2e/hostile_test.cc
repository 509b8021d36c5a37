// Hostile input: report values, conditions cells, image names and paths
// that hold shell metacharacters, over-long lines, NUL bytes, binary
// noise, CR LF line ends and a conditions file of 100,000 lines.  Every
// run, in both builds, must end with its defined status, reach hbacmd only
// with the calls it was asked to make (each value one argument, so the
// simulator knows the address and the image), and write nothing outside
// its work directory.  The payloads try to create "pwned" files in the
// work directory, beside it, and /tmp/fcguard-pwned-<pid>.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/cna_basic.h"
#include "tests/e2e/harness.h"
#include "tests/support/screen_text.h"

namespace {

namespace fs = std::filesystem;

using e2e::Result;
using e2e::Scenario;
using test_support::Replace;

using cna_basic::kMac0;
using cna_basic::kSerial;
using cna_basic::kWwn2;
// At verbose level 6 every parsed value and every command line is shown.
const std::vector<std::string> kCheckAndFlash = {
    "-v", "6", "--check-for-valid-subsystem", "--flash", "-pci-id", "19A2:0714"};
const std::vector<std::string> kCheck = {"-pci-id", "19A2:0714"};
const std::vector<std::string> kFlash = {"--flash", "-pci-id", "19A2:0714"};

// One OCe14102 CNA with NIC function 0 (the flash partner) and FCoE
// function 2 seeing allowed DGC storage; `head` goes before the adapter,
// `nic` and `fcoe` below the two ports.
std::string SmallSite(const std::string& head = "", const std::string& nic = "",
                      const std::string& fcoe = "") {
  return head +
         "adapter FC12345678\n"
         "  model OCe14102-UM\n"
         "  pci 19A2 0714 10DF E70E\n"
         "port NIC 0 0 00-90-FA-AA-BB-00\n" +
         nic +
         "port FCoE 0 2 10:00:00:90:fa:aa:bb:02\n"
         "  lun DGC VRAID 0533\n" +
         fcoe;
}

std::string Canary() { return "/tmp/fcguard-pwned-" + std::to_string(getpid()); }

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

fs::path Root(const Scenario& scenario) { return fs::path(scenario.Path()).parent_path(); }

// Writes a file beside work/ (raw reports, foreign directories) and
// returns its absolute path.
std::string WriteBeside(const Scenario& scenario, const std::string& relative,
                        const std::string& content) {
  fs::path path = Root(scenario) / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

// A call as the simulator's log writes it.
std::string Logged(std::string_view call) {
  std::string out;
  for (char c : call) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u >= 0x7f) {
      const char* hex = "0123456789abcdef";
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> LoggedCalls(const std::vector<std::string>& calls) {
  std::vector<std::string> out;
  for (const std::string& call : calls) out.push_back(Logged(call));
  return out;
}

struct Outcome {
  Result result;
  std::vector<std::string> calls;  // the simulator calls of this run
};

Outcome RunOnce(const Scenario& scenario, e2e::Build build, const std::vector<std::string>& args,
                const e2e::RunOptions& options = {}) {
  std::size_t before = scenario.SimCalls().size();
  Outcome run;
  run.result = scenario.Run(build, args, options);
  std::vector<std::string> calls = scenario.SimCalls();
  run.calls.assign(calls.begin() + before, calls.end());
  return run;
}

// The calls of a run that collects the inventory of SmallSite.
std::vector<std::string> SmallSiteCalls() {
  return {"listhbas", std::string("hbaattributes ") + kMac0,
          std::string("hbaattributes ") + kWwn2, std::string("targetmapping ") + kWwn2};
}

// The report files that collecting SmallSite leaves, under a serial
// number and the two PCI functions.
std::vector<std::string> ReportFiles(const std::string& serial, const std::string& f0,
                                     const std::string& f2) {
  return {serial + "_" + f0 + "_hba_attributes.out", serial + "_" + f2 + "_hba_attributes.out",
          serial + "_" + f2 + "_target_mapping.out", "local_hba_list.out"};
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// The entries of work/ but one.
std::vector<std::string> WorkFilesBut(const Scenario& scenario, const std::string& name) {
  std::vector<std::string> names = scenario.List();
  std::erase(names, name);
  return names;
}

// Nothing was written outside work/: beside it stand only the harness's
// meta/ and what the test put there itself, the directory above holds only
// scenarios, and no canary exists in /tmp.
void ExpectNothingOutside(const Scenario& scenario, std::vector<std::string> beside = {}) {
  beside.push_back("meta");
  beside.push_back("work");
  EXPECT_EQ(Sorted(beside), Names(Root(scenario)));
  for (const std::string& name : Names(Root(scenario) / "meta"))
    EXPECT_TRUE(name == "site.site" || name == "sim.log" || name == "stdout" || name == "stderr")
        << "meta/" << name;
  // Beside this scenario only the kept scenarios of failed tests.
  for (const auto& entry : fs::directory_iterator(Root(scenario).parent_path()))
    EXPECT_TRUE(entry.is_directory() && !entry.is_symlink()) << entry.path();
  const std::string canary = fs::path(Canary()).filename();
  for (const std::string& name : Names("/tmp")) EXPECT_FALSE(name.starts_with(canary)) << name;
}

// What the simulator answers for the site: the raw material of the
// hand-spoiled reports below.
std::string SimReport(const Scenario& scenario, const std::string& site,
                      const std::vector<std::string>& args) {
  std::string path = WriteBeside(scenario, "raw/clean.site", site);
  std::vector<std::string> argv = {e2e::BinaryDir() + "/hbacmd-sim"};
  argv.insert(argv.end(), args.begin(), args.end());
  Result result = e2e::RunCommand(argv, {"HBACMD_SIM_SITE=" + path}, "/");
  EXPECT_EQ(0, result.status) << result.err;
  return result.out;
}

// The three reports of SmallSite, each spoiled by `spoil`, served as raw
// overrides; `which` picks the reports to override ("L", "A", "T").
std::string SpoiledSite(const Scenario& scenario, const std::string& which,
                        const std::function<std::string(std::string)>& spoil) {
  std::string head, nic, fcoe;
  if (which.find('L') != std::string::npos)
    head = "listhbas-raw " +
           WriteBeside(scenario, "raw/listhbas",
                       spoil(SimReport(scenario, SmallSite(), {"listhbas"}))) +
           "\n";
  if (which.find('A') != std::string::npos) {
    nic = "  hbaattributes-raw " +
          WriteBeside(scenario, "raw/attributes0",
                      spoil(SimReport(scenario, SmallSite(), {"hbaattributes", kMac0}))) +
          "\n";
    fcoe = "  hbaattributes-raw " +
           WriteBeside(scenario, "raw/attributes2",
                       spoil(SimReport(scenario, SmallSite(), {"hbaattributes", kWwn2}))) +
           "\n";
  }
  if (which.find('T') != std::string::npos)
    fcoe += "  targetmapping-raw " +
            WriteBeside(scenario, "raw/mapping2",
                        spoil(SimReport(scenario, SmallSite(), {"targetmapping", kWwn2}))) +
            "\n";
  return SmallSite(head, nic, fcoe);
}

// Bytes of every value from a fixed seed, without letters (so no noise
// line can begin with a label) and without line feeds.
std::string Noise(std::size_t size, std::uint32_t seed) {
  std::string noise;
  while (noise.size() < size) {
    seed = seed * 1664525u + 1013904223u;
    char c = static_cast<char>(seed >> 24);
    if (c == '\n' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) continue;
    noise.push_back(c);
  }
  return noise;
}

// A conditions file of two controllers; the OCe14102 line (line 3)
// allows DGC VRAID and RAID 5 with the images "*.ufi" in OCe14102/.
const char kConditions[] =
    "# Vendor | Model | Vendor-Id | Device-Id | Sub-Vendor-Id | Sub-Device-Id | ...\n"
    "-------+----------+------+------+------+------\n"
    "Emulex | OCe14102 | 19A2 | 0714 | 10DF | E70E | OCe14102 | 10.2 | 10.2 | *.ufi | "
    "| CNA | | DGC | VRAID,RAID 5 | 0533 | HITACHI | OPEN-V | 8001\n"
    "Emulex | LPe12002 | 10DF | F100 | 10DF | F100 | LPe12002 | 2.01a | 5.02 | ud201a "
    "| *.prg | HBA | | DGC | RAID 5,RAID 10 | 0326\n";

// The conditions file and the OCe14102's firmware image it finds, in the
// conditions directory (the working directory unless given, with its "/").
void UseConditionsAndFirmware(const Scenario& scenario, const std::string& dir = "") {
  scenario.Write(dir + "FC_HBA_Conditions.txt", kConditions);
  scenario.Write(dir + "OCe14102/fw.ufi", "firmware\n");
}

// ---------------------------------------------------------------------
// Shell metacharacters

TEST(Hostile, ShellCharactersInSiteValues) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  // Widths: serial 23, MAC 17, WWN 23, PCI function 3 characters.  The
  // serial's double quote reaches fcguard as a blank (reports are cleaned);
  // the line feed in port 1's MAC ends that report line, so fcguard asks
  // for the part before it, which the simulator does not know.
  const std::string serial = "A' $(touch pwned)`;|&<>";
  const std::string mac0 = "$(touch pwned)|&;";
  const std::string wwn2 = "`touch pwned`  ;|'$x";
  const std::string wwn3 = "10:00>pwned<x&%n%s\\";
  scenario.UseSite(
      "adapter \"A'\\\"$(touch pwned)`;|&<>\"\n"
      "  model OCe14102-UM\n"
      "  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0>x \"$(touch pwned)|&;\"\n"
      "port NIC 1 1`x \"00-90-FA-AA-BB-01\\ntouch pwned\"\n"
      "port FCoE 0 2'x \"`touch pwned`  ;|'$x\"\n"
      "  lun DGC VRAID 0533\n"
      "port FCoE 1 3 10:00>pwned<x&%n%s\\\n"
      "  lun DGC \"RAID 5\" 0533\n");
  UseConditionsAndFirmware(scenario);
  e2e::ForEachBuild([&](e2e::Build build) {
    Outcome run = RunOnce(scenario, build, kCheckAndFlash);
    // All storage is allowed and the one adapter is flashed once, through
    // function 0; port 1 has no attributes and matches nothing.
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ("", run.result.err);
    EXPECT_EQ(LoggedCalls({"listhbas", "hbaattributes " + mac0,
                           "hbaattributes 00-90-FA-AA-BB-01", "hbaattributes " + wwn2,
                           "hbaattributes " + wwn3, "targetmapping " + wwn2,
                           "targetmapping " + wwn3,
                           "download " + mac0 + " ./OCe14102/fw.ufi"}),
              run.calls);
    EXPECT_EQ(Sorted({"FC_HBA_Conditions.txt", "OCe14102", "local_hba_list.out",
                      serial + "_0>x_hba_attributes.out", serial + "_1`x_hba_attributes.out",
                      serial + "_2'x_hba_attributes.out", serial + "_3_hba_attributes.out",
                      serial + "_2'x_target_mapping.out", serial + "_3_target_mapping.out"}),
              scenario.List());
    EXPECT_EQ((std::vector<std::string>{"FWtrace.out", "fw.ufi"}), scenario.List("OCe14102"));
    ExpectNothingOutside(scenario);
  });
}

TEST(Hostile, ShellCharactersInWorkingPath) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  // The conditions directory holds the canary's absolute path; it enters
  // every command line, as the tool's output directory and the image path.
  const std::string conpath = "c;$(touch " + Canary() + ")`x`'|&";
  scenario.UseSite("cna-basic");
  UseConditionsAndFirmware(scenario, conpath + "/");
  e2e::ForEachBuild([&](e2e::Build build) {
    Outcome run =
        RunOnce(scenario, build, {"--flash", "-pci-id", "19A2:0714", "--conpath", conpath});
    // cna-basic's one adapter is flashed once.
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ(LoggedCalls({"listhbas", "hbaattributes 00-90-FA-AA-BB-00",
                           "hbaattributes 00-90-FA-AA-BB-01",
                           "hbaattributes 10:00:00:90:fa:aa:bb:02",
                           "hbaattributes 10:00:00:90:fa:aa:bb:03",
                           "targetmapping 10:00:00:90:fa:aa:bb:02",
                           "targetmapping 10:00:00:90:fa:aa:bb:03",
                           "download 00-90-FA-AA-BB-00 " + conpath + "/OCe14102/fw.ufi"}),
              run.calls);
    EXPECT_EQ(std::vector<std::string>{"c;$(touch "}, scenario.List());
    EXPECT_EQ(Sorted({"FC_HBA_Conditions.txt", "OCe14102", "local_hba_list.out",
                      "FC12345678_0_hba_attributes.out", "FC12345678_1_hba_attributes.out",
                      "FC12345678_2_hba_attributes.out", "FC12345678_3_hba_attributes.out",
                      "FC12345678_2_target_mapping.out", "FC12345678_3_target_mapping.out"}),
              scenario.List(conpath));
    ExpectNothingOutside(scenario);
  });
}

TEST(Hostile, ShellCharactersNulBytesAndNoiseInRawReports) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  const std::string serial = "FC1;$(touch pwned)`x`";
  std::uint32_t seed = 7;
  // Metacharacters in the serial number, the PCI functions, the model and
  // the storage names; after every label line a NUL and a payload that
  // fcguard must never see; after every blank line past the fourth a line
  // of binary noise; at the end a 5000-character line and noise without a
  // line end.
  auto spoil = [&](std::string report) {
    report = Replace(report, kSerial, serial);
    report = Replace(report, "PCI Function   : 0", "PCI Function   : 0&x");
    report = Replace(report, "PCI Function   : 2", "PCI Function   : 2|x");
    report = Replace(report, "OCe14102-UM\n", "OCe14102-UM$(touch pwned)\n");
    report = Replace(report, "/dev/sdb", "`touch pwned`");
    report = Replace(report, "VRAID\n", "VRAID;$(touch ../pwned)\n");
    std::string out;
    int number = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = report.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string line = report.substr(start, end - start);
      ++number;
      if (line.find(" : ") != std::string::npos) line += std::string(1, '\0') + ";touch pwned";
      out += line + "\n";
      if (line.empty() && number > 4) out += Noise(300, seed++) + "\n";
    }
    return out + std::string(5000, '.') + "\n" + Noise(2000, seed++);
  };
  scenario.UseSite(SpoiledSite(scenario, "LAT", spoil));
  UseConditionsAndFirmware(scenario);
  e2e::ForEachBuild([&](e2e::Build build) {
    Outcome run = RunOnce(scenario, build, kCheckAndFlash);
    // Noise and the text after a NUL are never read as values: the
    // storage is allowed and the adapter flashed as with clean reports.
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ("", run.result.err);
    std::vector<std::string> calls = SmallSiteCalls();
    calls.push_back(std::string("download ") + kMac0 + " ./OCe14102/fw.ufi");
    EXPECT_EQ(calls, run.calls);
    std::vector<std::string> files = ReportFiles(serial, "0&x", "2|x");
    files.insert(files.end(), {"FC_HBA_Conditions.txt", "OCe14102"});
    EXPECT_EQ(Sorted(files), scenario.List());
    EXPECT_EQ(std::string::npos, run.result.out.find(";touch pwned"));
    ExpectNothingOutside(scenario, {"raw"});
  });
}

// ---------------------------------------------------------------------
// Over-long values and lines, CR LF line ends

TEST(Hostile, LongValuesInEveryReport) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  const std::string x5000(5000, 'x');
  // Host name (listhbas, hbaattributes), model description, serial number,
  // a MAC, a WWN and a LUN's product (targetmapping) of 5000 characters.
  // fcguard cuts each to its field: the serial to 23 characters, the MAC
  // to 17, the WWN to 23, which the simulator does not know.
  scenario.UseSite("host " + x5000 + "\n" +
                   "adapter S" + x5000 + "\n" +
                   "  model OCe14102-UM\n"
                   "  model-desc " + x5000 + "\n" +
                   "  pci 19A2 0714 10DF E70E\n"
                   "port NIC 0 0 00-90-FA-AA-BB-00\n"
                   "port NIC 1 1 M" + x5000 + "\n" +
                   "port FCoE 0 2 10:00:00:90:fa:aa:bb:02\n"
                   "  lun DGC VRAID" + x5000 + " 0533\n" +
                   "port FCoE 1 3 W" + x5000 + "\n");
  scenario.Write("FC_HBA_Conditions.txt", kConditions);
  const std::string serial = "S" + std::string(22, 'x');
  e2e::ForEachBuild([&](e2e::Build build) {
    Outcome run = RunOnce(scenario, build, {"-v", "6", "-pci-id", "19A2:0714"});
    // Function 2's product begins with VRAID and is allowed; the ports
    // with cut addresses get no attributes and match nothing.
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ("", run.result.err);
    EXPECT_EQ(LoggedCalls({"listhbas", "hbaattributes 00-90-FA-AA-BB-00",
                           "hbaattributes M" + std::string(16, 'x'),
                           "hbaattributes 10:00:00:90:fa:aa:bb:02",
                           "hbaattributes W" + std::string(22, 'x'),
                           "targetmapping 10:00:00:90:fa:aa:bb:02",
                           "targetmapping W" + std::string(22, 'x')}),
              run.calls);
    EXPECT_EQ(Sorted({"FC_HBA_Conditions.txt", "local_hba_list.out",
                      serial + "_0_hba_attributes.out", serial + "_1_hba_attributes.out",
                      serial + "_2_hba_attributes.out", serial + "_3_hba_attributes.out",
                      serial + "_2_target_mapping.out", serial + "_3_target_mapping.out"}),
              scenario.List());
    ExpectNothingOutside(scenario);
  });
}

TEST(Hostile, CrLfReports) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  auto crlf = [](std::string report) { return Replace(report, "\n", "\r\n"); };
  scenario.Write("FC_HBA_Conditions.txt", kConditions);
  e2e::ForEachBuild([&](e2e::Build build) {
    // Every listhbas value keeps its CR, but the MAC and the WWN fill
    // their fields exactly, so the CR is cut off them and hbacmd knows the
    // addresses; the serial number and the PCI functions keep it, in the
    // report file names too.  The check passes: 0.
    scenario.UseSite(SpoiledSite(scenario, "L", crlf));
    Outcome run = RunOnce(scenario, build, kCheck);
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ(SmallSiteCalls(), run.calls);
    std::vector<std::string> files = ReportFiles("FC12345678\r", "0\r", "2\r");
    EXPECT_EQ(Sorted(files), WorkFilesBut(scenario, "FC_HBA_Conditions.txt"));
    for (const std::string& name : files) fs::remove(scenario.Path(name));

    // CR LF attribute and mapping reports: the PCI ids fill their
    // four-character fields without the CR, but the storage vendor reads
    // "DGC\r", which no conditions entry allows: 4.
    scenario.UseSite(SpoiledSite(scenario, "AT", crlf));
    run = RunOnce(scenario, build, kCheck);
    EXPECT_EQ(4, run.result.status) << run.result.out;
    EXPECT_EQ(SmallSiteCalls(), run.calls);
    files = ReportFiles(kSerial, "0", "2");
    EXPECT_EQ(Sorted(files), WorkFilesBut(scenario, "FC_HBA_Conditions.txt"));
    for (const std::string& name : files) fs::remove(scenario.Path(name));
    ExpectNothingOutside(scenario, {"raw"});
  });
}

// ---------------------------------------------------------------------
// The conditions file

// A start-up that ends in the conditions file: status, the refusal on
// the standard error stream, and no hbacmd call at all.
void ExpectConditionsRefused(const Outcome& run, const std::string& refusal) {
  EXPECT_EQ(55, run.result.status) << run.result.out;
  EXPECT_EQ(refusal, run.result.err);
  EXPECT_EQ(std::vector<std::string>{}, run.calls);
}

TEST(Hostile, LongConditionsLines) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  scenario.UseSite(SmallSite());
  const std::string sample = kConditions;
  e2e::ForEachBuild([&](e2e::Build build) {
    // A data line padded with 5000 blanks is read in pieces of 1023
    // characters; the pieces of blanks make entries without ids, which
    // apply to no port: the check passes.
    std::size_t eol = sample.find('\n', sample.find("Emulex | OCe14102 | 19A2 | 0714"));
    scenario.Write("FC_HBA_Conditions.txt",
                   sample.substr(0, eol) + std::string(5000, ' ') + sample.substr(eol));
    Outcome run = RunOnce(scenario, build, kCheck);
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ(SmallSiteCalls(), run.calls);

    // A comment line of 5000 characters: only its first piece holds the
    // '#'; the second is a data line whose first cell is too long for the
    // controller vendor: 55, before any hbacmd call.
    scenario.Write("FC_HBA_Conditions.txt", "#" + std::string(5000, 'x') + "\n" + sample);
    run = RunOnce(scenario, build, kCheck);
    EXPECT_EQ(55, run.result.status) << run.result.out;
    EXPECT_TRUE(run.result.err.starts_with("\nError line 2: ")) << run.result.err;
    EXPECT_EQ(std::vector<std::string>{}, run.calls);
    ExpectNothingOutside(scenario);
  });
}

TEST(Hostile, NulBytesAndNoiseInConditions) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  scenario.UseSite(SmallSite());
  const std::string sample = kConditions;
  std::size_t data = sample.find("Emulex");
  // Line 3: a comment of binary noise; line 4: a line cut by a NUL after
  // its fourth cell (the rest, with bad ids, is never seen), which yields
  // an entry for no installed port.
  const std::string spoiled = sample.substr(0, data) + "#" + Noise(900, 3) + "\n" +
                              "Emulex | Cut | 19A2 | 0714" + std::string(1, '\0') +
                              " | zz | zz | $(touch pwned)\n";
  e2e::ForEachBuild([&](e2e::Build build) {
    scenario.Write("FC_HBA_Conditions.txt", spoiled + sample.substr(data));
    Outcome run = RunOnce(scenario, build, kCheck);
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ("", run.result.err);
    EXPECT_EQ(SmallSiteCalls(), run.calls);

    // Line 5: binary cells; the vendor id is not hexadecimal: 55.
    scenario.Write("FC_HBA_Conditions.txt",
                   spoiled + "\x01\xfe | \x80\x90 | \xff\xfe | 0714 | 10DF | E70E\n" +
                       sample.substr(data));
    ExpectConditionsRefused(RunOnce(scenario, build, kCheck),
                            "\nError line 5: Vendor-Id \xff\xfe is not a valid hex value!\n");
    ExpectNothingOutside(scenario);
  });
}

TEST(Hostile, HundredThousandConditionsLines) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  scenario.UseSite(SmallSite());
  // A header, a ruler, 99,999 lines of QLogic controllers and last the
  // OCe14102 line, which allows SmallSite's storage.
  Result generated = e2e::RunCommand(
      {e2e::BinaryDir() + "/hbacmd-sim", "generate-conditions", "100000", "1"}, {}, "/");
  ASSERT_EQ(0, generated.status) << generated.err;
  e2e::ForEachBuild([&](e2e::Build build) {
    scenario.Write("FC_HBA_Conditions.txt", generated.out);
    Outcome run = RunOnce(scenario, build, kCheck);
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ(SmallSiteCalls(), run.calls);

    // One more line, the file's 100,003rd, with a bad vendor id.
    scenario.Write("FC_HBA_Conditions.txt",
                   generated.out + "Emulex | Bad | 19G2 | 0714 | 10DF | E70E\n");
    ExpectConditionsRefused(RunOnce(scenario, build, kCheck),
                            "\nError line 100003: Vendor-Id 19G2 is not a valid hex value!\n");
    ExpectNothingOutside(scenario);
  });
}

TEST(Hostile, CrLfConditions) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  scenario.UseSite(SmallSite());
  const std::string crlf = Replace(std::string(kConditions), "\n", "\r\n");
  e2e::ForEachBuild([&](e2e::Build build) {
    // Every line's last cell keeps its CR; in this file that is the third
    // cell of a triple, which nobody reads: the check passes.
    scenario.Write("FC_HBA_Conditions.txt", crlf);
    Outcome run = RunOnce(scenario, build, kCheck);
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ(SmallSiteCalls(), run.calls);

    // A line that ends after its sub-device id: the CR makes the id
    // invalid: 55.
    scenario.Write("FC_HBA_Conditions.txt",
                   crlf + "Emulex | OCe14102 | 19A2 | 0714 | 10DF | E70E\r\n");
    ExpectConditionsRefused(RunOnce(scenario, build, kCheck),
                            "\nError line 5: Sub-System-Id E70E\r is not a valid hex value!\n");
    ExpectNothingOutside(scenario);
  });
}

TEST(Hostile, ShellCharactersInConditionsCellsAndImageNames) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  scenario.UseSite(SmallSite());
  // The firmware sub-directory and both name patterns hold metacharacters,
  // and so do the image names they find, one with a line feed.
  const std::string dir = "d'`touch pwned`;&<>";
  scenario.Write("FC_HBA_Conditions.txt",
                 "Emulex | OCe14102 | 19A2 | 0714 | 10DF | E70E | " + dir +
                     " | 10.2 | 10.2 | $(touch pwned) | x;touch | CNA | | DGC | VRAID | 0533\n");
  scenario.Write(dir + "/$(touch pwned).ufi", "firmware\n");
  scenario.Write(dir + "/x;touch pwned 1\n.prg", "bios\n");
  e2e::ForEachBuild([&](e2e::Build build) {
    Outcome run = RunOnce(scenario, build, kFlash);
    // Both images are flashed through function 0.
    EXPECT_EQ(0, run.result.status) << run.result.out;
    EXPECT_EQ("", run.result.err);
    std::vector<std::string> calls = SmallSiteCalls();
    calls.push_back(std::string("download ") + kMac0 + " ./" + dir + "/$(touch pwned).ufi");
    calls.push_back(std::string("download ") + kMac0 + " ./" + dir + "/x;touch pwned 1\n.prg");
    EXPECT_EQ(LoggedCalls(calls), run.calls);
    std::vector<std::string> files = ReportFiles(kSerial, "0", "2");
    files.insert(files.end(), {"FC_HBA_Conditions.txt", dir});
    EXPECT_EQ(Sorted(files), scenario.List());
    EXPECT_EQ(Sorted({"$(touch pwned).ufi", "FWtrace.out", "x;touch pwned 1\n.prg"}),
              scenario.List(dir));
    ExpectNothingOutside(scenario);
  });
}

// ---------------------------------------------------------------------
// Paths out of the working and firmware directories

TEST(Hostile, SerialNumberCannotLeaveWorkingDirectory) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  scenario.Write("FC_HBA_Conditions.txt", kConditions);
  // The serial number names the report files.  "A/B" names a file in a
  // directory that does not exist: the shell cannot create it and never
  // starts hbacmd, the file cannot be opened: 51.  "../../p" would put the
  // files in the directory above the scenario: no command is run for such
  // a port and its report counts as missing, the same 51.
  for (const std::string serial : {"A/B", "../../p"}) {
    scenario.UseSite(Replace(SmallSite(), kSerial, serial));
    e2e::ForEachBuild([&](e2e::Build build) {
      SCOPED_TRACE(serial);
      Outcome run = RunOnce(scenario, build, kCheck);
      EXPECT_EQ(51, run.result.status) << run.result.out;
      EXPECT_EQ("Error: Could not open file .//" + serial + "_0_hba_attributes.out\n",
                run.result.out);
      EXPECT_EQ(std::vector<std::string>{"listhbas"}, run.calls);
      EXPECT_EQ(Sorted({"FC_HBA_Conditions.txt", "local_hba_list.out"}), scenario.List());
      ExpectNothingOutside(scenario);
    });
  }
}

TEST(Hostile, ModelCannotLeaveFirmwareDirectory) {
  E2E_REQUIRE_SANDBOX();
  Scenario scenario;
  // Without a firmware sub-directory in the conditions, the port's model
  // names it; "../outside" would flash an image from beside the work
  // directory and append the trace there.  Such a model names no
  // sub-directory: the base directory is used, which holds no image: 20.
  scenario.UseSite(Replace(SmallSite(), "model OCe14102-UM", "model ../outside"));
  scenario.Write("FC_HBA_Conditions.txt",
                 "Emulex | OCe14102 | 19A2 | 0714 | 10DF | E70E | | 10.2 | 10.2 | *.ufi\n");
  WriteBeside(scenario, "outside/fw.ufi", "firmware\n");
  e2e::ForEachBuild([&](e2e::Build build) {
    Outcome run = RunOnce(scenario, build, kFlash);
    EXPECT_EQ(20, run.result.status) << run.result.out;
    EXPECT_NE(std::string::npos,
              run.result.out.find("\t\tFirmware directory is not available: ./../outside\n\n"
                                  "\tFirmware path: ./\n"))
        << run.result.out;
    EXPECT_EQ(SmallSiteCalls(), run.calls);
    EXPECT_EQ(std::vector<std::string>{"fw.ufi"}, Names(Root(scenario) / "outside"));
    ExpectNothingOutside(scenario, {"outside"});
  });
}

}  // namespace
