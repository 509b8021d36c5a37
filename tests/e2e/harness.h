// End-to-end harness: runs the real fcguard and fcguard32 in the sandbox
// (sim/sandbox), each run in a private scenario directory, and captures
// the status, standard output, standard error and the simulator's call log.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace e2e {

enum class Build { k64, k32 };
const char* ProgramName(Build build);  // "fcguard" or "fcguard32"
const std::vector<Build>& AllBuilds();

// Runs body once for each build, every failure inside it traced with the
// build's name.  After a fatal failure (ASSERT_*) no further body runs, as
// in a plain loop the assertion would have left the test.
void ForEachBuild(const std::function<void(Build)>& body);

// Where the simulator answers inside the sandbox.
enum class Hbacmd { kOpt, kSbin, kBoth, kNone };

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Where the program's standard output goes.
enum class Output {
  kFile,             // a file, captured in Result::out
  kClosed,           // descriptor 1 is closed
  kPipeClosedEarly,  // a pipe whose reader closes it after the first 10 bytes (Result::out)
};

struct RunOptions {
  Hbacmd hbacmd = Hbacmd::kOpt;
  // The first word the program sees; by default "./fcguard" (or
  // "./fcguard32"), so the scenario's work directory is its directory.
  std::string argv0;
  // Extra environment entries, "NAME=value".  The program otherwise gets
  // only PATH and the simulator's two variables.
  std::vector<std::string> env;
  // Start directory relative to the work directory; default: the work
  // directory itself.
  std::string cwd;
  Output output = Output::kFile;
};

// Run options for the common cases (designated initialisers would trip
// -Wmissing-field-initializers).
RunOptions NoHbacmd();
RunOptions HbacmdAt(Hbacmd place);

// True when the sandbox works here.  Otherwise reason tells why.
bool SandboxAvailable(std::string* reason);

// Skips the current test when the sandbox cannot work here and we are not
// root; as root a missing sandbox is a failure.
#define E2E_REQUIRE_SANDBOX()                                     \
  do {                                                            \
    std::string e2e_reason;                                       \
    if (!::e2e::SandboxAvailable(&e2e_reason)) {                  \
      if (::e2e::IsRoot()) FAIL() << e2e_reason;                  \
      GTEST_SKIP() << "end-to-end test skipped: " << e2e_reason;  \
    }                                                             \
  } while (0)
bool IsRoot();

// A fresh directory for one test: work/ is where the program starts and
// where its conditions file, reports and images live; the simulator's site
// and call log live beside it.  Removed when the test passed, kept (and
// named) when it failed.
class Scenario {
 public:
  Scenario();
  ~Scenario();
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  // Absolute path of a file below work/ ("" for work/ itself).
  std::string Path(const std::string& relative = "") const;
  void Write(const std::string& relative, const std::string& content) const;
  void MakeDirectory(const std::string& relative) const;
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  // Names of the entries of a directory below work/, sorted.
  std::vector<std::string> List(const std::string& relative = "") const;

  // Copies the sample conditions file (sim/sites/FC_HBA_Conditions.txt)
  // into work/.
  void UseSampleConditions() const;

  // The simulated site: a file of sim/sites/ by name ("cna-basic"), or,
  // when the text holds a line break, the site description itself.
  void UseSite(const std::string& name_or_text);
  // Every call the simulator received, one line each, in order.
  std::vector<std::string> SimCalls() const;

  Result Run(Build build, const std::vector<std::string>& args,
             const RunOptions& options = {}) const;

 private:
  std::string root_;
  std::string site_;
};

// Runs any command (no sandbox), capturing its output; for helpers.
Result RunCommand(const std::vector<std::string>& argv,
                  const std::vector<std::string>& env, const std::string& cwd);

// The text of a shipped site (sim/sites/NAME.site), to build a variant.
std::string SiteText(const std::string& name);

std::string SourceDir();
std::string BinaryDir();

}  // namespace e2e
