// The start of a run as the caller meets it: the conditions file and its
// path, the temporary directory report, the conditions listing and the
// cell echo, in both builds.  No hbacmd exists in these runs, so a run that
// gets past start-up ends with 21; only what start-up prints is compared.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/support/access_acl.h"
#include "tests/support/screen_text.h"

namespace {

const char kConditions[] =
    "# Vendor | Model | Vendor-Id | Device-Id | Sub-Vendor-Id | Sub-Device-Id\n"
    "-------+-------+------\n"
    "Emulex | OCe11102-FM | 19A2 | 0714 | 10DF | E602 | OCe11102 | 4.1 | 2.0 "
    "| oc11 | *.ufi | | | DGC | RAID 5,RAID 10 | 0326 | KVL | Orvantis_SX1 "
    "| x\n";

// The star banner with the empty line before it.
const std::string kStarBanner = "\n" + test_support::kStars + "\n";

const std::string kListing =
    kStarBanner +
    "\nList of allowed Fibre-Channel-Controller and Online-Storage-System "
    "combinations:\n\n"
    "Emulex     OCe11102-FM     \n"
    "\t\t1) DGC        RAID 5,RAID 10  \n"
    "\t\t2) KVL        Orvantis_SX1    \n"
    "\n" +
    kStarBanner;

const char kCellEcho[] =
    "             Emulex |      OCe11102-FM |   19A2 |   0714 |   10DF |   "
    "E602 |     OCe11102 |          4.1 |          2.0 |         oc11 |      "
    "  *.ufi |              |              |          DGC |     RAID 5,RAID "
    "10 |         0326          KVL |       Orvantis_SX1 |            x\n";

const char kNoTmpdir[] = "env: Environment variable TMPDIR is not set.\n";
const char kHere[] = "HBA conditions file: ./FC_HBA_Conditions.txt\n";

// Start-up printed `start` and the run went on (to the missing hbacmd).
void ExpectStartedWith(const e2e::Result& result, const std::string& start) {
  EXPECT_EQ(21, result.status);
  EXPECT_EQ(start, result.out.substr(0, start.size()));
}

TEST(StartUp, MissingConditionsFile) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  e2e::ForEachBuild([&](e2e::Build build) {
    e2e::Result result = scenario.Run(build, {}, e2e::NoHbacmd());
    EXPECT_EQ(15, result.status);
    EXPECT_EQ("Error: Could not open file ./FC_HBA_Conditions.txt\n"
              "\nCann't access file ./FC_HBA_Conditions.txt.\n\n",
              result.out);
    EXPECT_EQ("", result.err);

    result = scenario.Run(build, {"--silent"}, e2e::NoHbacmd());
    EXPECT_EQ(15, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);

    // A debug level switches screen output off.
    result = scenario.Run(build, {"-d", "6"}, e2e::NoHbacmd());
    EXPECT_EQ(15, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);
  });
}

TEST(StartUp, TemporaryDirectoryReport) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.Write("FC_HBA_Conditions.txt", kConditions);
  e2e::ForEachBuild([&](e2e::Build build) {
    e2e::RunOptions options = e2e::NoHbacmd();
    ExpectStartedWith(scenario.Run(build, {"-v", "3"}, options),
                      std::string(kNoTmpdir) + kHere);

    options.env = {"TMPDIR="};
    ExpectStartedWith(scenario.Run(build, {"-v", "3"}, options),
                      std::string("env: Environment variable TMPDIR is empty.\n") +
                          kHere);

    options.env = {"TMPDIR=/var/tmp/fc"};
    ExpectStartedWith(scenario.Run(build, {"-v", "3"}, options),
                      std::string("env: Temporary directory is: /var/tmp/fc.\n") +
                          kHere);

    // Level 2 shows neither.
    e2e::Result result = scenario.Run(build, {"-v", "2"}, options);
    EXPECT_EQ(21, result.status);
    EXPECT_EQ(std::string::npos, result.out.find("env:"));
    EXPECT_EQ(std::string::npos, result.out.find("HBA conditions file"));
  });
}

TEST(StartUp, ConditionsDirectory) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.Write("conf/FC_HBA_Conditions.txt", kConditions);
  e2e::ForEachBuild([&](e2e::Build build) {
    ExpectStartedWith(
        scenario.Run(build, {"-v", "3", "--conpath", "conf"}, e2e::NoHbacmd()),
        std::string(kNoTmpdir) + "HBA conditions file: conf/FC_HBA_Conditions.txt\n");

    // Started through the search path: the current directory.
    e2e::RunOptions options = e2e::NoHbacmd();
    options.argv0 = e2e::ProgramName(build);
    options.cwd = "conf";
    ExpectStartedWith(scenario.Run(build, {"-v", "3"}, options),
                      std::string(kNoTmpdir) + "HBA conditions file: " +
                          scenario.Path("conf") + "/FC_HBA_Conditions.txt\n");

    // Started through a path: that path's directory, wherever the run
    // starts.
    options.argv0 = std::string("conf/") + e2e::ProgramName(build);
    options.cwd = "";
    ExpectStartedWith(
        scenario.Run(build, {"-v", "3"}, options),
        std::string(kNoTmpdir) + "HBA conditions file: conf/FC_HBA_Conditions.txt\n");
  });
}

TEST(StartUp, ConditionsListingAndCellEcho) {
  E2E_REQUIRE_SANDBOX();
  e2e::Scenario scenario;
  scenario.Write("FC_HBA_Conditions.txt", kConditions);
  e2e::ForEachBuild([&](e2e::Build build) {
    ExpectStartedWith(scenario.Run(build, {"-v", "4"}, e2e::NoHbacmd()),
                      std::string(kNoTmpdir) + kHere + kListing);
    ExpectStartedWith(scenario.Run(build, {"-v", "5"}, e2e::NoHbacmd()),
                      std::string(kNoTmpdir) + kHere + kCellEcho + kListing);

    // Never through a debug level, which shows nothing at all.
    e2e::Result result = scenario.Run(build, {"-d", "5"}, e2e::NoHbacmd());
    EXPECT_EQ(21, result.status);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);

    // The default level shows nothing of start-up.
    result = scenario.Run(build, {}, e2e::NoHbacmd());
    EXPECT_EQ(21, result.status);
    EXPECT_EQ(std::string::npos, result.out.find("conditions"));
  });
}

// A conditions file or a working directory that another user can change
// could decide what is allowed and flashed, and which file a report
// overwrites through a planted link.
TEST(StartUp, ConditionsOthersCanChangeAreRefused) {
  E2E_REQUIRE_SANDBOX();
  namespace fs = std::filesystem;
  e2e::Scenario scenario;
  scenario.UseSite("cna-basic");
  scenario.UseSampleConditions();
  const std::string file = scenario.Path("FC_HBA_Conditions.txt");
  const std::string dir = scenario.Path();
  struct Case {
    std::string path;
    fs::perms mode;
    unsigned owner;
    std::string shown;  // empty: the run goes on
    unsigned acl = 0;   // a named ACL entry granting write: its tag
    unsigned mask = 7;  // and the ACL's mask
  };
  using test_support::kAclGroup;
  using test_support::kAclUser;
  const std::vector<Case> cases = {
      {dir, fs::perms(0777), 0, "./"},
      {dir, fs::perms(01777), 0, "./"},
      {dir, fs::perms(0755), 65534, "./"},
      {file, fs::perms(0666), 0, "./FC_HBA_Conditions.txt"},
      {dir, fs::perms(0775), 0, ""},  // group write is allowed
      {file, fs::perms(0664), 0, ""},
      // An ACL that lets a named user or group write counts as world write;
      // its mask counts too.
      {dir, fs::perms(0755), 0, "./", kAclUser},
      {file, fs::perms(0644), 0, "./FC_HBA_Conditions.txt", kAclGroup},
      {file, fs::perms(0644), 0, "", kAclUser, 5},
  };
  e2e::ForEachBuild([&](e2e::Build build) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.path);
      if (c.owner != 0) {
        if (!e2e::IsRoot()) continue;  // only root can give a directory away
        ASSERT_EQ(0, chown(c.path.c_str(), c.owner, static_cast<gid_t>(-1)));
      }
      fs::permissions(c.path, c.mode);
      if (c.acl != 0) {
        ASSERT_TRUE(test_support::GrantByAcl(c.path, c.acl, 7, c.mask));
      }
      std::size_t calls = scenario.SimCalls().size();
      e2e::Result result = scenario.Run(build, {"-pci-id", "19A2:0714"});
      test_support::RemoveAcl(c.path);
      fs::permissions(c.path, c.path == dir ? fs::perms(0755) : fs::perms(0644));
      if (c.owner != 0) {
        ASSERT_EQ(0, chown(c.path.c_str(), 0, static_cast<gid_t>(-1)));
      }
      if (c.shown.empty()) {
        EXPECT_EQ(0, result.status);
        continue;
      }
      EXPECT_EQ(55, result.status);
      EXPECT_EQ("Error: " + c.shown + " is writable by other users; refusing to use it.\n",
                result.out);
      EXPECT_EQ(calls, scenario.SimCalls().size());
    }
  });
  // Someone else could put the missing file there: the directory is
  // refused all the same.
  fs::remove(file);
  fs::permissions(dir, fs::perms(0777));
  e2e::ForEachBuild([&](e2e::Build build) {
    EXPECT_EQ(55, scenario.Run(build, {"-pci-id", "19A2:0714"}).status);
  });
  fs::permissions(dir, fs::perms(0755));
}

}  // namespace
