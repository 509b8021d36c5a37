// The OCe14102 of the shipped cna-basic site (also the first adapter of
// flash-fails), as the end-to-end tests name it: its serial number, the
// MAC of function 0 (NIC, port 0) and the WWN of function 2 (FCoE, port 0).
#pragma once

namespace cna_basic {

inline constexpr char kSerial[] = "FC12345678";
inline constexpr char kMac0[] = "00-90-FA-AA-BB-00";
inline constexpr char kWwn2[] = "10:00:00:90:fa:aa:bb:02";

}  // namespace cna_basic
