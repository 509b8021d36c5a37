// fcguard-replay: runs the real fcguard against the hbacmd reports
// captured on servers, each capture in a sandbox of its own, and prints one
// row per capture; or explains the run that a working directory holds.
//
//   fcguard-replay [--conditions FILE] [--images DIR] [--jobs N]
//                  [--fcguard PROGRAM] [--keep DIR] [--format FORMAT]
//                  CAPTURE... [-- FCGUARD-ARGUMENTS...]
//   fcguard-replay --explain DIR --status N [--format FORMAT] [-- FCGUARD-ARGUMENTS...]
//
// Status 0 every row RET_OK, 1 any other row, 2 errors of fcguard-replay
// itself, 128 + the signal on SIGINT, SIGTERM and SIGHUP.
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/base/print_debug.h"
#include "replay/explain.h"
#include "replay/fcguard_arguments.h"
#include "replay/fleet.h"
#include "replay/run_capture.h"

extern char** environ;

namespace {

constexpr int kMaxJobs = 256;

const char kUsage[] =
    "usage: fcguard-replay [--conditions FILE] [--images DIR] [--jobs N]\n"
    "                      [--fcguard PROGRAM] [--keep DIR] [--format FORMAT]\n"
    "                      CAPTURE... [-- FCGUARD-ARGUMENTS...]\n"
    "       fcguard-replay --explain DIR --status N [--format FORMAT]\n"
    "                      [-- FCGUARD-ARGUMENTS...]\n"
    "       fcguard-replay --version\n"
    "\n"
    "Runs fcguard once for every capture directory (the local_hba_list.out and\n"
    "<serial>_<function>_*.out reports of an fcguard run), each in a sandbox of\n"
    "its own against a simulated hbacmd answering from the capture, and prints\n"
    "one row per capture, in the order given.  A capture that lacks a report or\n"
    "holds one that cannot be read is not run: its row says what is missing.\n"
    "\n"
    "  --conditions FILE  the conditions file to try (default: each capture's own)\n"
    "  --images DIR       the firmware directory, for --flash\n"
    "  --jobs N           runs side by side, 1 to 256 (default: three per processor)\n"
    "  --fcguard PROGRAM  the program to run (default: the fcguard beside this one)\n"
    "  --keep DIR         make DIR and keep each run's scratch directory in DIR/N/\n"
    "  --format FORMAT    tsv (default), csv, json (an array) or jsonl (one per line)\n"
    "  --explain DIR      explain the run with status N that left its reports in DIR\n"
    "  --version, --help  the version, this text\n"
    "Status: 0 every row RET_OK, 1 any other row, 2 error of fcguard-replay,\n"
    "128 + the signal on SIGINT, SIGTERM and SIGHUP.\n";

[[noreturn]] void Fail(const std::string& text) {
  PrintStderrf("fcguard-replay: %s\n", text.c_str());
  std::exit(2);
}

std::string Directory(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool IsFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string Resolved(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

std::string Self() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) Fail("cannot find its own program (/proc/self/exe)");
  return std::string(path, static_cast<std::size_t>(n));
}

// Runs a program quietly; its exit status, or -1 when it cannot start.
int Quietly(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  std::vector<std::string> copy = words;
  for (std::string& word : copy) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return failed == ENOEXEC ? 126 : -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The words after "--", or none.
std::vector<std::string> After(int argc, char** argv, int from) {
  return std::vector<std::string>(argv + from, argv + argc);
}

// Prints one row: the sandbox's form ("<passed>\t<key>\n" before it) or
// the plain one.
int PrintRow(int fd, const Row& row, RowFormat format, bool sandboxed) {
  std::string text;
  if (sandboxed) text = std::string(RowPassed(row) ? "1" : "0") + "\t" + RowKey(row) + "\n";
  if (format == RowFormat::kCsv && !sandboxed) text += CsvHeader();
  if (format == RowFormat::kJson && !sandboxed) text += "[\n";
  text += FormatRow(row, format);
  if (format == RowFormat::kJson && !sandboxed) text += "]\n";
  if (!WriteAll(fd, text)) return 2;
  return sandboxed || RowPassed(row) ? 0 : 1;
}

// The row goes to the real standard output; whatever fcguard's code
// prints while the reason is found goes nowhere.
int TakeStandardOutput() {
  // Not inherited by fcguard and the simulator.
  int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (fd < 0 || null < 0 || dup2(null, STDOUT_FILENO) < 0) Fail("cannot set up its output");
  close(null);
  return fd;
}

// Inside the sandbox: --sandboxed PATH CAPTURE CONDITIONS FCGUARD RUNNER FORMAT -- ARGS
int SandboxedMain(int argc, char** argv) {
  if (argc < 9 || std::strcmp(argv[8], "--") != 0) Fail("--sandboxed is for its own use");
  CaptureRun run;
  run.path = argv[2];
  run.capture = argv[3];
  run.conditions = argv[4];
  run.fcguard = argv[5];
  run.runner = argv[6];
  RowFormat format;
  if (!ParseRowFormat(argv[7], &format)) Fail("--sandboxed is for its own use");
  run.args = After(argc, argv, 9);
  int out = TakeStandardOutput();
  return PrintRow(out, RunCapture(run), format, true);
}

bool ParseNumber(const char* text, int max, int* value) {
  if (*text == '\0' || std::strlen(text) > 4) return false;
  int n = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    n = n * 10 + (*p - '0');
  }
  if (n > max) return false;
  *value = n;
  return true;
}

void RefuseArguments(const std::vector<std::string>& args, bool explaining) {
  std::string refused = RefusedFcguardArgument(args, explaining);
  if (!refused.empty())
    Fail("the fcguard argument '" + refused +
         "' is not replayed: it checks nothing or leaves the working directory");
}

int ExplainMain(const std::string& dir, int status, RowFormat format,
                const std::vector<std::string>& args) {
  RefuseArguments(args, true);
  int dir_fd = open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  int out = TakeStandardOutput();
  Row row;
  if (dir_fd < 0) {
    row = IncompleteRow(dir, {{"local_hba_list.out", "missing"}},
                        "incomplete capture: " + dir + " is not a directory");
  } else {
    ExplainInput input;
    input.reports_dir_fd = dir_fd;
    input.conditions_dir_fd = dir_fd;
    input.status = status;
    input.fcguard_args = args;
    row = Explain(dir, input);
  }
  return PrintRow(out, row, format, false);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--sandboxed") == 0) return SandboxedMain(argc, argv);

  FleetOptions options;
  std::string format_word = "tsv", explain, status_word, keep, fcguard;
  bool explaining = false;
  int i = 1;
  for (; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--") {
      ++i;
      break;
    }
    if (word == "-h" || word == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (word == "--version") {
      std::printf("%s\n", FCGUARD_VERSION);  // as fcguard prints it
      return 0;
    }
    const char* valued[] = {"--conditions", "--images", "--jobs", "--fcguard",
                            "--keep", "--format", "--explain", "--status"};
    bool takes_value = false;
    for (const char* option : valued) takes_value |= word == option;
    if (takes_value) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') Fail(word + " needs a value");
      std::string value = argv[++i];
      if (word == "--conditions") options.conditions = value;
      else if (word == "--images") options.images = value;
      else if (word == "--jobs") {
        if (!ParseNumber(value.c_str(), kMaxJobs, &options.jobs) || options.jobs < 1)
          Fail("--jobs takes a number from 1 to " + std::to_string(kMaxJobs) + ", not '" + value + "'");
      } else if (word == "--fcguard") fcguard = value;
      else if (word == "--keep") keep = value;
      else if (word == "--format") format_word = value;
      else if (word == "--explain") { explain = value; explaining = true; }
      else status_word = value;
      continue;
    }
    if (word[0] == '-')
      Fail("unknown option " + word + " (a capture whose name begins with - is written ./" +
           word + ")");
    options.captures.push_back(word);
  }
  options.args = After(argc, argv, i);
  if (!ParseRowFormat(format_word, &options.format))
    Fail("--format takes tsv, csv, json or jsonl, not '" + format_word + "'");

  if (explaining || !status_word.empty()) {
    RefuseArguments(options.args, true);
    int status = 0;
    if (!explaining || status_word.empty() || !ParseNumber(status_word.c_str(), 255, &status))
      Fail("--explain DIR needs --status N (N from 0 to 255)");
    if (!options.captures.empty() || !options.conditions.empty() || !options.images.empty() ||
        !keep.empty() || !fcguard.empty())
      Fail("--explain takes only --status and --format");
    return ExplainMain(explain, status, options.format, options.args);
  }

  if (options.captures.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  RefuseArguments(options.args, false);
  if (options.jobs == 1 && argc > 0) {
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    bool given = false;
    for (int k = 1; k < i; ++k) given |= std::strcmp(argv[k], "--jobs") == 0;
    // A run waits mostly for its sandbox to be made and torn down, not for
    // a processor: three per processor keep them busy.
    long jobs = processors < 1 ? 3 : processors * 3;
    if (!given) options.jobs = jobs > kMaxJobs ? kMaxJobs : static_cast<int>(jobs);
  }
  if (!options.conditions.empty()) {
    if (!IsFile(options.conditions) || access(options.conditions.c_str(), R_OK) != 0)
      Fail("cannot read the conditions file " + options.conditions);
    options.conditions = Resolved(options.conditions);
    if (HiddenInSandbox(options.conditions))
      Fail("the conditions file " + options.conditions + " lies where the sandbox hides it");
  }
  if (!options.images.empty()) {
    struct stat status;
    if (stat(options.images.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        access(options.images.c_str(), R_OK | X_OK) != 0)
      Fail("the image directory " + options.images + " is not a readable directory");
    options.images = Resolved(options.images);
    if (HiddenInSandbox(options.images))
      Fail("the image directory " + options.images + " lies where the sandbox hides it");
  }

  options.self = Self();
  const std::string here = Directory(options.self);
  for (const std::string& candidate : {here + "/hbacmd-sim", here + "/../libexec/fcguard/hbacmd-sim"})
    if (options.sim.empty() && IsFile(candidate)) options.sim = Resolved(candidate);
  if (options.sim.empty())
    Fail("hbacmd-sim not found beside " + options.self + " nor in ../libexec/fcguard");
  if (fcguard.empty()) fcguard = here + "/fcguard";
  options.fcguard = Resolved(fcguard);
  if (options.fcguard.empty() || !IsFile(options.fcguard) || access(options.fcguard.c_str(), X_OK) != 0)
    Fail("cannot run " + fcguard + " (give --fcguard)");
  for (const std::string* path : {&options.self, &options.sim, &options.fcguard})
    if (HiddenInSandbox(*path)) Fail(*path + " lies where the sandbox hides it");
  // fcguard32 runs under qemu-i386 where the kernel runs no 32-bit programs.
  int version = Quietly({options.fcguard, "--version"});
  if (version == 126) {
    for (const char* qemu : {"/usr/bin/qemu-i386", "/usr/bin/qemu-i386-static"})
      if (options.runner.empty() && access(qemu, X_OK) == 0) options.runner = qemu;
    if (options.runner.empty())
      Fail("this kernel cannot run " + options.fcguard + ", and qemu-i386 is not installed");
  } else if (version != 0) {
    Fail(options.fcguard + " --version fails: is it fcguard?");
  }
  for (const char* bwrap : {"/usr/bin/bwrap", "/bin/bwrap"})
    if (options.bwrap.empty() && access(bwrap, X_OK) == 0) options.bwrap = bwrap;
  if (options.bwrap.empty()) Fail("bubblewrap (bwrap) is not installed");
  if (Quietly({options.bwrap, "--ro-bind", "/", "/", "--unshare-pid", "--die-with-parent", "--",
               "/bin/true"}) != 0)
    Fail("bubblewrap cannot make a sandbox here");

  if (!keep.empty()) {
    if (mkdir(keep.c_str(), 0700) != 0)
      Fail("--keep " + keep + ": " + (errno == EEXIST ? "it exists already" : std::strerror(errno)));
    options.keep = Resolved(keep);
    if (HiddenInSandbox(options.keep)) {
      rmdir(options.keep.c_str());
      Fail("--keep " + keep + " lies where the sandbox hides it");
    }
  }
  return ReplayFleet(options);
}
