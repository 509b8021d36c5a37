// Capture and replay: the working directory of a real run against a
// shipped site is a capture; the simulator answers from it
// (HBACMD_SIM_REPLAY), and fcguard-replay runs both programs against
// captures, as an administrator tries a conditions file on a fleet.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/support/screen_text.h"

namespace {

namespace fs = std::filesystem;
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
      EXPECT_TRUE(rows[i].starts_with(scenario.Path(captures + "/" + sites[i]) + "\t" +
                                      std::to_string(status) + "\t" +
                                      (status == 0 ? "RET_OK\t" : "RET_INVALID_CTRL_SUBSYSTEM")))
          << rows[i];
      EXPECT_EQ(originals[i].calls, Lines(scenario.Read(run + "/calls")));
      EXPECT_EQ(originals[i].result.out, scenario.Read(run + "/stdout"));
    }
  });
}

// A candidate conditions file that no longer allows HITACHI storage fails
// exactly the server that has it, and says which ports and storage.
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
    const std::string at = scenario.Path(captures + "/");
    EXPECT_EQ(Row(at + "cna-basic", "0", "RET_OK", "passed") + "\n" +
                  Row(at + "two-cnas-two-vendors", "4", "RET_INVALID_CTRL_SUBSYSTEM_COMBINATION",
                      "FC87654321 function 2 (FCoE port 0): HITACHI OPEN-V 8001 not allowed; "
                      "FC87654321 function 3 (FCoE port 1): HITACHI OPEN-V 8001 not allowed") +
                  "\n" + Row(at + "mixed", "0", "RET_OK", "passed") + "\n",
              result.out);
  });
}

// A capture that lacks a report its listing implies, or holds one that is
// no regular file (a FIFO, a link, a device node) or too large, is never
// run and never passed: its row names what is missing or unreadable, and
// the others still get theirs.  Nothing of it is opened (a FIFO would
// hang the run).
TEST(Replay, CaptureThatCannotBeReadIsNeverPassed) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  ASSERT_EQ(0, Capture(scenario, e2e::Build::k64, "cna-basic", "good", kCheck).result.status);
  const std::vector<std::string> names = {"missing", "fifo", "link", "device", "large"};
  for (const std::string& name : names)
    fs::copy(scenario.Path("good"), scenario.Path(name), fs::copy_options::recursive);
  auto path = [&](const std::string& capture, const std::string& file) {
    return scenario.Path(capture + "/" + file);
  };
  fs::remove(path("missing", "FC12345678_2_target_mapping.out"));
  fs::remove(path("fifo", "FC12345678_3_target_mapping.out"));
  ASSERT_EQ(0, mkfifo(path("fifo", "FC12345678_3_target_mapping.out").c_str(), 0644));
  fs::remove(path("link", "FC12345678_0_hba_attributes.out"));
  fs::create_symlink(path("good", "FC12345678_0_hba_attributes.out"),
                     path("link", "FC12345678_0_hba_attributes.out"));
  fs::remove(path("device", "FC12345678_1_hba_attributes.out"));
  const bool device = e2e::IsRoot();
  if (device) {  // the machine's /dev/null, a character device
    ASSERT_EQ(0, mknod(path("device", "FC12345678_1_hba_attributes.out").c_str(),
                       S_IFCHR | 0644, makedev(1, 3)));
  }
  fs::resize_file(path("large", "local_hba_list.out"), 65 * 1024 * 1024);
  scenario.Write("file", "");

  std::vector<std::string> replay = {scenario.Path("good")};
  for (const std::string& name : names) replay.push_back(scenario.Path(name));
  replay.insert(replay.end(), {scenario.Path("file"), scenario.Path("good"), "--"});
  replay.insert(replay.end(), kCheck.begin(), kCheck.end());
  e2e::Result result = Replay(e2e::Build::k64, replay);
  EXPECT_EQ(1, result.status) << result.err;
  const std::string incomplete = "-\tCAPTURE_INCOMPLETE\tincomplete capture: ";
  EXPECT_EQ(Row(scenario.Path("good"), "0", "RET_OK", "passed") + "\n" +
                scenario.Path("missing") + "\t" + incomplete +
                "FC12345678_2_target_mapping.out missing\n" + scenario.Path("fifo") + "\t" +
                incomplete + "FC12345678_3_target_mapping.out not a regular file\n" +
                scenario.Path("link") + "\t" + incomplete +
                "FC12345678_0_hba_attributes.out not a regular file\n" +
                scenario.Path("device") + "\t" + incomplete + "FC12345678_1_hba_attributes.out " +
                (device ? "not a regular file" : "missing") + "\n" + scenario.Path("large") +
                "\t" + incomplete + "local_hba_list.out too large\n" + scenario.Path("file") +
                "\t" + incomplete + "not a directory\n" +
                Row(scenario.Path("good"), "0", "RET_OK", "passed") + "\n",
            result.out);
  EXPECT_NE(std::string::npos, result.err.find("8 of 8 captures: 6 CAPTURE_INCOMPLETE, 2 RET_OK (0)"))
      << result.err;
}

// A conditions file whose firmware cell climbs out of the working
// directory, replayed with --flash: the run may list that directory, but
// writes nothing there, not even through a link planted in it.
TEST(Replay, FlashWritesNothingOutsideItsScratchDirectory) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  // The cell holds 19 characters: a directory of its own at the top of /tmp.
  const std::string outside = "/tmp/f" + std::to_string(getpid() % 100);
  fs::remove_all(outside);
  fs::create_directory(outside);
  scenario.Write("victim", "root's own file\n");
  fs::create_symlink(scenario.Path("victim"), outside + "/FWtrace.out");
  { std::ofstream(outside + "/fw.ufi") << "firmware image\n"; }
  std::string conditions = SampleConditions();
  const std::string cell = "| E70E | OCe14102 |";
  ASSERT_NE(std::string::npos, conditions.find(cell));
  conditions.replace(conditions.find(cell), cell.size(), "| E70E | ../../../../" + outside.substr(1) + " |");
  scenario.Write("capture/FC_HBA_Conditions.txt", conditions);
  const std::vector<std::string> flash = {"--flash", "-pci-id", "19A2:0714"};
  e2e::ForEachBuild([&](e2e::Build build) {
    // The capture's reports, from a plain check of the site.
    Capture(scenario, build, "cna-basic", "capture", kCheck);
    std::vector<std::string> replay = {scenario.Path("capture"), "--"};
    replay.insert(replay.end(), flash.begin(), flash.end());
    e2e::Result result = Replay(build, replay);
    EXPECT_TRUE(result.out.starts_with(scenario.Path("capture") + "\t10\tRET_FLASH_ERROR\t"))
        << result.err;
    EXPECT_EQ("root's own file\n", scenario.Read("victim"));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(outside))
      left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ((std::vector<std::string>{"FWtrace.out", "fw.ufi"}), left);
  });
  fs::remove_all(outside);
}

// SIGTERM, SIGINT or SIGHUP: the replay prints the rows it has, ends every
// sandbox and exits with 128 + the signal; SIGKILL of the replay alone
// ends every sandbox too.  Nothing is left on disk.
TEST(Replay, SignalEndsEveryRunAndLeavesNothing) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  ASSERT_EQ(0, Capture(scenario, e2e::Build::k64, "cna-basic", "good", kCheck).result.status);
  fs::copy(scenario.Path("good"), scenario.Path("slow"), fs::copy_options::recursive);
  { std::ofstream(scenario.Path("slow/FC_HBA_Conditions.txt"), std::ios::app) << "# slow\n"; }
  const std::string marker = "4242." + std::to_string(getpid());
  // fcguard, except in the slow capture, where it never ends.
  scenario.Write("slow-fcguard", "#!/bin/bash\n[ \"$1\" = --version ] && exit 0\n"
                 "grep -q '# slow' FC_HBA_Conditions.txt && exec sleep " + marker + "\n"
                 "exec -a ./fcguard " + e2e::BinaryDir() + "/fcguard \"$@\"\n");
  fs::permissions(scenario.Path("slow-fcguard"), fs::perms::owner_all);
  scenario.MakeDirectory("tmp");
  const std::string script = R"(
    replay=$1 fcguard=$2 good=$3 slow=$4 signal=$5
    "$replay" --fcguard "$fcguard" --jobs 3 "$good" "$slow" "$good" -- -pci-id 19A2:0714 >out &
    pid=$!
    # The first row is out, and the third, held behind the slow one, is
    # done: no sandbox of the good capture runs any more.
    for _ in $(seq 600); do
      [ -s out ] && ! pgrep -f -- "--sandboxed $good " >/dev/null && break
      sleep 0.05
    done
    sleep 0.5
    kill -s "$signal" "$pid"
    wait "$pid"
    echo "status $?"
    cat out)";
  const std::string row = Row(scenario.Path("good"), "0", "RET_OK", "passed") + "\n";
  for (const char* signal : {"TERM", "INT", "HUP", "KILL"}) {
    SCOPED_TRACE(signal);
    e2e::Result result = e2e::RunCommand(
        {"/bin/bash", "-c", script, "bash", e2e::BinaryDir() + "/fcguard-replay",
         scenario.Path("slow-fcguard"), scenario.Path("good"), scenario.Path("slow"), signal},
        {kPath, "TMPDIR=" + scenario.Path("tmp")}, scenario.Path());
    const std::string status = std::string(signal) == "TERM"  ? "143"
                               : std::string(signal) == "INT" ? "130"
                               : std::string(signal) == "HUP" ? "129"
                                                              : "137";
    EXPECT_EQ("status " + status + "\n" + row + (status == "137" ? "" : row), result.out)
        << result.err;
    // No run is left, a moment after.
    e2e::Result left;
    for (int i = 0; i < 40; ++i) {
      left = e2e::RunCommand({"/usr/bin/pgrep", "-f", "sleep " + marker}, {kPath}, "/");
      if (left.status != 0) break;
      usleep(50000);
    }
    EXPECT_EQ(1, left.status) << "left running: " << left.out;
    EXPECT_EQ(std::vector<std::string>{}, scenario.List("tmp"));
  }
}

// A relative TMPDIR changes nothing.
TEST(Replay, RelativeTmpdirWorks) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  ASSERT_EQ(0, Capture(scenario, e2e::Build::k64, "cna-basic", "good", kCheck).result.status);
  e2e::Result result =
      e2e::RunCommand({e2e::BinaryDir() + "/fcguard-replay", "good", "--", "-pci-id", "19A2:0714"},
                      {kPath, "TMPDIR=relative/tmp"}, scenario.Path());
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ(Row("good", "0", "RET_OK", "passed") + "\n", result.out);
}

// JSON, a JSON array or JSON lines, valid for python3's json module, with
// the fields every row has; --explain gives one row of the same shape for a
// directory an fcguard run left on this server.
TEST(Replay, JsonRowsAreValidJson) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  ASSERT_EQ(0, Capture(scenario, e2e::Build::k64, "cna-basic", "good", kCheck).result.status);
  fs::copy(scenario.Path("good"), scenario.Path("bad \"one\"\t"), fs::copy_options::recursive);
  fs::remove(scenario.Path("bad \"one\"\t/FC12345678_2_target_mapping.out"));
  const std::string check =
      "import json, sys\n"
      "rows = json.load(sys.stdin) if sys.argv[1] == 'json' else [json.loads(l) for l in sys.stdin]\n"
      "for row in rows:\n"
      "    assert list(row) == ['path', 'status', 'name', 'meaning', 'reason', 'complete',\n"
      "                         'refused', 'missing'], list(row)\n"
      "print(' '.join('%s:%s:%s' % (r['path'], r['status'], r['complete']) for r in rows))\n";
  for (const char* format : {"json", "jsonl"}) {
    SCOPED_TRACE(format);
    e2e::Result result = e2e::RunCommand(
        {"/bin/bash", "-c",
         "\"$1\" --format \"$2\" good \"$4\" -- -pci-id 19A2:0714 | python3 -c \"$3\" \"$2\"",
         "bash", e2e::BinaryDir() + "/fcguard-replay", format, check, "bad \"one\"\t"},
        {kPath}, scenario.Path());
    EXPECT_EQ(0, result.status) << result.err;
    EXPECT_EQ("good:0:True bad \"one\"\t:None:False\n", result.out);
  }
  e2e::Result explained =
      e2e::RunCommand({e2e::BinaryDir() + "/fcguard-replay", "--explain", "good", "--status", "0",
                       "--format", "jsonl", "--", "-pci-id", "19A2:0714"},
                      {kPath}, scenario.Path());
  EXPECT_EQ(0, explained.status) << explained.err;
  EXPECT_EQ("{\"path\": \"good\", \"status\": 0, \"name\": \"RET_OK\", \"meaning\": \"every check "
            "passed, or the flash succeeded; also help, version, return-code list; with "
            "`--dov-mode` also 12 and 13\", \"reason\": \"passed\", \"complete\": true, "
            "\"refused\": [], \"missing\": []}\n",
            explained.out);
}

// What a framework that ran fcguard at -v 0 asks afterwards: --explain
// on the working directory the run left gives the status's name and
// meaning and every refused sub-system of every port, from fcguard's own
// check (both orders of an allowed and a refused array on one port), and
// the port without a flash partner for 22.
TEST(Replay, ExplainNamesEveryRefusedSubsystem) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  std::string site = e2e::SiteText("invalid-storage");
  const std::string lunz = "  lun DGC LUNZ 0533\n";
  ASSERT_NE(std::string::npos, site.find(lunz));
  site.replace(site.find(lunz), lunz.size(), "  lun DGC VRAID 0533\n  lun IBM FlashSystem 8600\n" + lunz);
  std::string partnerless = e2e::SiteText("no-function0");
  const std::string nic = "port NIC 1 1 00-90-FA-24-68-01\n";
  ASSERT_NE(std::string::npos, partnerless.find(nic));
  partnerless.erase(partnerless.find(nic), nic.size());
  // As a framework runs it: in its directory, --conpath . (accepted here).
  const std::vector<std::string> args = {"--conpath", ".", "-v", "0", "-pci-id", "19A2:0714"};
  e2e::ForEachBuild([&](e2e::Build build) {
    const std::string dir = std::string("run-") + e2e::ProgramName(build);
    ASSERT_EQ(4, Capture(scenario, build, site, dir, args).result.status);
    std::vector<std::string> explain = {e2e::BinaryDir() + "/fcguard-replay", "--explain", dir,
                                        "--status", "4", "--format", "jsonl", "--"};
    explain.insert(explain.end(), args.begin(), args.end());
    e2e::Result result = e2e::RunCommand(explain, {kPath}, scenario.Path());
    EXPECT_EQ(1, result.status) << result.err;
    EXPECT_EQ("{\"path\": \"" + dir + "\", \"status\": 4, "
              "\"name\": \"RET_INVALID_CTRL_SUBSYSTEM_COMBINATION\", \"meaning\": \"an attached "
              "storage sub-system is not allowed for its controller (reported in every mode)\", "
              "\"reason\": \"FC11112222 function 2 (FCoE port 0): IBM FlashSystem 8600 not allowed; "
              "FC11112222 function 2 (FCoE port 0): DGC LUNZ 0533 not allowed\", \"complete\": true, "
              "\"refused\": [{\"port\": \"10:00:00:90:fa:11:22:02\", \"vendor\": \"IBM\", "
              "\"product\": \"FlashSystem\", \"version\": \"8600\"}, {\"port\": "
              "\"10:00:00:90:fa:11:22:02\", \"vendor\": \"DGC\", \"product\": \"LUNZ\", "
              "\"version\": \"0533\"}], \"missing\": []}\n",
              result.out);

    const std::string other = std::string("partnerless-") + e2e::ProgramName(build);
    ASSERT_EQ(22, Capture(scenario, build, partnerless, other, args).result.status);
    explain[2] = other;
    explain[4] = "22";
    explain[6] = "tsv";
    result = e2e::RunCommand(explain, {kPath}, scenario.Path());
    EXPECT_EQ(Row(other, "22", "RET_KERNEL_MODULE_MISSING",
                  "FC24681357 function 2 (FCoE port 0) has no flash partner") + "\n",
              result.out)
        << result.err;
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
    EXPECT_EQ(Row(scenario.Path("capture-" + name), "0", "RET_OK", "passed") + "\n", result.out)
        << result.err;
    EXPECT_EQ(original.calls, Lines(scenario.Read("kept-" + name + "/1/calls")));
    EXPECT_EQ(scenario.Read("capture-" + name + "/OCe14102/FWtrace.out"),
              scenario.Read("kept-" + name + "/1/work/OCe14102/FWtrace.out"));
    EXPECT_EQ("earlier trace\n", scenario.Read("images/OCe14102/FWtrace.out"));
    EXPECT_EQ((std::vector<std::string>{"FWtrace.out", "fw.ufi"}), scenario.List("images/OCe14102"));
  });
}

// What fcguard-replay refuses before running anything: status 2, a
// message naming the problem, nothing on stdout.  (A capture that is not
// one gets its row instead: CaptureThatCannotBeReadIsNeverPassed.)
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
      {{"--jobs", "0", capture}, "--jobs takes a number from 1 to 256"},
      {{"--conditions", scenario.Path("missing"), capture}, "cannot read the conditions file"},
      {{"--images", scenario.Path("file"), capture}, "is not a readable directory"},
      {{"--keep", scenario.Path("empty"), capture}, "exists already"},
      {{"--frobnicate", capture}, "unknown option --frobnicate"},
      {{"--format", "xml", capture}, "--format takes tsv, csv, json or jsonl"},
      {{"--explain", capture}, "--explain DIR needs --status N"},
      // What checks nothing or leaves the working directory, in every
      // spelling fcguard accepts.
      {{capture, "--", "--conpath", "x"}, "'--conpath' is not replayed"},
      {{capture, "--", "/-conpath", "x"}, "'/-conpath' is not replayed"},
      {{capture, "--", "-v", "3", "x--conpath", "x"}, "'x--conpath' is not replayed"},
      {{capture, "--", "--help"}, "'--help' is not replayed"},
      {{capture, "--", "/?"}, "'/?' is not replayed"},
      {{capture, "--", "-h"}, "'-h' is not replayed"},
      {{capture, "--", "--hiddenhelp"}, "'--hiddenhelp' is not replayed"},
      {{capture, "--", "--version"}, "'--version' is not replayed"},
      {{capture, "--", "/-info"}, "'/-info' is not replayed"},
      {{capture, "--", "--show-return-code"}, "'--show-return-code' is not replayed"},
      {{"--explain", capture, "--status", "0", "--", "--show-return-codes"},
       "'--show-return-codes' is not replayed"},
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
