// Ordering and pairing the inventory.
#pragma once

// Drops the pure FC ports, groups the rest by adapter (FCoE adapters
// first, then iSCSI) and sorts each adapter by PCI function.  Returns 0.
int Classify_Ctrl_List();

// Links every port with a serial number to its adapter's flash partner and
// chains the FCoE ports behind it.  Returns 0.
int Determine_Flash_Ports();
