// Capture and replay: the working directory of a real run against a
// shipped site is a capture; the simulator answers from it
// (HBACMD_SIM_REPLAY), and fcguard-replay runs both programs against
// captures, as an administrator tries a conditions file on a fleet.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/support/screen_text.h"

namespace {

using test_support::Lines;

const char kPath[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
const std::vector<std::string> kCheck = {"-pci-id", "19A2:0714"};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string SampleConditions() {
  return Slurp(e2e::SourceDir() + "/sim/sites/FC_HBA_Conditions.txt");
}

struct Original {
  e2e::Result result;
  std::vector<std::string> calls;
};

// Runs the program in work/<dir>/ against the site, with the sample
// conditions file unless dir holds one: dir is then a capture.
Original Capture(e2e::Scenario& scenario, e2e::Build build, const std::string& site,
                 const std::string& dir, const std::vector<std::string>& args) {
  if (!scenario.Exists(dir + "/FC_HBA_Conditions.txt"))
    scenario.Write(dir + "/FC_HBA_Conditions.txt", SampleConditions());
  scenario.UseSite(site);
  std::size_t before = scenario.SimCalls().size();
  e2e::RunOptions options;
  options.cwd = dir;
  Original original;
  original.result = scenario.Run(build, args, options);
  std::vector<std::string> calls = scenario.SimCalls();
  original.calls.assign(calls.begin() + before, calls.end());
  return original;
}

// build/fcguard-replay running the given build.
e2e::Result Replay(e2e::Build build, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {e2e::BinaryDir() + "/fcguard-replay", "--fcguard",
                                   e2e::BinaryDir() + "/" + e2e::ProgramName(build)};
  argv.insert(argv.end(), args.begin(), args.end());
  return e2e::RunCommand(argv, {kPath}, "/");
}

// The simulator alone, answering from a capture.
e2e::Result Sim(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<std::string> argv = {e2e::BinaryDir() + "/hbacmd-sim"};
  argv.insert(argv.end(), args.begin(), args.end());
  return e2e::RunCommand(argv, env, "/");
}

std::string Row(const std::string& name, const std::string& status, const std::string& code,
                const std::string& reason) {
  return name + "\t" + status + "\t" + code + "\t" + reason;
}

// Replayed at -v 6, every capture runs as the original did: the same
// status, the same hbacmd calls in the same order, the same output.
TEST(Replay, RunsAsTheOriginalRun) {
  E2E_REQUIRE_SANDBOX();
  const std::vector<std::string> sites = {"cna-basic", "mixed", "two-cnas-two-vendors",
                                          "invalid-storage", "no-serial", "no-function0"};
  std::vector<std::string> args = {"-v", "6"};
  args.insert(args.end(), kCheck.begin(), kCheck.end());
  e2e::Scenario scenario;
  e2e::ForEachBuild([&](e2e::Build build) {
    const std::string captures = std::string("captures-") + e2e::ProgramName(build);
    const std::string kept = std::string("kept-") + e2e::ProgramName(build);
    std::vector<Original> originals;
    std::vector<std::string> replay = {"--keep", scenario.Path(kept), "--jobs", "3"};
    for (const std::string& site : sites) {
      originals.push_back(Capture(scenario, build, site, captures + "/" + site, args));
      replay.push_back(scenario.Path(captures + "/" + site));
    }
    replay.push_back("--");
    replay.insert(replay.end(), args.begin(), args.end());

    e2e::Result result = Replay(build, replay);
    EXPECT_EQ(1, result.status) << result.err;  // invalid-storage ends with 4
    std::vector<std::string> rows = Lines(result.out);
    ASSERT_EQ(sites.size(), rows.size()) << result.out;
    for (std::size_t i = 0; i < sites.size(); ++i) {
      SCOPED_TRACE(sites[i]);
      const std::string run = kept + "/" + std::to_string(i + 1);
      const int status = originals[i].result.status;
      EXPECT_EQ(std::to_string(status) + "\n", scenario.Read(run + "/status"));
      EXPECT_TRUE(rows[i].starts_with(sites[i] + "\t" + std::to_string(status) + "\t" +
                                      (status == 0 ? "RET_OK\t" : "RET_INVALID_CTRL_SUBSYSTEM")))
          << rows[i];
      EXPECT_EQ(originals[i].calls, Lines(scenario.Read(run + "/calls")));
      EXPECT_EQ(originals[i].result.out, scenario.Read(run + "/stdout"));
    }
  });
}

// A candidate conditions file that no longer allows HITACHI storage fails
// exactly the server that has it, and says which port and storage.
TEST(Replay, CandidateConditionsFailOnlyTheServerTheyRefuse) {
  E2E_REQUIRE_SANDBOX();
  std::string candidate = SampleConditions();
  const std::string hitachi = "| HITACHI | OPEN-V | 8001 ";
  ASSERT_NE(std::string::npos, candidate.find(hitachi));
  candidate.erase(candidate.find(hitachi), hitachi.size());
  e2e::Scenario scenario;
  scenario.Write("candidate.txt", candidate);
  e2e::ForEachBuild([&](e2e::Build build) {
    const std::string captures = std::string("captures-") + e2e::ProgramName(build);
    std::vector<std::string> replay = {"--conditions", scenario.Path("candidate.txt")};
    for (const char* site : {"cna-basic", "two-cnas-two-vendors", "mixed"}) {
      EXPECT_EQ(0, Capture(scenario, build, site, captures + "/" + site, kCheck).result.status);
      replay.push_back(scenario.Path(captures + "/" + site));
    }
    replay.push_back("--");
    replay.insert(replay.end(), kCheck.begin(), kCheck.end());

    e2e::Result result = Replay(build, replay);
    EXPECT_EQ(1, result.status) << result.err;
    EXPECT_EQ(Row("cna-basic", "0", "RET_OK", "passed") + "\n" +
                  Row("two-cnas-two-vendors", "4", "RET_INVALID_CTRL_SUBSYSTEM_COMBINATION",
                      "FC87654321 function 2 (FCoE port 0): HITACHI OPEN-V 8001 not allowed") +
                  "\n" + Row("mixed", "0", "RET_OK", "passed") + "\n",
              result.out);
  });
}

// A capture without one port's report replays as a server whose hbacmd
// does not know that port: the call answers the unknown-address error.
TEST(Replay, MissingReportAnswersAsAnUnknownPort) {
  E2E_REQUIRE_SANDBOX();
  const std::string wwn = "10:00:00:90:fa:aa:bb:02";
  e2e::Scenario scenario;
  scenario.Write("unknown.txt", "ERROR: <1>: HBA Not Found: " + wwn + "\n");
  std::string site = Slurp(e2e::SourceDir() + "/sim/sites/cna-basic.site");
  const std::string port = "port FCoE 0 2 " + wwn + "\n";
  ASSERT_NE(std::string::npos, site.find(port));
  site.insert(site.find(port) + port.size(), "  hbaattributes-raw " +
                                                 scenario.Path("unknown.txt") +
                                                 "\n  hbaattributes-status 1\n");
  std::vector<std::string> args = {"-v", "6"};
  args.insert(args.end(), kCheck.begin(), kCheck.end());
  e2e::ForEachBuild([&](e2e::Build build) {
    const std::string name = e2e::ProgramName(build);
    Capture(scenario, build, "cna-basic", "capture-" + name, args);
    std::remove(scenario.Path("capture-" + name + "/FC12345678_2_hba_attributes.out").c_str());
    Original unknown = Capture(scenario, build, site, "unknown-" + name, args);

    std::vector<std::string> replay = {"--keep", scenario.Path("kept-" + name),
                                       scenario.Path("capture-" + name), "--"};
    replay.insert(replay.end(), args.begin(), args.end());
    e2e::Result result = Replay(build, replay);
    EXPECT_EQ(unknown.result.status == 0 ? 0 : 1, result.status) << result.err;
    EXPECT_EQ(std::to_string(unknown.result.status) + "\n",
              scenario.Read("kept-" + name + "/1/status"));
    EXPECT_EQ(unknown.result.out, scenario.Read("kept-" + name + "/1/stdout"));
    EXPECT_EQ(unknown.calls, Lines(scenario.Read("kept-" + name + "/1/calls")));
  });
}

// --flash with --images: the download reaches the captured port's
// address as in the original run, the trace is written in the run's own
// directory and the image directory is left as it was.
TEST(Replay, FlashUsesTheImagesAndWritesNothingIntoThem) {
  E2E_REQUIRE_SANDBOX();
  const std::vector<std::string> flash = {"--flash", "-pci-id", "19A2:0714"};
  e2e::Scenario scenario;
  scenario.Write("images/OCe14102/fw.ufi", "firmware image\n");
  scenario.Write("images/OCe14102/FWtrace.out", "earlier trace\n");
  e2e::ForEachBuild([&](e2e::Build build) {
    const std::string name = e2e::ProgramName(build);
    scenario.Write("capture-" + name + "/OCe14102/fw.ufi", "firmware image\n");
    Original original = Capture(scenario, build, "cna-basic", "capture-" + name, flash);
    ASSERT_EQ(0, original.result.status);

    std::vector<std::string> replay = {"--images", scenario.Path("images"), "--keep",
                                       scenario.Path("kept-" + name),
                                       scenario.Path("capture-" + name), "--"};
    replay.insert(replay.end(), flash.begin(), flash.end());
    e2e::Result result = Replay(build, replay);
    EXPECT_EQ(Row("capture-" + name, "0", "RET_OK", "passed") + "\n", result.out) << result.err;
    EXPECT_EQ(original.calls, Lines(scenario.Read("kept-" + name + "/1/calls")));
    EXPECT_EQ(scenario.Read("capture-" + name + "/OCe14102/FWtrace.out"),
              scenario.Read("kept-" + name + "/1/work/OCe14102/FWtrace.out"));
    EXPECT_EQ("earlier trace\n", scenario.Read("images/OCe14102/FWtrace.out"));
    EXPECT_EQ((std::vector<std::string>{"FWtrace.out", "fw.ufi"}), scenario.List("images/OCe14102"));
  });
}

// What fcguard-replay refuses before running anything: status 2, a
// message naming the problem, nothing on stdout.
TEST(Replay, RefusesWhatIsNotACapture) {
  e2e::Scenario scenario;
  scenario.Write("file", "");
  scenario.MakeDirectory("empty");
  scenario.Write("capture/local_hba_list.out", "Manageable HBA List\n");
  const std::string capture = scenario.Path("capture");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "usage: fcguard-replay"},
      {{scenario.Path("file")}, "is not a directory"},
      {{scenario.Path("missing")}, "is not a directory"},
      {{scenario.Path("empty")}, "holds no local_hba_list.out"},
      {{"--jobs", "0", capture}, "--jobs takes a number from 1 to 256"},
      {{"--conditions", scenario.Path("missing"), capture}, "cannot read the conditions file"},
      {{"--images", scenario.Path("file"), capture}, "is not a readable directory"},
      {{"--keep", scenario.Path("empty"), capture}, "exists already"},
      {{"--frobnicate", capture}, "unknown option --frobnicate"},
      {{capture, "--", "--conpath", "x"}, "--conpath cannot be passed"},
  };
  for (const Case& c : cases) {
    e2e::Result result = Replay(e2e::Build::k64, c.args);
    EXPECT_EQ(2, result.status) << c.message;
    EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
    EXPECT_EQ("", result.out) << c.message;
  }
}

// The simulator finds a port's report through the captured listing as
// fcguard reads it: the value two characters after the first colon,
// cleaned of quotes and blanks; addresses and reports the capture lacks
// answer as unknown addresses; through the index as without it, an
// address that climbs ("../") naming no file; a capture that cannot be
// read ends the call with 126.
TEST(SimReplay, AnswersFromTheCapture) {
  e2e::Scenario scenario;
  const std::string listing =
      "Manageable HBA List\n\n"
      "Permanent MAC  : \"00-90-FA-00-00-00\" \t\n"
      "Serial No.     : SN1\nPCI Function   : 0\nPort Type      : NIC\n\n"
      "Port WWN       : 10:00:00:90:fa:00:00:02\n"
      "Serial No.     : SN1\nPCI Function   : 2\nPort Type      : FCoE\n\n"
      "Port WWN       : 10:00:00:90:fa:00:00:03\n"
      "Serial No.     : SN1\nPCI Function   : 3\nPort Type      : FCoE\n\n"
      "Port WWN       : ../../../x\n"
      "Serial No.     : SN1\nPCI Function   : 2\nPort Type      : FCoE\n";
  scenario.Write("capture/local_hba_list.out", listing);
  scenario.Write("capture/SN1_0_hba_attributes.out", std::string("attributes\0of 0\n", 16));
  scenario.Write("capture/SN1_2_target_mapping.out", "mapping of 2\n");
  scenario.Write("image.ufi", "image");

  // Through the index as without it; the index holds its three files only.
  for (const std::string& index : {std::string(), scenario.Path("index")}) {
    SCOPED_TRACE(index);
    const std::vector<std::string> env = {"HBACMD_SIM_REPLAY=" + scenario.Path("capture"),
                                          "HBACMD_SIM_INDEX=" + index};
    e2e::Result list = Sim({"listhbas"}, env);
    EXPECT_EQ(0, list.status);
    EXPECT_EQ(listing, list.out);
    e2e::Result attributes = Sim({"hbaattributes", "00-90-FA-00-00-00"}, env);
    EXPECT_EQ(0, attributes.status);
    EXPECT_EQ(std::string("attributes\0of 0\n", 16), attributes.out);
    e2e::Result mapping = Sim({"targetmapping", "10:00:00:90:fa:00:00:02"}, env);
    EXPECT_EQ(0, mapping.status);
    EXPECT_EQ("mapping of 2\n", mapping.out);
    e2e::Result climbing = Sim({"targetmapping", "../../../x"}, env);
    EXPECT_EQ("mapping of 2\n", climbing.out);
    e2e::Result download = Sim({"download", "00-90-FA-00-00-00", scenario.Path("image.ufi")}, env);
    EXPECT_EQ(0, download.status);
    EXPECT_TRUE(download.out.starts_with("Downloading image " + scenario.Path("image.ufi") +
                                         " (5 bytes) to 00-90-FA-00-00-00 ...\n"))
        << download.out;

    for (const std::vector<std::string>& call :
         {std::vector<std::string>{"hbaattributes", "\"00-90-FA-00-00-00\""},
          std::vector<std::string>{"hbaattributes", "10:00:00:90:fa:00:00:03"},  // no report
          std::vector<std::string>{"targetmapping", "00-90-FA-00-00-00"},      // not FC
          std::vector<std::string>{"download", "00-90-FA-00-00-09", scenario.Path("image.ufi")},
          std::vector<std::string>{"hbaattributes", std::string(200, 'a')}}) {
      e2e::Result unknown = Sim(call, env);
      EXPECT_EQ(1, unknown.status) << call[1];
      EXPECT_EQ("ERROR: <1>: HBA Not Found: " + call[1] + "\n", unknown.out);
    }
  }
  EXPECT_EQ((std::vector<std::string>{"CAPTURE", "entries", "table"}), scenario.List("index"));
  EXPECT_EQ((std::vector<std::string>{"capture", "image.ufi", "index"}), scenario.List());

  scenario.MakeDirectory("broken/local_hba_list.out");
  e2e::Result broken = Sim({"listhbas"}, {"HBACMD_SIM_REPLAY=" + scenario.Path("broken")});
  EXPECT_EQ(126, broken.status);
  EXPECT_NE(std::string::npos, broken.err.find(scenario.Path("broken/local_hba_list.out")))
      << broken.err;
  e2e::Result both = Sim({"listhbas"}, {"HBACMD_SIM_REPLAY=" + scenario.Path("capture"),
                                        "HBACMD_SIM_SITE=/x.site"});
  EXPECT_EQ(126, both.status);
  EXPECT_NE(std::string::npos, both.err.find("HBACMD_SIM_REPLAY")) << both.err;
}

// A capture file that is not a regular file within the size bound is
// never opened for reading (a FIFO, a device node, a link, a directory, a
// file beyond 64 MiB): the call ends with 126, which fcguard counts as a
// command that did not complete, so that the run cannot pass, not even at
// -v 0 in dov mode, and the simulator says why on stderr.  The intact
// capture passes, through the index as without it.
TEST(SimReplay, UnreadableCaptureFileFailsTheRun) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  const std::string mapping = "FC12345678_2_target_mapping.out";
  struct Case {
    std::string name;
    std::string file;  // the capture file it spoils, or empty
    std::function<int(const std::string&)> spoil;
    int status;
  } cases[] = {
      {"intact", "", nullptr, 0},
      {"fifo", mapping, [](const std::string& path) { return mkfifo(path.c_str(), 0600); }, 51},
      {"fifo-listing", "local_hba_list.out",
       [](const std::string& path) { return mkfifo(path.c_str(), 0600); }, 55},
      {"device", mapping,
       [](const std::string& path) {
         return mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3));  // /dev/null
       },
       51},
      {"link", mapping,
       [&](const std::string& path) {
         return symlink(scenario.Path("elsewhere").c_str(), path.c_str());
       },
       51},
      {"directory", mapping, [](const std::string& path) { return mkdir(path.c_str(), 0700); }, 51},
      {"oversized", mapping,
       [](const std::string& path) {
         return truncate(path.c_str(), 0) || truncate(path.c_str(), 64 * 1024 * 1024 + 1);
       },
       51},
  };
  scenario.Write("elsewhere", "Target Mapping for 10:00:00:90:fa:aa:bb:02:\n");
  const std::string site = e2e::SourceDir() + "/sim/sites/cna-basic.site";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.name == "device" && !e2e::IsRoot()) continue;  // mknod needs root
    const std::string capture = "captures/" + c.name;
    scenario.MakeDirectory(capture);
    ASSERT_EQ(0, e2e::RunCommand({e2e::BinaryDir() + "/hbacmd-sim", "generate-reports", site,
                                  scenario.Path(capture)},
                                 {}, "/")
                     .status);
    if (c.spoil) {
      const std::string path = scenario.Path(capture + "/" + c.file);
      if (c.name != "oversized") {
        ASSERT_EQ(0, unlink(path.c_str()));
      }
      ASSERT_EQ(0, c.spoil(path));
    }
    e2e::ForEachBuild([&](e2e::Build build) {
      for (const std::string index : {"", "index"}) {
        const std::string run = "runs/" + c.name + "-" + e2e::ProgramName(build) + index;
        scenario.Write(run + "/FC_HBA_Conditions.txt", SampleConditions());
        e2e::RunOptions options;
        options.cwd = run;
        options.env = {"HBACMD_SIM_REPLAY=" + scenario.Path(capture),
                       "HBACMD_SIM_INDEX=" + (index.empty() ? "" : scenario.Path(run) + ".index")};
        e2e::Result result =
            scenario.Run(build, {"-v", "0", "--dov-mode", "-pci-id", "19A2:0714"}, options);
        EXPECT_EQ(c.status, result.status) << index << result.err;
        if (c.spoil)
          EXPECT_NE(std::string::npos,
                    result.err.find("hbacmd-sim: cannot read capture file " +
                                    scenario.Path(capture + "/" + c.file)))
              << result.err;
        else
          EXPECT_EQ("", result.err);
      }
    });
  }
}

}  // namespace
