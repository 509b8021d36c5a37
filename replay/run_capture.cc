#include "replay/run_capture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "inventory/hba_info.h"
#include "replay/capture.h"
#include "replay/explain.h"

namespace {

constexpr char kConditions[] = "FC_HBA_Conditions.txt";

std::string Scratch(const char* name) { return std::string(kSandboxScratch) + "/" + name; }

// Opens a directory that exists or is made now.
int OpenDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return -1;
  return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The conditions file of the run into the working directory: the one
// given, or the capture's own (checked like its reports).  A capture
// without one runs without one (fcguard ends with 15).
bool PlaceConditions(const CaptureRun& run, int capture_fd, int work_fd,
                     std::vector<MissingReport>* missing) {
  FileProblem problem = FileProblem::kNone;
  FILE* file = nullptr;
  if (!run.conditions.empty()) {
    std::string::size_type slash = run.conditions.rfind('/');
    int dir_fd = open(run.conditions.substr(0, slash + 1).c_str(),
                      O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd >= 0) {
      file = OpenCapturedFile(dir_fd, run.conditions.substr(slash + 1), &problem);
      close(dir_fd);
    }
    if (file == nullptr) return false;
  } else {
    file = OpenCapturedFile(capture_fd, kConditions, &problem);
    if (file == nullptr) {
      if (problem != FileProblem::kMissing) missing->push_back({kConditions, FileProblemText(problem)});
      return true;
    }
  }
  bool copied = CopyInto(file, work_fd, kConditions);
  std::fclose(file);
  return copied;
}

void RedirectTo(int target, const std::string& path, int flags) {
  int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd >= 0) {
    dup2(fd, target);
    close(fd);
  }
}

// fcguard in the working directory, started as ./fcguard so that the
// directory is its own; its status (128 + the signal that ended it).
int RunFcguard(const CaptureRun& run) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (chdir(Scratch("work").c_str()) != 0) _exit(125);
    RedirectTo(0, "/dev/null", O_RDONLY);
    RedirectTo(1, Scratch("stdout"), O_WRONLY | O_CREAT | O_TRUNC);
    RedirectTo(2, Scratch("stderr"), O_WRONLY | O_CREAT | O_TRUNC);
    unsetenv("HBACMD_SIM_SITE");
    setenv("HBACMD_SIM_REPLAY", Scratch("capture").c_str(), 1);
    setenv("HBACMD_SIM_LOG", Scratch("calls").c_str(), 1);
    // The listing is indexed once, at the first call, in the scratch
    // directory: every later call costs the same whatever the capture's size.
    setenv("HBACMD_SIM_INDEX", Scratch("index").c_str(), 1);
    std::string start = "./" + run.fcguard.substr(run.fcguard.rfind('/') + 1);
    std::vector<std::string> words;
    if (!run.runner.empty()) words = {run.runner, "-0", start, run.fcguard};
    else words = {start};
    words.insert(words.end(), run.args.begin(), run.args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(run.runner.empty() ? run.fcguard.c_str() : run.runner.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

Row RunCapture(const CaptureRun& run) {
  int capture_fd = open(run.capture.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (capture_fd < 0)
    return IncompleteRow(run.path, {{"local_hba_list.out", FileProblemText(FileProblem::kMissing)}},
                         std::string("incomplete capture: ") +
                             (errno == ENOTDIR ? "not a directory" : std::strerror(errno)));
  int scratch_fd = OpenDirectory(kSandboxScratch);
  int copy_fd = OpenDirectory(Scratch("capture"));
  int work_fd = OpenDirectory(Scratch("work"));
  if (scratch_fd < 0 || copy_fd < 0 || work_fd < 0)
    return FailedRow(run.path, "cannot make the scratch directory");

  std::vector<MissingReport> missing = CheckCapture(capture_fd, copy_fd);
  if (!PlaceConditions(run, capture_fd, work_fd, &missing))
    return FailedRow(run.path, "cannot copy the conditions file");
  if (!missing.empty()) return IncompleteRow(run.path, std::move(missing), "");
  FreeHbaInfoList();

  int status = RunFcguard(run);
  if (status < 0 || status == 125 || status == 127)
    return FailedRow(run.path, "fcguard could not be run in the sandbox");
  // Kept with --keep, beside fcguard's output and the hbacmd calls.
  int status_fd = openat(scratch_fd, "status", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (status_fd >= 0) {
    const std::string text = std::to_string(status) + "\n";
    [[maybe_unused]] ssize_t ignored = write(status_fd, text.data(), text.size());
    close(status_fd);
  }

  ExplainInput input;
  input.reports_dir_fd = copy_fd;
  input.conditions_dir_fd = work_fd;
  input.status = status;
  input.fcguard_args = run.args;
  input.check_complete = false;
  Row row = Explain(run.path, input);
  if (status == 15 && run.conditions.empty() && row.reason.find("missing") != std::string::npos)
    row.reason = "the capture holds no FC_HBA_Conditions.txt (give --conditions)";
  return row;
}
