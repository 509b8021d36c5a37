// Is the storage attached to one port allowed by one conditions entry?
//
// An allowed sub-system names a vendor and a model group: a comma-separated
// list of product-name prefixes.  The attached sub-system is valid when an
// allowed one names exactly its vendor and either has an empty group or a
// group element with which the attached product begins.  An empty element
// (two commas in a row, a comma at either end) admits no product: a stray
// comma must never open a group to every product.
#include "check/subsystem_validity.h"

#include <string>
#include <string_view>
#include <vector>

#include "driver/base/print_debug.h"
#include "driver/base/settings.h"

namespace {

// The elements of a comma-separated list, left to right.  A text without a
// comma is one element; an empty text has none.
std::vector<std::string_view> SplitAtCommas(std::string_view list) {
  std::vector<std::string_view> elements;
  if (list.empty()) return elements;
  for (;;) {
    std::size_t comma = list.find(',');
    elements.push_back(list.substr(0, comma));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return elements;
}

bool ElementAdmits(std::string_view element, std::string_view product) {
  return !element.empty() && product.starts_with(element);
}

bool BlankOnly(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

void AppendIdentified(std::string* identified, std::string_view element) {
  if (!identified->empty()) identified->push_back(',');
  identified->append(element);
}

int Width(std::string_view text) { return static_cast<int>(text.size()); }

// Compares one element with the product and says so, the line indented by
// indent.  An admitting element sets *valid and joins the identified list.
bool TryElement(std::string_view element, std::string_view product, const char* indent,
                bool* valid, std::string* identified) {
  PrintDebugf(1, "%sCheck subsystem: '%.*s' Attached subsystem: '%.*s'", indent,
              Width(element), element.data(), Width(product), product.data());
  if (!ElementAdmits(element, product)) {
    PrintDebugf(1, "\t\t\t--> Invalid subsystem!\n");
    return false;
  }
  *valid = true;
  PrintDebugf(1, "\t\t\t--> OK\n");
  AppendIdentified(identified, element);
  return true;
}

// Goes through one non-empty model group from the left.  Every element
// before the last comma is compared; the last one (its line indented one
// tab less) only while nothing has admitted the product yet (by this group
// or an earlier one of the same call).
void CheckGroupElements(std::string_view group, std::string_view product,
                        bool* valid, std::string* identified) {
  std::vector<std::string_view> elements = SplitAtCommas(group);
  std::size_t last = elements.size() - 1;
  for (std::size_t i = 0; i < last; ++i)
    if (TryElement(elements[i], product, "\t\t\t", valid, identified)) return;
  if (!*valid) TryElement(elements[last], product, "\t\t", valid, identified);
}

// Keeps what was refused, for those who explain the verdict.  A port is
// judged until its first refusal only, so each (port, vendor, product)
// comes once.
void RecordRefusal(const hba_info* port, const storage_subsystem& attached,
                   const fc_config_file_entry* entry, global_ctrl_flags* flags) {
  if (flags->RefusedSubsystems.size() >= kRefusedSubsystemsKept) {
    ++flags->RefusedSubsystemsNotKept;
    return;
  }
  refused_subsystem refused;
  refused.Port = port;
  refused.Entry = entry;
  refused.VendorID = attached.VendorID;
  refused.ProductID = attached.ProductID;
  refused.ProductVersion = attached.ProductVersion;
  flags->RefusedSubsystems.push_back(refused);
}

}  // namespace

bool DoIndividualSubSystemCheck(hba_info* port, fc_config_file_entry** entry,
                                global_ctrl_flags* flags) {
  // Nothing attached: nothing to judge (the caller never asks then).
  if (port->TargetMapping == nullptr) return true;
  storage_subsystem single;
  for (const storage_subsystem& attached : AttachedSubsystems(port, &single))
    if (!DoIndividualSubSystemCheck(port, attached, entry, flags)) return false;
  return true;
}

bool DoIndividualSubSystemCheck(const hba_info* port, const storage_subsystem& attached_ref,
                                fc_config_file_entry** entry, global_ctrl_flags* flags) {
  const storage_subsystem* attached = &attached_ref;
  bool valid = false;
  std::string identified;  // every identified element, joined by ","
  std::string_view product = attached->ProductID.view();

  const fc_periphery_info* allowed =
      (entry != nullptr && *entry != nullptr) ? (*entry)->Periphery : nullptr;
  for (; allowed != nullptr; allowed = allowed->NextPeriphery) {
    std::string_view vendor = allowed->SubsystemVendor.view();
    if (BlankOnly(vendor)) continue;
    if (vendor != attached->VendorID.view()) continue;

    PrintDebugf(1, "\n");
    PrintDebugf(1, "\t\tAttached storage sub-system:\n");
    PrintDebugf(1, "\t\t\t\t%s\n", attached->VendorID.c_str());
    PrintDebugf(1, "\t\t\t\t%s\n", attached->ProductID.c_str());
    PrintDebugf(1, "\t\t\t\t%s\n", attached->ProductVersion.c_str());

    const char* group = allowed->SubsystemGroup.c_str();
    if (allowed->SubsystemGroup.empty()) {
      valid = true;  // every product of this vendor
    } else {
      CheckGroupElements(allowed->SubsystemGroup.view(), product, &valid,
                         &identified);
    }

    if (!valid || identified.empty()) continue;
    if (CheckModelGroupConsistency(group, identified.c_str())) {
      PrintDebugf(1, "\t\t\tAll reference subsystems appear in the same group: %s\n",
                  group);
      break;
    }
    PrintDebugf(1,
                "\t\t\tAt least one reference subsystem is not member of group: "
                "%s\n\tSkip this group.\n",
                group);
  }

  if (valid) {
    if (LevelAbove(0)) PrintDebugf(1, "\n");
    return true;
  }

  flags->InvalidCtrlSubsystemCombinationFound = 1;
  RecordRefusal(port, *attached, entry != nullptr ? *entry : nullptr, flags);
  if (LevelAbove(5)) {
    PrintDebugf(1, "\n");
    PrintDebugf(1, "\n\t\tInvaild attached storage sub-system found.\n");
    PrintDebugf(1, "\t\t\t\t%s\n", attached->VendorID.c_str());
    PrintDebugf(1, "\t\t\t\t%s\n", attached->ProductID.c_str());
    PrintDebugf(1, "\t\t\t\t%s\n", attached->ProductVersion.c_str());
    PrintDebugf(1, "\n");
  }
  return false;
}

bool CheckModelGroupConsistency(const char* group, const char* identified) {
  PrintDebugf(1, "\tAlready identified reference subsystems: %s  Subsystem group: %s\n",
              identified, group);
  std::vector<std::string_view> members = SplitAtCommas(group);
  std::vector<std::string_view> found = SplitAtCommas(identified);
  for (auto x = found.rbegin(); x != found.rend(); ++x) {
    bool in_group = false;
    // An empty element is never identified, so it is never looked for.
    if (!x->empty()) {
      for (auto m = members.rbegin(); m != members.rend() && !in_group; ++m) {
        in_group = (*m == *x);
      }
    }
    if (!in_group) {
      PrintDebugf(1, "\tReference subsystem '%.*s' not in Group: >%s< => Skip this group.\n",
                  Width(*x), x->data(), group);
      return false;
    }
    PrintDebugf(1, "\tReference subsystem %.*s found in Group: %s\n", Width(*x),
                x->data(), group);
  }
  return true;
}
