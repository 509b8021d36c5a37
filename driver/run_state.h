// The driver's state for one run: what the command line chose and the
// findings record.  One instance lives in RunFcguard for the whole run.
#pragma once

#include "check/ctrl_flags.h"
#include "conditions/selection_list.h"
#include "driver/base/fixed_text.h"

struct run_state {
  FixedText<32> program_name;   // base name of the first word, cut to fit
  const char* start_word;       // the first word as typed

  int option_verbose_given;
  int option_debug_given;
  int option_vid_given;
  int option_subvid_given;
  int option_dev_given;
  int option_subdev_given;
  int option_vn_given;
  int option_mod_given;
  int option_valid_subsystem;
  int option_ctrl_wide_identical;
  int option_ctrl_vendor_wide_identical;
  int option_flash;
  int option_dov_mode;

  // Head of the list of the selection option given last; null without one.
  option_input* selection_list;

  global_ctrl_flags ctrl_flags;
};
