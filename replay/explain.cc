#include "replay/explain.h"

#include <cstdio>
#include <cstring>

#include "check/overall_check.h"
#include "check/subsystem_validity.h"
#include "conditions/config_file.h"
#include "driver/base/process_exit.h"
#include "driver/base/return_codes.h"
#include "driver/base/settings.h"
#include "driver/options.h"
#include "driver/run_state.h"
#include "inventory/classify.h"
#include "inventory/hba_info.h"
#include "inventory/hbacmd_runner.h"
#include "inventory/reports.h"

namespace {

// Statuses that fcguard gives before it reads a report: they need none.
bool NeedsReports(int status) {
  return status != RET_BAD_CALL && status != RET_FC_HBA_CONDITIONS_MISSING &&
         status != RET_SCLI_NOT_INSTALLED && status != RET_MEMALLOC_FAIL &&
         status != RET_FATAL_ERROR;
}

void Silence() {
  DebugLevel = 0;
  VerboseLevel = 0;
  PrintDebugOnScreen = 0;
}

using Reader = int (*)(FILE*, hba_info*);

// Reads one report of a port, as the collection does; false when it
// cannot be read.
bool ReadPortReport(int dir_fd, hba_info* port, const char* suffix, Reader reader) {
  const std::string name = PortReportName(port, suffix);
  if (name.find('/') != std::string::npos) return false;
  FileProblem problem = FileProblem::kNone;
  FILE* file = OpenCapturedFile(dir_fd, name, &problem);
  if (file == nullptr) return false;
  int result = reader(file, port);
  std::fclose(file);
  return result == 0;
}

// The inventory as fcguard builds it from these reports: the listing, each
// port's reports, the classification and the pairing.  False when a
// report cannot be read.
bool LoadInventory(int dir_fd) {
  FreeHbaInfoList();
  Silence();
  FileProblem problem = FileProblem::kNone;
  FILE* listing = OpenCapturedFile(dir_fd, "local_hba_list.out", &problem);
  if (listing == nullptr) return false;
  int result = ReadListHbasReport(listing);
  std::fclose(listing);
  if (result != 0) return false;
  if (p_hba_info_list == nullptr) return true;
  for (hba_info** slot = p_hba_info_list; *slot != nullptr; ++slot) {
    if (HasNoSerialNumber(*slot)) continue;
    if (!ReadPortReport(dir_fd, *slot, kHbaAttributesFile, ReadHbaAttributesReport)) return false;
  }
  for (hba_info** slot = p_hba_info_list; *slot != nullptr; ++slot) {
    if (HasNoSerialNumber(*slot) || !IsAddressedByWWN(*slot)) continue;
    if (!ReadPortReport(dir_fd, *slot, kTargetMappingFile, ReadTargetMappingReport)) return false;
  }
  Classify_Ctrl_List();
  Determine_Flash_Ports();
  return true;
}

// A meaning of the table without its Markdown quotes.
std::string Plain(std::string text) {
  std::erase(text, '`');
  return text;
}

std::string Describe(const hba_info* port) {
  return std::string(port->SerialNumber.c_str()) + " function " + port->PortFunction.c_str() +
         " (" + port->PortType.c_str() + " port " + port->PortNumber.c_str() + ")";
}

// 22: the first port with a serial number that pairing left without a
// flash partner, as the driver looks for it.
void ExplainNoPartner(const ExplainInput& input, Row* row) {
  if (!LoadInventory(input.reports_dir_fd) || p_hba_info_list == nullptr) return;
  for (hba_info** slot = p_hba_info_list; *slot != nullptr; ++slot) {
    if (HasNoSerialNumber(*slot) || (*slot)->FlashPartner != nullptr) continue;
    row->reason = Describe(*slot) + " has no flash partner";
    return;
  }
}

// Parses the run's arguments as fcguard did (the words are copies: the
// parser rewrites a leading "/").
void ParseArguments(const std::vector<std::string>& args, run_state* state,
                    std::vector<std::string>* words, std::vector<char*>* argv) {
  words->assign(1, "./fcguard");
  words->insert(words->end(), args.begin(), args.end());
  for (std::string& word : *words) argv->push_back(word.data());
  argv->push_back(nullptr);
  ResetSettings();
  ParseCommandLine(static_cast<int>(words->size()), argv->data(), state);
  Silence();
  active_option_simulate = 1;  // nothing is ever run
}

bool LoadConditions(const ExplainInput& input) {
  FileProblem problem = FileProblem::kNone;
  FILE* file = OpenCapturedFile(input.conditions_dir_fd, input.conditions_name, &problem);
  if (file == nullptr) return false;
  int result = Read_FC_Config_Stream(file, input.conditions_name.c_str());
  std::fclose(file);
  return result == 0;
}

// The check judges a port up to its first refused sub-system: the ones
// after it are judged here by the same judge, against the same entry, so
// that every refused sub-system of the port is named.
// At most kRefusedSubsystemsKept are kept, the others counted in *not_kept.
std::vector<refused_subsystem> EveryRefused(const global_ctrl_flags& flags,
                                            std::size_t* not_kept) {
  std::vector<refused_subsystem> every;
  *not_kept = flags.RefusedSubsystemsNotKept;
  for (const refused_subsystem& first : flags.RefusedSubsystems) {
    if (every.size() >= kRefusedSubsystemsKept) {
      ++*not_kept;
      continue;
    }
    every.push_back(first);
    storage_subsystem single;
    bool after = false;
    for (const storage_subsystem& attached : AttachedSubsystems(first.Port, &single)) {
      if (after) {
        global_ctrl_flags judged;
        fc_config_file_entry* entry = const_cast<fc_config_file_entry*>(first.Entry);
        DoIndividualSubSystemCheck(first.Port, attached, &entry, &judged);
        for (const refused_subsystem& refused : judged.RefusedSubsystems) {
          if (every.size() < kRefusedSubsystemsKept) every.push_back(refused);
          else ++*not_kept;
        }
      }
      after = after || (attached.VendorID == first.VendorID.view() &&
                        attached.ProductID == first.ProductID.view());
    }
  }
  return every;
}

// 4: every refused sub-system, in judging order.
void ExplainRefused(const global_ctrl_flags& flags, Row* row) {
  if (flags.RefusedSubsystems.empty()) return;
  std::size_t not_kept = 0;
  const std::vector<refused_subsystem> every = EveryRefused(flags, &not_kept);
  // The reason names the first few; the row's list holds every one kept.
  constexpr std::size_t kNamed = 3;
  std::string reason;
  for (std::size_t i = 0; i < every.size(); ++i) {
    const refused_subsystem& refused = every[i];
    row->refused.push_back({PortAddress(refused.Port), refused.VendorID.c_str(),
                            refused.ProductID.c_str(), refused.ProductVersion.c_str()});
    if (i >= kNamed) continue;
    if (i > 0) reason += "; ";
    reason += Describe(refused.Port) + ": " + refused.VendorID.c_str() + " " +
              refused.ProductID.c_str() + " " + refused.ProductVersion.c_str() + " not allowed";
  }
  std::size_t more = every.size() + not_kept;
  if (more > kNamed) reason += "; and " + std::to_string(more - kNamed) + " more";
  row->reason = reason;
}

// 1 and 2: the first vendor difference that broke the identity.
void ExplainDifference(const vendor_difference& difference, Row* row) {
  if (difference.Port == nullptr || difference.ReferencePort == nullptr) return;
  if (difference.Port == difference.ReferencePort)
    row->reason = Describe(difference.Port) + " sees " + difference.Vendor.c_str() + " beside " +
                  difference.ReferenceVendor.c_str();
  else
    row->reason = Describe(difference.Port) + " sees " + difference.Vendor.c_str() + ", " +
                  Describe(difference.ReferencePort) + " sees " +
                  difference.ReferenceVendor.c_str();
}

// 1, 2 and 4: fcguard's sub-system check run again on the same reports,
// conditions and selection; its findings name what failed.
void ExplainCheck(const ExplainInput& input, Row* row) {
  run_state state{};
  std::vector<std::string> words;
  std::vector<char*> argv;
  ParseArguments(input.fcguard_args, &state, &words, &argv);
  if (!LoadConditions(input) || !LoadInventory(input.reports_dir_fd)) return;
  if (p_hba_info_list == nullptr) return;
  OverallSubSystemCheck(state.selection_list, &state.ctrl_flags);
  Silence();
  const global_ctrl_flags& flags = state.ctrl_flags;
  if (input.status == RET_INVALID_CTRL_SUBSYSTEM_COMBINATION) ExplainRefused(flags, row);
  else if (input.status == RET_NOT_CTRL_WIDE_IDENTICAL) ExplainDifference(flags.CtrlWideDifference, row);
  else ExplainDifference(flags.VendorWideDifference, row);
}

// 15: the conditions file that is not there.
void ExplainNoConditions(const ExplainInput& input, Row* row) {
  FileProblem problem = FileProblem::kNone;
  FILE* file = OpenCapturedFile(input.conditions_dir_fd, input.conditions_name, &problem);
  if (file != nullptr) {
    std::fclose(file);
    return;
  }
  row->reason = input.conditions_name + " " + FileProblemText(problem);
}

}  // namespace

Row Explain(const std::string& path, const ExplainInput& input) {
  Silence();
  if (input.check_complete && NeedsReports(input.status)) {
    std::vector<MissingReport> missing = CheckCapture(input.reports_dir_fd, -1);
    if (!missing.empty()) return IncompleteRow(path, std::move(missing), "");
  }
  Row row;
  row.path = path;
  NameStatus(input.status, &row);
  row.reason = input.status == RET_OK ? "passed" : Plain(row.meaning);
  try {
    switch (input.status) {
      case RET_KERNEL_MODULE_MISSING:
        ExplainNoPartner(input, &row);
        break;
      case RET_NOT_CTRL_WIDE_IDENTICAL:
      case RET_NOT_CTRL_VENDOR_WIDE_IDENTICAL:
      case RET_INVALID_CTRL_SUBSYSTEM_COMBINATION:
        ExplainCheck(input, &row);
        break;
      case RET_FC_HBA_CONDITIONS_MISSING:
        ExplainNoConditions(input, &row);
        break;
      default:
        break;
    }
  } catch (const ProcessExit&) {
    // A parser of fcguard ended "the process": the meaning stands.
  }
  Silence();
  return row;
}
