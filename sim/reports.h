// The texts the simulated hbacmd prints: its three reports and the
// progress of a download.  Label lines are "Label<padding>: value", the
// label's colon being the first colon of the line.
#pragma once

#include <string>
#include <string_view>

#include "sim/site.h"

// "listhbas": a header line, then one block per port in site order, a
// blank line between blocks.
std::string ListHbasReport(const SimSite& site);

// "hbaattributes ADDR": "HBA Attributes for ADDR", a blank line, then the
// attribute lines, the adapter's PCI ids as written in the site.
std::string HbaAttributesReport(const SimSite& site, const SimPort& port);

// "targetmapping WWN": four header lines, then one block per LUN.  A port
// without LUNs prints nothing after the header.
std::string TargetMappingReport(const SimPort& port);

// "download ADDR IMAGE": the progress lines; status is the site's download
// status for the adapter (0 for success).
std::string DownloadReport(const SimSite& site, const SimPort& port, const std::string& image,
                           long long image_size, int status);

// What one call of the simulated tool prints on stdout, and its status.
struct SimAnswer {
  std::string text;
  int status = 0;
};

enum class SimReport { kListHbas, kHbaAttributes, kTargetMapping };

// The vendor tool's own error line ("ERROR: <1>: TEXT"), status 1.
SimAnswer CommandFailure(std::string_view text);

// The size of a download's image when it is a regular file; otherwise
// false, with the vendor tool's refusal of the image.
bool ImageSize(const std::string& image, long long* size, SimAnswer* refusal);

// The answer to the listhbas call (port null) or to the hbaattributes or
// targetmapping call for the port: the raw override when the site names
// one (served whatever the status), the vendor tool's failure line when
// the status is not 0, else the report.  False with a message when a raw
// override cannot be read.
bool AnswerReport(const SimSite& site, SimReport report, const SimPort* port, SimAnswer* answer,
                  std::string* message);
