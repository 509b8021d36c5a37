#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace e2e {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

constexpr std::size_t kPipeReaderBytes = 10;

// The reader of a pipe that is closed early: copies the first bytes into
// the file, then ends, closing the pipe.
pid_t StartPipeReader(int read_end, int write_end, const std::string& out) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  close(write_end);
  int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char bytes[kPipeReaderBytes];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = read(read_end, bytes + got, sizeof bytes - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (out_fd >= 0 && write(out_fd, bytes, got) < 0) _exit(1);
  _exit(0);
}

// Runs argv with exactly the given environment, stdout and stderr sent to
// files (or stdout as `output` says), and returns the exit status (128 +
// signal when killed).
int Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          const std::string& cwd, const std::string& out, const std::string& err,
          Output output = Output::kFile) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  int pipe_fds[2] = {-1, -1};
  pid_t reader = -1;
  if (output == Output::kPipeClosedEarly) {
    if (pipe(pipe_fds) != 0) return -1;
    reader = StartPipeReader(pipe_fds[0], pipe_fds[1], out);
    if (reader < 0) return -1;
  }
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int out_fd = output == Output::kPipeClosedEarly
                     ? pipe_fds[1]
                     : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int null_fd = open("/dev/null", O_RDONLY);
    if (out_fd < 0 || err_fd < 0 || null_fd < 0) _exit(126);
    dup2(null_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    if (output == Output::kClosed) close(1);
    if (pipe_fds[0] >= 0) close(pipe_fds[0]);
    // The program sees the disposition a framework's shell would give it.
    signal(SIGPIPE, SIG_DFL);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  if (reader > 0) {
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    int ignored = 0;
    while (waitpid(reader, &ignored, 0) < 0 && errno == EINTR) {
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::string TestName() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "no-test";
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

// How fcguard32 runs here: natively, or under qemu-i386 where the kernel
// has no 32-bit support (scripts/runner32 tells).
const std::vector<std::string>& Runner32() {
  static const std::vector<std::string> runner = [] {
    std::string dir = fs::temp_directory_path() / ("fcguard-e2e-probe-" + std::to_string(getpid()));
    fs::create_directories(dir);
    int status = Spawn({SourceDir() + "/scripts/runner32"}, {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"},
                       dir, dir + "/out", dir + "/err");
    std::string answer = ReadFile(dir + "/out");
    fs::remove_all(dir);
    if (!answer.empty() && answer.back() == '\n') answer.pop_back();
    if (status != 0 || answer.empty())
      return std::vector<std::string>{"/nonexistent/qemu-i386 (fcguard32 cannot run here: install qemu-user)"};
    if (answer == "native") return std::vector<std::string>{};
    return std::vector<std::string>{answer};
  }();
  return runner;
}

}  // namespace

std::string SourceDir() { return FCGUARD_SOURCE_DIR; }
std::string BinaryDir() { return FCGUARD_BINARY_DIR; }

std::string SiteText(const std::string& name) {
  return ReadFile(SourceDir() + "/sim/sites/" + name + ".site");
}

const char* ProgramName(Build build) { return build == Build::k64 ? "fcguard" : "fcguard32"; }

const std::vector<Build>& AllBuilds() {
  static const std::vector<Build> builds =
      FCGUARD_HAVE_32 ? std::vector<Build>{Build::k64, Build::k32} : std::vector<Build>{Build::k64};
  return builds;
}

void ForEachBuild(const std::function<void(Build)>& body) {
  for (Build build : AllBuilds()) {
    if (testing::Test::HasFatalFailure()) return;
    SCOPED_TRACE(ProgramName(build));
    body(build);
  }
}

bool IsRoot() { return geteuid() == 0; }

RunOptions NoHbacmd() { return HbacmdAt(Hbacmd::kNone); }

RunOptions HbacmdAt(Hbacmd place) {
  RunOptions options;
  options.hbacmd = place;
  return options;
}

bool SandboxAvailable(std::string* reason) {
  static const std::pair<bool, std::string> probe = [] {
    std::string dir = fs::temp_directory_path() / ("fcguard-e2e-probe-" + std::to_string(getpid()));
    fs::create_directories(dir);
    int status = Spawn({"/bin/bash", SourceDir() + "/sim/sandbox", "--probe"},
                       {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"}, dir, dir + "/out", dir + "/err");
    std::string err = ReadFile(dir + "/err");
    fs::remove_all(dir);
    return std::make_pair(status == 0, err.empty() ? "sandbox probe failed" : err);
  }();
  if (!probe.first && reason) *reason = probe.second;
  return probe.first;
}

Result RunCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& cwd) {
  std::string dir = fs::temp_directory_path() / ("fcguard-e2e-cmd-" + std::to_string(getpid()));
  fs::create_directories(dir);
  Result result;
  result.status = Spawn(argv, env, cwd, dir + "/out", dir + "/err");
  result.out = ReadFile(dir + "/out");
  result.err = ReadFile(dir + "/err");
  fs::remove_all(dir);
  return result;
}

Scenario::Scenario() {
  root_ = fs::temp_directory_path() / ("fcguard-e2e-" + std::to_string(getpid())) / TestName();
  fs::remove_all(root_);
  fs::create_directories(root_ + "/work");
  fs::create_directories(root_ + "/meta");
}

Scenario::~Scenario() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  if (info && info->result()->Failed()) {
    std::fprintf(stderr, "scenario kept in %s\n", root_.c_str());
    return;
  }
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  fs::remove(fs::path(root_).parent_path(), ignored);  // only when empty
}

std::string Scenario::Path(const std::string& relative) const {
  return relative.empty() ? root_ + "/work" : root_ + "/work/" + relative;
}

void Scenario::Write(const std::string& relative, const std::string& content) const {
  fs::create_directories(fs::path(Path(relative)).parent_path());
  std::ofstream(Path(relative), std::ios::binary) << content;
}

void Scenario::MakeDirectory(const std::string& relative) const {
  fs::create_directories(Path(relative));
}

std::string Scenario::Read(const std::string& relative) const { return ReadFile(Path(relative)); }

bool Scenario::Exists(const std::string& relative) const {
  struct stat status;
  return lstat(Path(relative).c_str(), &status) == 0;
}

std::vector<std::string> Scenario::List(const std::string& relative) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(Path(relative)))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void Scenario::UseSampleConditions() const {
  Write("FC_HBA_Conditions.txt", ReadFile(SourceDir() + "/sim/sites/FC_HBA_Conditions.txt"));
}

void Scenario::UseSite(const std::string& name_or_text) {
  if (name_or_text.find('\n') == std::string::npos) {
    site_ = SourceDir() + "/sim/sites/" + name_or_text + ".site";
    return;
  }
  site_ = root_ + "/meta/site.site";
  std::ofstream(site_, std::ios::binary) << name_or_text;
}

std::vector<std::string> Scenario::SimCalls() const {
  std::vector<std::string> calls;
  std::istringstream log(ReadFile(root_ + "/meta/sim.log"));
  for (std::string line; std::getline(log, line);) calls.push_back(line);
  return calls;
}

Result Scenario::Run(Build build, const std::vector<std::string>& args,
                     const RunOptions& options) const {
  std::string program = BinaryDir() + "/" + ProgramName(build);
  std::string argv0 = options.argv0.empty() ? std::string("./") + ProgramName(build) : options.argv0;
  const char* place = options.hbacmd == Hbacmd::kOpt    ? "opt"
                      : options.hbacmd == Hbacmd::kSbin ? "sbin"
                      : options.hbacmd == Hbacmd::kBoth ? "both"
                                                        : "none";
  std::vector<std::string> argv = {"/bin/bash", SourceDir() + "/sim/sandbox", "--hbacmd", place,
                                   "--sim", BinaryDir() + "/hbacmd-sim",
                                   "--cwd", options.cwd.empty() ? Path() : Path(options.cwd)};
  if (build == Build::k32 && !Runner32().empty()) {
    argv.insert(argv.end(), {"--", Runner32()[0], "-0", argv0, program});
  } else {
    argv.insert(argv.end(), {"--argv0", argv0, "--", program});
  }
  argv.insert(argv.end(), args.begin(), args.end());

  std::vector<std::string> env = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin",
                                  "HBACMD_SIM_LOG=" + root_ + "/meta/sim.log"};
  if (!site_.empty()) env.push_back("HBACMD_SIM_SITE=" + site_);
  env.insert(env.end(), options.env.begin(), options.env.end());

  Result result;
  result.status =
      Spawn(argv, env, Path(), root_ + "/meta/stdout", root_ + "/meta/stderr", options.output);
  result.out = ReadFile(root_ + "/meta/stdout");
  result.err = ReadFile(root_ + "/meta/stderr");
  return result;
}

}  // namespace e2e
