#include "replay/capture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "driver/base/settings.h"
#include "inventory/hba_info.h"
#include "inventory/hbacmd_runner.h"
#include "inventory/reports.h"

namespace {

constexpr char kListing[] = "local_hba_list.out";

FileProblem ProblemOf(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return FileProblem::kNotRegular;
  if (status.st_size > kMaxCapturedFileBytes) return FileProblem::kTooLarge;
  return FileProblem::kNone;
}

void Add(std::vector<MissingReport>* missing, const std::string& name, FileProblem problem) {
  missing->push_back({name, FileProblemText(problem)});
}

// Tests one report; copies it when it is good.  The listing may name the
// same file for two ports: it is tested once.
void CheckReport(int dir_fd, int copy_dir_fd, const std::string& name,
                 std::set<std::string>* seen, std::vector<MissingReport>* missing) {
  if (!seen->insert(name).second) return;
  // A name with a "/" (a serial number such as "../x") lies outside the
  // capture: fcguard's run could not have read it there either.
  if (name.find('/') != std::string::npos) {
    Add(missing, name, FileProblem::kMissing);
    return;
  }
  FileProblem problem = FileProblem::kNone;
  FILE* file = OpenCapturedFile(dir_fd, name, &problem);
  if (file == nullptr) {
    Add(missing, name, problem);
    return;
  }
  if (copy_dir_fd >= 0 && !CopyInto(file, copy_dir_fd, name)) Add(missing, name, FileProblem::kUnreadable);
  std::fclose(file);
}

}  // namespace

const char* FileProblemText(FileProblem problem) {
  switch (problem) {
    case FileProblem::kNone: return "";
    case FileProblem::kMissing: return "missing";
    case FileProblem::kUnreadable: return "unreadable";
    case FileProblem::kNotRegular: return "not a regular file";
    case FileProblem::kTooLarge: return "too large";
  }
  return "unreadable";
}

FILE* OpenCapturedFile(int dir_fd, const std::string& name, FileProblem* problem) {
  struct stat before;
  if (fstatat(dir_fd, name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0) {
    *problem = errno == ENOENT || errno == ENOTDIR ? FileProblem::kMissing : FileProblem::kUnreadable;
    return nullptr;
  }
  if ((*problem = ProblemOf(before)) != FileProblem::kNone) return nullptr;
  // O_NONBLOCK and O_NOFOLLOW: should it have become a FIFO or a link
  // since, the open neither waits nor follows.
  int fd = openat(dir_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *problem = errno == ELOOP ? FileProblem::kNotRegular : FileProblem::kUnreadable;
    return nullptr;
  }
  struct stat after;
  if (fstat(fd, &after) != 0) {
    *problem = FileProblem::kUnreadable;
  } else if (after.st_dev != before.st_dev || after.st_ino != before.st_ino) {
    *problem = FileProblem::kNotRegular;
  } else {
    *problem = ProblemOf(after);
  }
  if (*problem == FileProblem::kNone) {
    // A test read: a file that cannot be read (EIO, a directory's
    // permissions) is no report.
    char probe;
    if (pread(fd, &probe, 1, 0) < 0) *problem = FileProblem::kUnreadable;
  }
  if (*problem != FileProblem::kNone) {
    close(fd);
    return nullptr;
  }
  FILE* file = fdopen(fd, "r");
  if (file == nullptr) {
    close(fd);
    *problem = FileProblem::kUnreadable;
  }
  return file;
}

bool CopyInto(FILE* file, int dir_fd, const std::string& name) {
  int out = openat(dir_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (out < 0) return false;
  char buffer[65536];
  long long total = 0;
  bool ok = true;
  std::size_t n;
  while (ok && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    total += static_cast<long long>(n);
    if (total > kMaxCapturedFileBytes) ok = false;
    for (std::size_t done = 0; ok && done < n;) {
      ssize_t written = write(out, buffer + done, n - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) ok = false;
      else done += static_cast<std::size_t>(written);
    }
  }
  if (std::ferror(file)) ok = false;
  std::rewind(file);
  return close(out) == 0 && ok;
}

std::vector<MissingReport> CheckCapture(int dir_fd, int copy_dir_fd) {
  std::vector<MissingReport> missing;
  FileProblem problem = FileProblem::kNone;
  FILE* listing = OpenCapturedFile(dir_fd, kListing, &problem);
  if (listing == nullptr) {
    Add(&missing, kListing, problem);
    return missing;
  }
  if (copy_dir_fd >= 0 && !CopyInto(listing, copy_dir_fd, kListing)) {
    Add(&missing, kListing, FileProblem::kUnreadable);
    std::fclose(listing);
    return missing;
  }
  // fcguard's own reader, silently.
  DebugLevel = 0;
  VerboseLevel = 0;
  PrintDebugOnScreen = 0;
  int result = ReadListHbasReport(listing);
  bool failed = std::ferror(listing) != 0;
  std::fclose(listing);
  if (result != 0 || failed) {
    Add(&missing, kListing, FileProblem::kUnreadable);
    return missing;
  }
  if (p_hba_info_list == nullptr) return missing;
  std::set<std::string> seen;
  for (hba_info** slot = p_hba_info_list; *slot != nullptr; ++slot) {
    const hba_info* port = *slot;
    if (HasNoSerialNumber(port)) continue;
    CheckReport(dir_fd, copy_dir_fd, PortReportName(port, kHbaAttributesFile), &seen, &missing);
    if (IsAddressedByWWN(port))
      CheckReport(dir_fd, copy_dir_fd, PortReportName(port, kTargetMappingFile), &seen, &missing);
  }
  return missing;
}
