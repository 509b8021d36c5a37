// The hbacmd simulator, run directly: report shapes, address look-up,
// statuses, the call log, raw overrides, malformed sites, the generators,
// and the agreement of the shipped sites with the sample conditions file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/support/screen_text.h"

namespace {

using test_support::Lines;

using e2e::Result;
using e2e::Scenario;

std::string Sim() { return e2e::BinaryDir() + "/hbacmd-sim"; }
std::string ShippedSite(const std::string& name) {
  return e2e::SourceDir() + "/sim/sites/" + name + ".site";
}

// Runs the simulator with the site and, when given, the call log.
Result RunSim(const std::vector<std::string>& args, const std::string& site,
              const std::string& log = "", const std::string& cwd = "/") {
  std::vector<std::string> argv = {Sim()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env;
  if (!site.empty()) env.push_back("HBACMD_SIM_SITE=" + site);
  if (!log.empty()) env.push_back("HBACMD_SIM_LOG=" + log);
  return e2e::RunCommand(argv, env, cwd);
}

// A label line split the way fcguard reads it: the label is what stands
// before the first colon, the value starts two characters after it.
struct LabelLine {
  std::string label;
  std::string value;
};

LabelLine SplitLabel(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos) return {};
  std::string label = line.substr(0, colon);
  while (!label.empty() && label.back() == ' ') label.pop_back();
  return {label, colon + 2 <= line.size() ? line.substr(colon + 2) : ""};
}

// The blocks of a listhbas report: the lines between blank lines after the
// header line.
using Block = std::vector<LabelLine>;
std::vector<Block> ListHbasBlocks(const std::string& report) {
  std::vector<Block> blocks;
  std::vector<std::string> lines = Lines(report);
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) {
      blocks.emplace_back();
      continue;
    }
    if (blocks.empty()) blocks.emplace_back();
    blocks.back().push_back(SplitLabel(lines[i]));
  }
  return blocks;
}

std::string Value(const Block& block, const std::string& label) {
  for (const LabelLine& line : block)
    if (line.label == label) return line.value;
  return "<missing " + label + ">";
}

// Writes the site, lists it and hands back the one block the report must hold.
void ListTheOneBlock(const std::string& site, Block* block) {
  Scenario s;
  s.Write("site", site);
  Result r = RunSim({"listhbas"}, s.Path("site"));
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<Block> blocks = ListHbasBlocks(r.out);
  ASSERT_EQ(blocks.size(), 1u);
  *block = blocks[0];
}

std::map<std::string, std::string> AttributeValues(const std::string& report) {
  std::map<std::string, std::string> values;
  for (const std::string& line : Lines(report)) {
    LabelLine split = SplitLabel(line);
    if (!split.label.empty()) values[split.label] = split.value;
  }
  return values;
}

const char kSmallSite[] =
    "adapter SN1\n"
    "  model OCe14102-UM\n"
    "  pci 19A2 0714 10DF E70E\n"
    "port NIC 0 0 00-90-FA-00-00-00\n"
    "port FCoE 0 2 10:00:00:90:fa:00:00:02\n"
    "port FCoE 1 3 10:00:00:90:fa:00:00:03\n"
    "  lun DGC VRAID 0533\n";

TEST(SimReports, ListHbasBlocksAndLabels) {
  Result r = RunSim({"listhbas"}, ShippedSite("cna-basic"));
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Manageable HBA List");
  EXPECT_EQ(lines[0].find(':'), std::string::npos);

  const std::set<std::string> labels = {
      "Port WWN",  "Node WWN",   "Fabric Name", "Permanent MAC",  "Current MAC",
      "Flags",     "Host Name",  "Mfg",         "Serial No.",     "Port Number",
      "Mode",      "PCI Bus Number", "PCI Function", "Port Type", "Model"};
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    LabelLine split = SplitLabel(lines[i]);
    EXPECT_TRUE(labels.count(split.label)) << "line " << i << ": " << lines[i];
    size_t colon = lines[i].find(':');
    EXPECT_EQ(lines[i].substr(colon, 2), ": ") << lines[i];
    EXPECT_NE(lines[i][0], ' ') << lines[i];
  }

  std::vector<Block> blocks = ListHbasBlocks(r.out);
  ASSERT_EQ(blocks.size(), 4u);
  const char* first[] = {"Permanent MAC", "Permanent MAC", "Port WWN", "Port WWN"};
  const char* types[] = {"NIC", "NIC", "FCoE", "FCoE"};
  for (size_t b = 0; b < 4; ++b) {
    ASSERT_FALSE(blocks[b].empty());
    EXPECT_EQ(blocks[b][0].label, first[b]);
    EXPECT_EQ(Value(blocks[b], "PCI Function"), std::to_string(b));
    EXPECT_EQ(Value(blocks[b], "Port Type"), types[b]);
    EXPECT_EQ(Value(blocks[b], "Serial No."), "FC12345678");
    EXPECT_EQ(Value(blocks[b], "Model"), "OCe14102-UM");
    EXPECT_EQ(Value(blocks[b], "Mfg"), "Emulex Corporation");
  }
  EXPECT_EQ(blocks[0][0].value, "00-90-FA-AA-BB-00");
  EXPECT_EQ(blocks[2][0].value, "10:00:00:90:fa:aa:bb:02");
  EXPECT_EQ(Value(blocks[2], "Mode"), "Initiator");
}

TEST(SimReports, EmptySiteListsHeaderOnly) {
  Result r = RunSim({"listhbas"}, ShippedSite("empty"));
  EXPECT_EQ(r.status, 0) << r.err;
  for (const std::string& line : Lines(r.out)) EXPECT_EQ(line.find(':'), std::string::npos);
  EXPECT_TRUE(ListHbasBlocks(r.out).empty());
}

TEST(SimReports, HbaAttributesByWwnAndByMac) {
  for (const char* address : {"10:00:00:90:fa:aa:bb:02", "00-90-FA-AA-BB-01"}) {
    Result r = RunSim({"hbaattributes", address}, ShippedSite("cna-basic"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string("HBA Attributes for ") + address);
    std::map<std::string, std::string> values = AttributeValues(r.out);
    EXPECT_EQ(values["Vendor Spec ID"], "19A2");
    EXPECT_EQ(values["Device ID"], "0714");
    EXPECT_EQ(values["Sub Vendor ID"], "10DF");
    EXPECT_EQ(values["Sub Device ID"], "E70E");
    EXPECT_EQ(values["Serial Number"], "FC12345678");
    EXPECT_EQ(values["Model"], "OCe14102-UM");
    EXPECT_NE(values["Model Desc"], "");
    EXPECT_EQ(values["Manufacturer"], "Emulex Corporation");
  }
}

TEST(SimReports, TargetMappingFifthLineRule) {
  Scenario s;
  s.Write("site", kSmallSite);
  Result with = RunSim({"targetmapping", "10:00:00:90:fa:00:00:03"}, s.Path("site"));
  ASSERT_EQ(with.status, 0) << with.err;
  std::vector<std::string> lines = Lines(with.out);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("Target Mapping for 10:00:00:90:fa:00:00:03", 0), 0u);
  EXPECT_NE(lines[4].find(':'), std::string::npos) << "LUN data starts on line 5";
  const char* lun_labels[] = {"FCP LUN", "SCSI OS Lun", "Lun Device Name", "Vendor ID",
                              "Product ID", "Product Version", "Type", "SCSI Capacity",
                              "Block Size"};
  for (size_t i = 0; i < 4; ++i)
    for (const char* label : lun_labels)
      EXPECT_NE(lines[i].rfind(label, 0), 0u) << "header line " << i + 1 << ": " << lines[i];
  std::map<std::string, std::string> values = AttributeValues(with.out);
  EXPECT_EQ(values["Vendor ID"], "DGC");
  EXPECT_EQ(values["Product ID"], "VRAID");
  EXPECT_EQ(values["Product Version"], "0533");

  Result without = RunSim({"targetmapping", "10:00:00:90:fa:00:00:02"}, s.Path("site"));
  ASSERT_EQ(without.status, 0) << without.err;
  lines = Lines(without.out);
  EXPECT_GE(lines.size(), 1u);
  EXPECT_LE(lines.size(), 4u);
  for (size_t i = 4; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].find(':'), std::string::npos) << "line " << i + 1;
}

TEST(SimReports, TargetMappingListsEveryLunInOrder) {
  Result r = RunSim({"targetmapping", "10:00:00:90:fa:aa:bb:02"}, ShippedSite("cna-basic"));
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> products;
  for (const std::string& line : Lines(r.out)) {
    LabelLine split = SplitLabel(line);
    if (split.label == "Product ID") products.push_back(split.value);
  }
  EXPECT_EQ(products, (std::vector<std::string>{"VRAID", "RAID 5"}));
}

TEST(SimReports, ValuesWithBlanksQuotesAndShellCharacters) {
  Block block;
  ASSERT_NO_FATAL_FAILURE(ListTheOneBlock(
      "host \"web 01\"\n"
      "adapter $(touch${IFS}x);`id`|&<>*?'\n"
      "  model \"OCe \\\"14102\\\"\\tUM\\\\\"\n"
      "  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0 00-90-FA-00-00-00\n"
      "  lun \"\" \"RAID 5\" \"\"\n",
      &block));
  EXPECT_EQ(Value(block, "Serial No."), "$(touch${IFS}x);`id`|&<>*?'");
  EXPECT_EQ(Value(block, "Model"), "OCe \"14102\"\tUM\\");
  EXPECT_EQ(Value(block, "Host Name"), "web 01");
}

TEST(SimStatus, AddressLookupAndCommandFailures) {
  Scenario s;
  s.Write("site",
          "listhbas-status 3\n"
          "adapter SN1\n"
          "  model OCe14102-UM\n"
          "  pci 19A2 0714 10DF E70E\n"
          "port NIC 0 0 00-90-FA-00-00-00\n"
          "  hbaattributes-status 7\n"
          "port FCoE 0 2 10:00:00:90:fa:00:00:02\n"
          "  targetmapping-status 255\n");
  std::string site = s.Path("site");
  EXPECT_EQ(RunSim({"listhbas"}, site).status, 3);
  EXPECT_EQ(RunSim({"hbaattributes", "00-90-FA-00-00-00"}, site).status, 7);
  EXPECT_EQ(RunSim({"hbaattributes", "10:00:00:90:fa:00:00:02"}, site).status, 0);
  EXPECT_EQ(RunSim({"targetmapping", "10:00:00:90:fa:00:00:02"}, site).status, 255);

  Result unknown = RunSim({"hbaattributes", "00-90-fa-00-00-00"}, site);  // case matters
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.out.find("00-90-fa-00-00-00"), std::string::npos);
  EXPECT_EQ(RunSim({"targetmapping", "00-90-FA-00-00-00"}, site).status, 1);  // not FC
  EXPECT_EQ(RunSim({"targetmapping", "10:00:00:90:fa:00:00:09"}, site).status, 1);
  EXPECT_EQ(RunSim({"hbaattributes"}, site).status, 1);
  EXPECT_EQ(RunSim({"hbaattributes", ""}, site).status, 1);
  EXPECT_EQ(RunSim({"listhbas", "extra"}, site).status, 1);
  EXPECT_EQ(RunSim({"frobnicate"}, site).status, 1);
}

TEST(SimStatus, SignalEndsTheCommandBeforeItsReport) {
  Scenario s;
  s.Write("site",
          "adapter SN1\n"
          "  model OCe14102-UM\n"
          "  pci 19A2 0714 10DF E70E\n"
          "port FCoE 0 2 10:00:00:90:fa:00:00:02\n"
          "  hbaattributes-signal 15\n"
          "  targetmapping-signal 9\n");
  const std::string wwn = "10:00:00:90:fa:00:00:02";
  Result attributes = RunSim({"hbaattributes", wwn}, s.Path("site"));
  EXPECT_EQ(128 + 15, attributes.status);
  EXPECT_EQ("", attributes.out);
  Result mapping = RunSim({"targetmapping", wwn}, s.Path("site"));
  EXPECT_EQ(128 + 9, mapping.status);
  EXPECT_EQ("", mapping.out);
  EXPECT_EQ(0, RunSim({"listhbas"}, s.Path("site")).status);
}

TEST(SimStatus, DownloadStatusPerAdapter) {
  Scenario s;
  s.Write("fw/OCe14102/x.ufi", "image");
  std::string site = ShippedSite("flash-fails");
  Result good = RunSim({"download", "00-90-FA-AA-BB-00", "./fw/OCe14102/x.ufi"}, site, "", s.Path());
  EXPECT_EQ(good.status, 0) << good.out;
  EXPECT_NE(good.out.find("./fw/OCe14102/x.ufi"), std::string::npos);
  EXPECT_NE(good.out.find("00-90-FA-AA-BB-00"), std::string::npos);
  EXPECT_GE(Lines(good.out).size(), 3u);

  Result bad = RunSim({"download", "00-90-FA-CC-DD-00", "./fw/OCe14102/x.ufi"}, site, "", s.Path());
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("failed"), std::string::npos);

  EXPECT_EQ(RunSim({"download", "00-90-FA-00-00-99", "./fw/OCe14102/x.ufi"}, site, "", s.Path()).status, 1);
  EXPECT_EQ(RunSim({"download", "00-90-FA-AA-BB-00", "./fw/missing.ufi"}, site, "", s.Path()).status, 1);
  EXPECT_EQ(RunSim({"download", "00-90-FA-AA-BB-00", "./fw"}, site, "", s.Path()).status, 1);
  EXPECT_EQ(RunSim({"download", "./fw/OCe14102/x.ufi"}, site, "", s.Path()).status, 1);
}

TEST(SimCallLog, OneEscapedLinePerCall) {
  Scenario s;
  std::string log = s.Path("calls.log");
  std::string site = ShippedSite("cna-basic");
  RunSim({"listhbas"}, site, log);
  RunSim({"hbaattributes", "10:00:00:90:fa:aa:bb:02"}, site, log);
  RunSim({"download", std::string("a b\\c\nd\re\tf\x01g\x7f\xff$(x)"), "./i m g"}, site, log);
  RunSim({"no-such-verb"}, "", log);  // no site: still logged
  RunSim({}, site, log);
  EXPECT_EQ(Lines(s.Read("calls.log")),
            (std::vector<std::string>{"listhbas", "hbaattributes 10:00:00:90:fa:aa:bb:02",
                                      "download a b\\\\c\\nd\\re\\tf\\x01g\\x7f\\xff$(x) ./i m g",
                                      "no-such-verb", ""}));
}

TEST(SimCallLog, UnwritableLogIsASetupError) {
  Result r = RunSim({"listhbas"}, ShippedSite("cna-basic"), "/nonexistent/dir/log");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("/nonexistent/dir/log"), std::string::npos);
}

TEST(SimRaw, OverridesAreServedByteForByte) {
  Scenario s;
  std::string noise("Port WWN : \0\x01\xfe\xff\r\n", 17);
  for (int i = 0; i < 256; ++i) noise.push_back(static_cast<char>(i));
  std::string hostile = std::string(100000, 'A') + "\n;rm -rf / `reboot` $(halt) | & > <\n" + noise;
  s.Write("raw/list.out", hostile);
  s.Write("raw/attr.out", noise);
  s.Write("raw/map.out", "");
  s.Write("site",
          "listhbas-raw raw/list.out\n"
          "adapter SN1\n"
          "  model OCe14102-UM\n"
          "  pci 19A2 0714 10DF E70E\n"
          "port FCoE 0 2 10:00:00:90:fa:00:00:02\n"
          "  hbaattributes-raw raw/attr.out\n"
          "  hbaattributes-status 4\n"
          "  targetmapping-raw " + s.Path("raw/map.out") + "\n");
  Result list = RunSim({"listhbas"}, s.Path("site"));
  EXPECT_EQ(list.status, 0);
  EXPECT_TRUE(list.out == hostile) << "listhbas raw report changed";
  Result attr = RunSim({"hbaattributes", "10:00:00:90:fa:00:00:02"}, s.Path("site"));
  EXPECT_EQ(attr.status, 4);
  EXPECT_TRUE(attr.out == noise) << "hbaattributes raw report changed";
  Result map = RunSim({"targetmapping", "10:00:00:90:fa:00:00:02"}, s.Path("site"));
  EXPECT_EQ(map.status, 0);
  EXPECT_EQ(map.out, "");
}

TEST(SimRaw, MissingOverrideFileIsASetupError) {
  Scenario s;
  s.Write("site", "listhbas-raw gone.out\n");
  Result r = RunSim({"listhbas"}, s.Path("site"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(s.Path("site") + " line 1"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("gone.out"), std::string::npos) << r.err;
}

TEST(SimSite, MalformedSitesNameFileAndLine) {
  const std::string adapter = "adapter SN1\nmodel M\npci 1 2 3 4\n";
  struct Case {
    std::string text;
    int line;
  } cases[] = {
      {"frobnicate 1\n", 1},
      {"# comment\n\nhost \"unterminated\n", 3},
      {"host \"a\"b\n", 1},
      {"host a\"b\n", 1},
      {"host \"\\q\"\n", 1},
      {"host \"\\x4\"\n", 1},
      {"host a\x01\n", 1},
      {"host\n", 1},
      {"host a\nhost b\n", 2},
      {"port NIC 0 0 00-90-FA-00-00-00\n", 1},
      {adapter + "lun DGC VRAID 0533\n", 4},
      {adapter + "port NIC 0 0\n", 4},
      {adapter + "port NIC 0 0 A\nport NIC 1 1 A\n", 5},
      {adapter + "download-status 256\n", 4},
      {adapter + "port NIC 0 0 A\n  hbaattributes-status -1\n", 5},
      {adapter + "port NIC 0 0 A\n  hbaattributes-signal 0\n", 5},
      {adapter + "port NIC 0 0 A\n  targetmapping-signal 65\n", 5},
      {adapter + "model N\n", 4},
      {adapter + "host h\n", 4},
      {"adapter SN1\n  model M\nadapter SN2\n  model M\n  pci 1 2 3 4\n", 1},
      {adapter + "adapter SN2\n  pci 1 2 3 4\n", 4},
  };
  Scenario s;
  for (const Case& c : cases) {
    s.Write("site", c.text);
    // A look-up keeps only its own port but checks the whole site all the same.
    for (const std::vector<std::string>& call :
         {std::vector<std::string>{"listhbas"}, std::vector<std::string>{"hbaattributes", "A"}}) {
      Result r = RunSim(call, s.Path("site"));
      EXPECT_EQ(r.status, 2) << c.text;
      EXPECT_NE(r.err.find(s.Path("site") + " line " + std::to_string(c.line) + ":"),
                std::string::npos)
          << c.text << "\n" << r.err;
      EXPECT_EQ(r.out, "") << c.text;
    }
  }
}

TEST(SimSite, MissingSite) {
  Result unset = RunSim({"listhbas"}, "");
  EXPECT_EQ(unset.status, 2);
  EXPECT_NE(unset.err.find("HBACMD_SIM_SITE"), std::string::npos);
  Result missing = RunSim({"listhbas"}, "/nonexistent/site.site");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("/nonexistent/site.site"), std::string::npos);
}

TEST(SimSite, CrLfCommentsAndHashInValues) {
  Block block;
  ASSERT_NO_FATAL_FAILURE(ListTheOneBlock(
      "# header\r\n"
      "   # indented comment\r\n"
      "adapter SN#1\r\n"
      "  model OCe14102-UM\r\n"
      "  pci 19A2 0714 10DF E70E\r\n"
      "port NIC 0 0 00-90-FA-00-00-00\r\n",
      &block));
  EXPECT_EQ(Value(block, "Serial No."), "SN#1");
  EXPECT_EQ(Value(block, "Model"), "OCe14102-UM");
}

// The cells of a conditions line, split at bars and trimmed.
std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::istringstream in(line);
  for (std::string cell; std::getline(in, cell, '|');) {
    size_t a = cell.find_first_not_of(' ');
    size_t b = cell.find_last_not_of(' ');
    cells.push_back(a == std::string::npos ? "" : cell.substr(a, b - a + 1));
  }
  return cells;
}

// Checks that every data line keeps its cells within their field widths.
void ExpectCellsFit(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (line.find('#') != std::string::npos || line.find("--+--") != std::string::npos) continue;
    std::vector<std::string> cells = Cells(line);
    for (size_t i = 0; i < cells.size(); ++i) {
      size_t column = i + 1;
      size_t width = column <= 2 || (column >= 7 && column <= 9) || column == 13 ? 19
                     : column <= 6                                              ? 5
                     : column <= 12                                             ? 79
                     : (column - 14) % 3 == 0                                   ? 9
                     : (column - 14) % 3 == 1                                   ? 19
                                                                                : 5;
      EXPECT_LE(cells[i].size(), width) << "column " << column << " of: " << line;
    }
  }
}

TEST(SimGenerators, SiteAndConditionsSizes) {
  Scenario s;
  Result site = RunSim({"generate-site", "64"}, "");
  ASSERT_EQ(site.status, 0) << site.err;
  s.Write("big.site", site.out);
  Result list = RunSim({"listhbas"}, s.Path("big.site"));
  ASSERT_EQ(list.status, 0) << list.err;
  std::map<std::string, int> types;
  std::set<std::string> serials;
  for (const Block& block : ListHbasBlocks(list.out)) {
    ++types[Value(block, "Port Type")];
    serials.insert(Value(block, "Serial No."));
  }
  EXPECT_EQ(types, (std::map<std::string, int>{{"NIC", 256}, {"FCoE", 128}, {"iSCSI", 128}}));
  EXPECT_EQ(serials.size(), 64u);
  Result mapping = RunSim({"targetmapping", "10:00:00:90:fa:00:01:fa"}, s.Path("big.site"));
  EXPECT_EQ(mapping.status, 0);  // adapter 63, function 2
  EXPECT_EQ(AttributeValues(mapping.out)["Vendor ID"], "DGC");

  Result conditions = RunSim({"generate-conditions", "5000", "64"}, "");
  ASSERT_EQ(conditions.status, 0) << conditions.err;
  std::vector<std::string> lines = Lines(conditions.out);
  ASSERT_EQ(lines.size(), 5002u);
  EXPECT_NE(lines[0].find('#'), std::string::npos);
  EXPECT_NE(lines[1].find("--+--"), std::string::npos);
  std::set<std::string> listed;
  for (size_t i = 2; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].find('#'), std::string::npos);
    std::vector<std::string> cells = Cells(lines[i]);
    ASSERT_GE(cells.size(), 16u) << lines[i];
    listed.insert(cells[2] + " " + cells[3] + " " + cells[4] + " " + cells[5]);
  }
  ExpectCellsFit(lines);
  for (const std::string& line : Lines(site.out)) {
    if (line.rfind("  pci ", 0) == 0) {
      EXPECT_TRUE(listed.count(line.substr(6))) << line;
    }
  }

  EXPECT_EQ(RunSim({"generate-conditions", "3", "64"}, "").status, 1);
  EXPECT_EQ(RunSim({"generate-site", "65537"}, "").status, 1);
  EXPECT_EQ(RunSim({"generate-site", "-1"}, "").status, 1);
  Result none = RunSim({"generate-site", "0"}, "");
  s.Write("none.site", none.out);
  EXPECT_EQ(RunSim({"listhbas"}, s.Path("none.site")).status, 0);
}

TEST(SimGenerators, LargeSiteStaysQuick) {
  Scenario s;
  Result site = RunSim({"generate-site", "4096"}, "");
  ASSERT_EQ(site.status, 0);
  s.Write("big.site", site.out);
  Result attributes = RunSim({"hbaattributes", "00-90-FA-00-80-07"}, s.Path("big.site"));
  EXPECT_EQ(attributes.status, 0);  // adapter 4096, function 7
  EXPECT_EQ(AttributeValues(attributes.out)["Serial Number"], "BT00004096");
}

// Every file below the directory, by its path relative to it, with its
// content.
std::map<std::string, std::string> FilesBelow(const std::string& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    files[std::filesystem::relative(entry.path(), directory).string()] = content.str();
  }
  return files;
}

// generate-reports leaves the very files a full fcguard run leaves in its
// working directory: the same names, byte for byte, including a failed
// command's error line, a raw override, two ports of one file name (the
// later one wins) and an "n/a" adapter whose reports land in n/ only
// because that directory exists.
TEST(SimGenerators, ReportsEqualThoseOfAFullRun) {
  E2E_REQUIRE_SANDBOX();
  Scenario s;
  s.Write("input/mapping.txt", "Target Mapping for 10:00:00:90:fa:aa:bb:03:\n\nodd\n");
  const std::string site =
      "host benchhost\n"
      "adapter n/a\n  model OCe14102-UM\n  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0 00-90-FA-0A-0B-00\n"
      "port FCoE 0 2 10:00:00:90:fa:0a:0b:02\n  lun DGC VRAID 0533\n"
      "adapter SN100\n  model OCe14102-UM\n  pci 19A2 0714 10DF E70E\n"
      "port NIC 0 0 00-90-FA-AA-BB-00\n"
      "port FCoE 0 2 10:00:00:90:fa:aa:bb:02\n  lun DGC VRAID 0533\n  lun HITACHI OPEN-V 8001\n"
      "port FCoE 1 3 10:00:00:90:fa:aa:bb:03\n  targetmapping-raw " +
      s.Path("input/mapping.txt") + "\n  targetmapping-status 1\n"
      "port iSCSI 0 4 00-90-FA-AA-BB-04\n  hbaattributes-status 3\n"
      "adapter SN200\n  model LPe12002-M8\n  pci 10DF F100 10DF F100\n"
      "port FC 0 0 10:00:00:00:c9:00:00:01\n  lun DGC \"RAID 5\" 0326\n"
      "adapter SN100\n  model OCe11102-FM\n  pci 19A2 0714 10DF E602\n"
      "port NIC 0 0 00-90-FA-CC-DD-00\n";
  s.Write("input/site.site", site);
  s.UseSite(site);

  Result generated = RunSim({"generate-reports", s.Path("input/site.site"), s.Path("generated")}, "");
  ASSERT_EQ(generated.status, 2);  // the directory does not exist yet
  s.MakeDirectory("generated/n");
  generated = RunSim({"generate-reports", s.Path("input/site.site"), s.Path("generated")}, "");
  ASSERT_EQ(generated.status, 0) << generated.err;
  std::map<std::string, std::string> expected = FilesBelow(s.Path("generated"));
  // 1 listhbas, 8 hbaattributes and 4 targetmapping reports; two share a name.
  EXPECT_EQ(expected.size(), 12u);
  EXPECT_EQ(expected["SN100_2_hba_attributes.out"].substr(0, 44),
            "HBA Attributes for 10:00:00:90:fa:aa:bb:02\n\n");
  EXPECT_EQ(expected["SN100_4_hba_attributes.out"], "ERROR: <3>: hbaattributes failed\n");
  EXPECT_EQ(expected["SN100_3_target_mapping.out"], s.Read("input/mapping.txt"));
  EXPECT_NE(expected["SN100_0_hba_attributes.out"].find("00-90-FA-CC-DD-00"), std::string::npos);
  EXPECT_TRUE(expected.count("n/a_2_target_mapping.out"));

  size_t calls = 0;
  e2e::ForEachBuild([&](e2e::Build build) {
    const std::string dir = e2e::ProgramName(build);
    s.Write(dir + "/FC_HBA_Conditions.txt", "");
    s.MakeDirectory(dir + "/n");
    e2e::RunOptions options;
    options.cwd = dir;
    s.Run(build, {"-pci-id", "19A2:0714"}, options);
    EXPECT_EQ(s.SimCalls().size() - calls, 13u);
    calls = s.SimCalls().size();
    std::map<std::string, std::string> left = FilesBelow(s.Path(dir));
    left.erase("FC_HBA_Conditions.txt");
    EXPECT_EQ(left, expected);
  });

  s.Write("input/raw.site", "listhbas-raw list.txt\n");
  Result refused = RunSim({"generate-reports", s.Path("input/raw.site"), s.Path("generated")}, "");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("listhbas raw override"), std::string::npos) << refused.err;
}

// The shipped sites against the sample conditions file: the storage of the
// good sites is allowed for their controllers, that of invalid-storage is
// not.  A LUN is allowed when a line with the port's four ids names its
// vendor with an empty group or a group element that begins its product.
bool StorageAllowed(const std::vector<std::vector<std::string>>& conditions,
                    const std::string& ids, const std::string& vendor,
                    const std::string& product) {
  for (const std::vector<std::string>& cells : conditions) {
    if (cells.size() < 6 || cells[2] + " " + cells[3] + " " + cells[4] + " " + cells[5] != ids)
      continue;
    for (size_t i = 13; i + 1 < cells.size(); i += 3) {
      if (cells[i] != vendor) continue;
      if (cells[i + 1].empty()) return true;
      std::istringstream group(cells[i + 1]);
      for (std::string element; std::getline(group, element, ',');)
        if (product.rfind(element, 0) == 0) return true;
    }
  }
  return false;
}

TEST(SimSites, ShippedSitesAgreeWithTheSampleConditions) {
  std::ifstream in(e2e::SourceDir() + "/sim/sites/FC_HBA_Conditions.txt");
  std::vector<std::vector<std::string>> conditions;
  std::vector<std::string> raw_lines;
  for (std::string line; std::getline(in, line);) {
    raw_lines.push_back(line);
    if (line.find('#') == std::string::npos && line.find("--+--") == std::string::npos)
      conditions.push_back(Cells(line));
  }
  ASSERT_FALSE(conditions.empty());
  ExpectCellsFit(raw_lines);

  const char* good[] = {"cna-basic", "two-cnas-two-vendors", "mixed", "no-serial",
                        "no-function0", "one-controller-two-vendors", "flash-fails"};
  auto bad_luns = [&](const std::string& name) {
    int bad = 0, luns = 0;
    Result list = RunSim({"listhbas"}, ShippedSite(name));
    EXPECT_EQ(list.status, 0) << name << ": " << list.err;
    for (const Block& block : ListHbasBlocks(list.out)) {
      std::string type = Value(block, "Port Type");
      if (type != "FCoE") continue;  // pure FC ports are not checked
      std::string wwn = Value(block, "Port WWN");
      auto attributes = AttributeValues(RunSim({"hbaattributes", wwn}, ShippedSite(name)).out);
      std::string ids = attributes["Vendor Spec ID"] + " " + attributes["Device ID"] + " " +
                        attributes["Sub Vendor ID"] + " " + attributes["Sub Device ID"];
      std::string vendor;
      for (const std::string& line :
           Lines(RunSim({"targetmapping", wwn}, ShippedSite(name)).out)) {
        LabelLine split = SplitLabel(line);
        if (split.label == "Vendor ID") vendor = split.value;
        if (split.label == "Product ID") {
          ++luns;
          if (!StorageAllowed(conditions, ids, vendor, split.value)) ++bad;
        }
      }
    }
    EXPECT_GT(luns, 0) << name;
    return bad;
  };
  for (const char* name : good) EXPECT_EQ(bad_luns(name), 0) << name;
  EXPECT_EQ(bad_luns("invalid-storage"), 1);
}

}  // namespace
