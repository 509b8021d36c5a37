// Memory of the inventory records, beyond the shared creators.
#pragma once

#include "inventory/hba_info.h"

// Frees one port record with the reports hung off it.  The caller takes it
// out of p_hba_info_list.
void FreeHbaInfo(hba_info* port);

// Lets the next count record allocations succeed and fails the ones after
// them; -1 lifts the limit.  For the tests of the out-of-memory paths.
void LimitInventoryAllocations(int count);
