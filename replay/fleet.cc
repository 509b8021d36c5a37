#include "replay/fleet.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <optional>

#include "replay/run_capture.h"

extern char** environ;

namespace {

// What one sandbox may print: a row, even with many missing reports named.
constexpr std::size_t kMaxRowBytes = 1024 * 1024;

int signal_pipe[2] = {-1, -1};
volatile sig_atomic_t ending_signal = 0;

void OnSignal(int number) {
  if (ending_signal == 0) ending_signal = number;
  int saved = errno;
  char byte = 0;
  [[maybe_unused]] ssize_t ignored = write(signal_pipe[1], &byte, 1);
  errno = saved;
}

void InstallSignals() {
  if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
  // A closed output is seen as a failed write.
  signal(SIGPIPE, SIG_IGN);
}

double Now() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}


// The images of --images, each bound read-only into the working directory
// at the same relative place: the top level and one level of
// sub-directories, regular files only, never a file the run writes itself.
bool RunWritesItself(const std::string& name) {
  auto ends = [&](const char* suffix) {
    std::size_t n = std::strlen(suffix);
    return name.size() >= n && name.compare(name.size() - n, n, suffix) == 0;
  };
  return name == "FWtrace.out" || name == "FC_HBA_Conditions.txt" ||
         name == "local_hba_list.out" || ends("hba_attributes.out") || ends("target_mapping.out");
}

void ListImages(const std::string& dir, const std::string& relative, int depth,
                std::vector<std::string>* files) {
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return;
  while (struct dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat status;
    std::string path = dir + "/" + name;
    if (lstat(path.c_str(), &status) != 0) continue;
    std::string inner = relative.empty() ? name : relative + "/" + name;
    if (S_ISREG(status.st_mode) && !RunWritesItself(name)) files->push_back(inner);
    else if (S_ISDIR(status.st_mode) && depth > 0) ListImages(path, inner, depth - 1, files);
  }
  closedir(listing);
}

struct Running {
  std::size_t index;
  pid_t pid;
  int fd;
  std::string output;
};

class Fleet {
 public:
  explicit Fleet(const FleetOptions& options) : options_(options) {
    if (!options.images.empty()) ListImages(options.images, "", 1, &images_);
    struct stat status;
    hide_ocmanager_ = stat("/usr/sbin/ocmanager", &status) == 0;
    window_ = static_cast<std::size_t>(options.jobs) * 4 + 64;
    progress_ = isatty(STDERR_FILENO) == 1;
  }

  int Run();

 private:
  std::vector<std::string> SandboxWords(std::size_t index, const std::string& absolute) const;
  void Start(std::size_t index);
  void Finish(Running* run);
  bool Flush();
  void Record(std::size_t index, const Row& row) { Record(index, FormatRow(row, options_.format), RowPassed(row), RowKey(row)); }
  void Record(std::size_t index, std::string text, bool passed, std::string key);
  void Progress(bool force);
  void StopAll();
  void Summary() const;

  struct Done {
    std::string text;
    bool passed;
    std::string key;
  };

  const FleetOptions& options_;
  std::vector<std::string> images_;
  bool hide_ocmanager_ = false;
  std::size_t window_ = 64;
  bool progress_ = false;
  std::vector<Running> running_;
  std::deque<std::optional<Done>> pending_;  // rows from printed_ on
  std::size_t printed_ = 0, started_ = 0, failed_ = 0, finished_ = 0, shown_ = 0;
  std::map<std::string, std::size_t> counts_;
  bool output_closed_ = false;
  bool first_json_ = true;
  double start_time_ = Now(), last_progress_ = 0;
};

std::vector<std::string> Fleet::SandboxWords(std::size_t index, const std::string& absolute) const {
  const std::string scratch = kSandboxScratch;
  std::vector<std::string> w = {options_.bwrap, "--ro-bind", "/", "/", "--dev", "/dev",
                                "--proc", "/proc", "--tmpfs", "/opt"};
  if (hide_ocmanager_) w.insert(w.end(), {"--tmpfs", "/usr/sbin/ocmanager"});
  w.insert(w.end(), {"--ro-bind", options_.sim, "/opt/emulex/ocmanager/bin/hbacmd"});
  if (!options_.keep.empty())
    w.insert(w.end(), {"--bind", options_.keep + "/" + std::to_string(index + 1), scratch});
  else
    w.insert(w.end(), {"--dir", scratch});
  w.insert(w.end(), {"--dir", scratch + "/work"});
  for (const std::string& image : images_)
    w.insert(w.end(), {"--ro-bind", options_.images + "/" + image, scratch + "/work/" + image});
  w.insert(w.end(), {"--unshare-pid", "--unshare-ipc", "--unshare-uts", "--die-with-parent",
                     "--new-session", "--chdir", "/", "--", options_.self, "--sandboxed",
                     options_.captures[index], absolute, options_.conditions, options_.fcguard,
                     options_.runner, RowFormatWord(options_.format), "--"});
  w.insert(w.end(), options_.args.begin(), options_.args.end());
  return w;
}

void Fleet::Record(std::size_t index, std::string text, bool passed, std::string key) {
  pending_[index - printed_] = Done{std::move(text), passed, std::move(key)};
  ++finished_;
  if (!passed) ++failed_;
}

void Fleet::Start(std::size_t index) {
  pending_.emplace_back();
  const std::string& given = options_.captures[index];
  std::string absolute = given;
  if (given.empty() || given[0] != '/') {
    char cwd[PATH_MAX];
    absolute = std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + given;
  }
  char resolved[PATH_MAX];
  if (realpath(absolute.c_str(), resolved) != nullptr && HiddenInSandbox(resolved)) {
    Record(index, IncompleteRow(given, {{"local_hba_list.out", "unreadable"}},
                                "incomplete capture: it lies under /opt or /usr/sbin/ocmanager, "
                                "which the sandbox hides; copy it elsewhere"));
    return;
  }
  if (!options_.keep.empty() &&
      mkdir((options_.keep + "/" + std::to_string(index + 1)).c_str(), 0700) != 0) {
    Record(index, FailedRow(given, "cannot make its directory in --keep"));
    return;
  }
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    Record(index, FailedRow(given, "cannot start its sandbox"));
    return;
  }
  std::vector<std::string> words = SandboxWords(index, absolute);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, number);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  // A process group of its own: a terminal's interrupt reaches the replay,
  // which ends every sandbox itself.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  pid_t pid = -1;
  int failed = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(out[1]);
  if (failed != 0) {
    close(out[0]);
    Record(index, FailedRow(given, std::string("cannot start bwrap: ") + std::strerror(failed)));
    return;
  }
  running_.push_back(Running{index, pid, out[0], {}});
}

// The sandbox ended: its row, or the row of a sandbox that failed.  The
// sandbox prints "<passed>\t<key>\n" and then the row.
void Fleet::Finish(Running* run) {
  close(run->fd);
  int status = 0;
  while (waitpid(run->pid, &status, 0) < 0 && errno == EINTR) {
  }
  const std::string& given = options_.captures[run->index];
  std::string::size_type line = run->output.find('\n');
  std::string::size_type tab = run->output.find('\t');
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && line != std::string::npos &&
      tab != std::string::npos && tab < line && line + 1 < run->output.size()) {
    Record(run->index, run->output.substr(line + 1), run->output[0] == '1',
           run->output.substr(tab + 1, line - tab - 1));
    return;
  }
  std::string why = WIFSIGNALED(status)
                        ? "its sandbox was ended by signal " + std::to_string(WTERMSIG(status))
                        : "its sandbox failed (status " + std::to_string(WEXITSTATUS(status)) + ")";
  Record(run->index, FailedRow(given, why));
}

bool Fleet::Flush() {
  while (!pending_.empty() && pending_.front()) {
    Done& done = *pending_.front();
    std::string text = done.text;
    if (options_.format == RowFormat::kJson) {
      text = (first_json_ ? "[\n" : ",\n") + text.substr(0, text.size() - 1);
      first_json_ = false;
    }
    if (output_closed_ || !WriteAll(STDOUT_FILENO, text)) {
      output_closed_ = true;
      return false;
    }
    ++counts_[done.key];
    ++shown_;
    pending_.pop_front();
    ++printed_;
  }
  return !output_closed_;
}

void Fleet::Progress(bool force) {
  if (!progress_) return;
  double now = Now();
  if (!force && now - last_progress_ < 0.5) return;
  last_progress_ = now;
  double elapsed = now - start_time_;
  double rate = elapsed > 0 ? static_cast<double>(finished_) / elapsed : 0;
  std::size_t left = options_.captures.size() - finished_;
  char line[160];
  if (rate > 0)
    std::snprintf(line, sizeof line, "\r\033[K%zu/%zu done, %zu failed, %.1f/s, %.0f s left",
                  finished_, options_.captures.size(), failed_, rate,
                  static_cast<double>(left) / rate);
  else
    std::snprintf(line, sizeof line, "\r\033[K%zu/%zu done, %zu failed", finished_,
                  options_.captures.size(), failed_);
  WriteAll(STDERR_FILENO, line);
}

void Fleet::StopAll() {
  for (Running& run : running_) kill(run.pid, SIGKILL);
  for (Running& run : running_) {
    close(run.fd);
    while (waitpid(run.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  running_.clear();
}

void Fleet::Summary() const {
  if (progress_) WriteAll(STDERR_FILENO, "\r\033[K");
  std::string text = "fcguard-replay: " + std::to_string(shown_) + " of " +
                     std::to_string(options_.captures.size()) + " captures:";
  bool first = true;
  for (const auto& [key, count] : counts_) {
    text += (first ? " " : ", ") + std::to_string(count) + " " + key;
    first = false;
  }
  WriteAll(STDERR_FILENO, text + "\n");
}

int Fleet::Run() {
  InstallSignals();
  const std::size_t total = options_.captures.size();
  while (printed_ < total && ending_signal == 0 && !output_closed_) {
    while (running_.size() < static_cast<std::size_t>(options_.jobs) && started_ < total &&
           started_ - printed_ < window_)
      Start(started_++);
    if (!Flush()) break;
    if (printed_ == total) break;
    std::vector<struct pollfd> fds;
    for (const Running& run : running_) fds.push_back({run.fd, POLLIN, 0});
    fds.push_back({signal_pipe[0], POLLIN, 0});
    int ready = poll(fds.data(), fds.size(), progress_ ? 500 : -1);
    Progress(false);
    if (ready <= 0) continue;
    for (std::size_t i = running_.size(); i-- > 0;) {
      if (fds[i].revents == 0) continue;
      Running& run = running_[i];
      char buffer[65536];
      ssize_t n = read(run.fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0 && run.output.size() + static_cast<std::size_t>(n) <= kMaxRowBytes) {
        run.output.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (n > 0) kill(run.pid, SIGKILL);  // more than a row: not ours
      Finish(&run);
      running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  StopAll();
  // The rows finished behind one that did not: printed all the same.
  while (!pending_.empty() && !output_closed_) {
    if (pending_.front()) {
      Flush();
    } else {
      pending_.pop_front();
      ++printed_;
    }
  }
  if (options_.format == RowFormat::kJson && !output_closed_)
    output_closed_ = !WriteAll(STDOUT_FILENO, first_json_ ? "[]\n" : "\n]\n");
  Summary();
  if (ending_signal != 0) return 128 + ending_signal;
  if (output_closed_) {
    WriteAll(STDERR_FILENO, "fcguard-replay: the standard output is closed\n");
    return 2;
  }
  return failed_ == 0 ? 0 : 1;
}

}  // namespace

bool HiddenInSandbox(const std::string& absolute) {
  for (const char* hidden : {"/opt", "/usr/sbin/ocmanager"}) {
    std::size_t n = std::strlen(hidden);
    if (absolute.compare(0, n, hidden) == 0 && (absolute.size() == n || absolute[n] == '/'))
      return true;
  }
  return false;
}

int ReplayFleet(const FleetOptions& options) {
  Fleet fleet(options);
  return fleet.Run();
}
