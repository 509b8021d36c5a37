#include "tests/support/process_state.h"

#include "conditions/config_file.h"
#include "conditions/selection_list.h"
#include "driver/base/settings.h"
#include "inventory/hba_info.h"

namespace test_support {

void ResetProcessState() {
  FreeConfigEntryList();
  FreeHbaInfoList();
  ResetSelectionLists();
  ResetSettings();
}

}  // namespace test_support
