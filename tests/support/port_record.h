// One builder of inventory port records for the tests and the fuzz
// targets: the texts a test names, written into a fresh record.
#pragma once

#include "inventory/hba_info.h"
#include "tests/support/screen_text.h"

namespace test_support {

// Writes the texts into the record (cutting where a field is narrower).
inline void FillPort(hba_info* port, const PortFields& fields) {
  port->Vendor.assign_cut(fields.vendor);
  port->Model.assign_cut(fields.model);
  port->SerialNumber.assign_cut(fields.serial);
  port->PortType.assign_cut(fields.type);
  port->PortNumber.assign_cut(fields.number);
  port->PortFunction.assign_cut(fields.function);
  port->PortWWN.assign_cut(fields.wwn);
  port->PermanentMAC.assign_cut(fields.mac);
}

}  // namespace test_support
