// hbacmd-sim: a stand-in for the vendor's HBA management CLI hbacmd.
//
//   hbacmd-sim listhbas
//   hbacmd-sim hbaattributes ADDR
//   hbacmd-sim targetmapping WWN
//   hbacmd-sim download ADDR IMAGE
//   hbacmd-sim generate-site CNAS
//   hbacmd-sim generate-conditions LINES CNAS
//   hbacmd-sim generate-reports SITE DIR
//   hbacmd-sim replay-index
//
// The site comes from the file named by HBACMD_SIM_SITE, or the answers
// from the capture directory named by HBACMD_SIM_REPLAY (the reports an
// fcguard run left there), through the index in HBACMD_SIM_INDEX when it
// is set; every call is appended to the file named by HBACMD_SIM_LOG.
// Reports and the vendor tool's own errors go to stdout (the caller
// redirects them into report files); problems of the simulation itself
// (no site, a malformed site, an unwritable log) go to stderr and end with
// status 2.  When replaying, they end with 126 instead, which fcguard
// counts as a command that did not complete: a capture file that cannot
// be read never reads as an empty report.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "sim/call_log.h"
#include "sim/generate.h"
#include "sim/replay.h"
#include "sim/reports.h"
#include "sim/site.h"

namespace {

constexpr int kFailed = 1;      // the simulated command failed
constexpr int kSetupError = 2;  // the simulation cannot run
// A replay that cannot answer: the status of a command that could not be
// run, which fcguard never takes for an answer.
constexpr int kReplayBroken = 126;

// The status of a problem of the simulation itself.
int setup_error = kSetupError;

void Err(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

// Writes the bytes unchanged to stdout.
int Emit(std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
    Err(std::string("hbacmd-sim: cannot write the report: ") + std::strerror(errno));
    return setup_error;
  }
  if (std::fflush(stdout) != 0) {
    Err(std::string("hbacmd-sim: cannot write the report: ") + std::strerror(errno));
    return setup_error;
  }
  return 0;
}

// Prints the answer of the simulated tool and ends with its status.
int Answer(const SimAnswer& answer) {
  int written = Emit(answer.text);
  return written ? written : answer.status;
}

// An error of the simulated hbacmd: on stdout, like the vendor's tool.
int CommandError(const std::string& text) { return Answer(CommandFailure(text)); }

// The words each verb of hbacmd takes (with the program's name and the
// verb), and the usage line of a call with other words.
struct VerbWords {
  std::string_view verb;
  int words;
  const char* usage;
};
constexpr VerbWords kVerbWords[] = {
    {"listhbas", 2, "Usage: hbacmd listhbas"},
    {"hbaattributes", 3, "Usage: hbacmd hbaattributes <WWPN|MAC>"},
    {"targetmapping", 3, "Usage: hbacmd targetmapping <WWPN>"},
    {"download", 4, "Usage: hbacmd download <WWPN|MAC> <ImageFileName>"},
};

// The status of the refusal of a call with the wrong words, or 0.
int RefuseWrongWords(int argc, char** argv) {
  for (const VerbWords& row : kVerbWords)
    if (row.verb == argv[1]) return argc == row.words ? 0 : CommandError(row.usage);
  return 0;
}

// Prints the answer of a look-up and ends with its status.
int Serve(const SimSite& site, SimReport report, const SimPort* port) {
  SimAnswer answer;
  std::string message;
  if (!AnswerReport(site, report, port, &answer, &message)) {
    Err(message);
    return kSetupError;
  }
  return Answer(answer);
}

// The port a call names in argv[2]: null, with the status of the refusal
// in *refused, when the site has no such port.
const SimPort* NamedPort(const SimSite& site, char** argv, int* refused) {
  const SimPort* port = FindPort(site, argv[2]);
  if (port == nullptr) *refused = CommandError(std::string("HBA Not Found: ") + argv[2]);
  return port;
}

// A command that the site has killed: ends by the signal before it writes
// anything, as hbacmd killed at its start would.
int EndBySignal(int signal_number) {
  std::signal(signal_number, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signal_number);
  Err("hbacmd-sim: signal " + std::to_string(signal_number) + " did not end the simulator");
  return kSetupError;
}

bool ParseCount(const char* text, long max, long* value) {
  if (!*text || std::strlen(text) > 9) return false;
  long n = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    n = n * 10 + (*p - '0');
  }
  if (n > max) return false;
  *value = n;
  return true;
}

int Usage() {
  Err("usage: hbacmd-sim listhbas\n"
      "       hbacmd-sim hbaattributes ADDR\n"
      "       hbacmd-sim targetmapping WWN\n"
      "       hbacmd-sim download ADDR IMAGE\n"
      "       hbacmd-sim generate-site CNAS\n"
      "       hbacmd-sim generate-conditions LINES CNAS\n"
      "       hbacmd-sim generate-reports SITE DIR\n"
      "       hbacmd-sim replay-index\n"
      "The site is the file named by HBACMD_SIM_SITE, or HBACMD_SIM_REPLAY names a\n"
      "capture to answer from, through the index in HBACMD_SIM_INDEX when set;\n"
      "calls are logged to HBACMD_SIM_LOG.");
  return kFailed;
}

int GenerateSiteVerb(int argc, char** argv) {
  long adapters = 0;
  if (argc != 3 || !ParseCount(argv[2], kMaxGeneratedAdapters, &adapters)) {
    Err("usage: hbacmd-sim generate-site CNAS (CNAS from 0 to " +
        std::to_string(kMaxGeneratedAdapters) + ")");
    return kFailed;
  }
  return Emit(GenerateSite(adapters));
}

int GenerateConditionsVerb(int argc, char** argv) {
  long lines = 0, adapters = 0;
  if (argc != 4 || !ParseCount(argv[2], kMaxGeneratedConditions, &lines) ||
      !ParseCount(argv[3], kMaxGeneratedAdapters, &adapters)) {
    Err("usage: hbacmd-sim generate-conditions LINES CNAS (LINES up to " +
        std::to_string(kMaxGeneratedConditions) + ", CNAS up to " +
        std::to_string(kMaxGeneratedAdapters) + ")");
    return kFailed;
  }
  long needed = GeneratedControllerTypes(adapters);
  if (lines < needed) {
    Err("hbacmd-sim: " + std::to_string(adapters) + " adapters need at least " +
        std::to_string(needed) + " conditions lines");
    return kFailed;
  }
  return Emit(GenerateConditions(lines, adapters));
}

// Writes the report files of a full fcguard run into DIR in one process.
int GenerateReportsVerb(int argc, char** argv) {
  if (argc != 4) {
    Err("usage: hbacmd-sim generate-reports SITE DIR");
    return kFailed;
  }
  SimSite site;
  std::string message;
  if (!LoadSite(argv[2], &site, &message) || !GenerateReports(site, argv[3], &message)) {
    Err(message);
    return kSetupError;
  }
  return 0;
}

// The capture's index directory, or empty.
std::string ReplayIndexDir() {
  const char* index = std::getenv("HBACMD_SIM_INDEX");
  return index ? index : "";
}

// Answers from a capture instead of a site.
int ReplayVerb(const std::string& capture, int argc, char** argv) {
  const char* site = std::getenv("HBACMD_SIM_SITE");
  if (site && *site) {
    Err("hbacmd-sim: both HBACMD_SIM_SITE and HBACMD_SIM_REPLAY are set; set one of them");
    return setup_error;
  }
  if (int refused = RefuseWrongWords(argc, argv)) return refused;
  const std::string verb = argv[1];
  const std::string index = ReplayIndexDir();
  SimAnswer answer;
  std::string message;
  bool ok = true;
  if (verb == "listhbas")
    ok = ReplayListHbas(capture, index, &answer, &message);
  else if (verb == "hbaattributes" || verb == "targetmapping")
    ok = ReplayReport(capture, index,
                      verb == "hbaattributes" ? SimReport::kHbaAttributes
                                              : SimReport::kTargetMapping,
                      argv[2], &answer, &message);
  else
    ok = ReplayDownload(capture, index, argv[2], argv[3], &answer, &message);
  if (!ok) {
    Err(message);
    return setup_error;
  }
  return Answer(answer);
}

// Builds the index of the capture before the run, so that every call of
// the run reads only its own entry.
int ReplayIndexVerb(int argc) {
  const char* capture = std::getenv("HBACMD_SIM_REPLAY");
  const std::string index = ReplayIndexDir();
  if (argc != 2 || !capture || !*capture || index.empty()) {
    Err("usage: HBACMD_SIM_REPLAY=CAPTURE HBACMD_SIM_INDEX=DIR hbacmd-sim replay-index");
    return kFailed;
  }
  std::string message;
  if (!ReplayIndex(capture, index, &message)) {
    Err(message);
    return kSetupError;
  }
  return 0;
}

int SiteVerb(int argc, char** argv) {
  const char* replay = std::getenv("HBACMD_SIM_REPLAY");
  if (replay && *replay) return ReplayVerb(replay, argc, argv);
  const char* path = std::getenv("HBACMD_SIM_SITE");
  if (!path || !*path) {
    Err("hbacmd-sim: HBACMD_SIM_SITE is not set; it names the site file to simulate");
    return kSetupError;
  }
  // A look-up needs only its own port.
  const std::string verb = argv[1];
  std::optional<std::string_view> only_address;
  if (verb != "listhbas" && argc >= 3) only_address = argv[2];
  SimSite site;
  std::string message;
  if (!LoadSite(path, &site, &message, only_address)) {
    Err(message);
    return kSetupError;
  }

  if (int refused = RefuseWrongWords(argc, argv)) return refused;
  if (verb == "listhbas") return Serve(site, SimReport::kListHbas, nullptr);
  int refused = 0;
  const SimPort* port = NamedPort(site, argv, &refused);
  if (!port) return refused;
  if (verb == "hbaattributes" || verb == "targetmapping") {
    bool attributes = verb == "hbaattributes";
    if (int signal_number = attributes ? port->attributes_signal : port->mapping_signal)
      return EndBySignal(signal_number);
    return Serve(site, attributes ? SimReport::kHbaAttributes : SimReport::kTargetMapping, port);
  }
  // download
  long long image_size = 0;
  SimAnswer refusal;
  if (!ImageSize(argv[3], &image_size, &refusal)) return Answer(refusal);
  int result = site.adapters[port->adapter].download_status;
  return Answer(SimAnswer{DownloadReport(site, *port, argv[3], image_size, result), result});
}

}  // namespace

int main(int argc, char** argv) {
  const char* replay = std::getenv("HBACMD_SIM_REPLAY");
  if (replay && *replay) setup_error = kReplayBroken;
  const char* log = std::getenv("HBACMD_SIM_LOG");
  if (log && *log) {
    std::string reason;
    if (!AppendCallLog(log, EscapeCall(argc - 1, argv + 1), &reason)) {
      Err(std::string("hbacmd-sim: cannot write the call log ") + log + ": " + reason);
      return setup_error;
    }
  }
  if (argc < 2) return Usage();
  const std::string verb = argv[1];
  if (verb == "generate-site") return GenerateSiteVerb(argc, argv);
  if (verb == "generate-conditions") return GenerateConditionsVerb(argc, argv);
  if (verb == "generate-reports") return GenerateReportsVerb(argc, argv);
  if (verb == "replay-index") return ReplayIndexVerb(argc);
  if (verb == "listhbas" || verb == "hbaattributes" || verb == "targetmapping" ||
      verb == "download")
    return SiteVerb(argc, argv);
  return CommandError("Unknown command: " + verb);
}
