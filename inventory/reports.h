// The three hbacmd reports, read from files already open.
//
// Every report is line text.  A line counts when it begins, in its first
// column, with a known label; its value starts two characters after the
// line's first colon and is cleaned by cleanString.  A label line without a
// colon has no value.  Lines are read into a 1024-byte buffer, so a longer
// physical line is read as several lines.
#pragma once

#include <cstdio>

#include "inventory/hba_info.h"

// Reads a listhbas report: every "Port WWN" or "Permanent MAC" line
// appends a new record to p_hba_info_list, and the label lines after it
// fill that record.  0, or RET_MEMALLOC_FAIL when a record cannot be had.
int ReadListHbasReport(FILE* report);

// Reads the hbaattributes report of one port into port->Attributes, which
// every "HBA Attributes for" line replaces with a fresh entry.  0, or
// RET_MEMALLOC_FAIL.
int ReadHbaAttributesReport(FILE* report, hba_info* port);

// Reads the targetmapping report of one port into port->TargetMapping,
// created at the first line from the fifth on that holds a colon; every
// LUN block writes into the same entry.  0, or RET_MEMALLOC_FAIL.
int ReadTargetMappingReport(FILE* report, hba_info* port);
