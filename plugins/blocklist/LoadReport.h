#pragma once

#include <string>
#include <string_view>

#include "ListParser.h"

namespace corvane::blocklist {

// The lines the plug-in writes to standard error about its list files, one
// each time a file is read or found unreadable, so that a user can see where
// the lists are looked for, what each gave and whether lines were skipped:
//
//   blocklist plug-in: /opt/x/blocklist.txt: 1204 lines read, 4 skipped
//       (the first is line 17); 1195 names to block, 3 exceptions
//   blocklist plug-in: /opt/x/allowlist.txt: not found, so an empty list
//   blocklist plug-in: cannot read /opt/x/blocklist.txt (Permission denied);
//       nothing of it is in force until it can be read
//
// (each one line, without the breaks shown here).

// A list read to its end; blocking tells the block list from the allow list.
std::string readReport(std::string_view path, const ParseSummary& summary, bool blocking);

// No file at path: the list is empty.
std::string missingReport(std::string_view path);

// The file is there but cannot be read; keptBefore says whether the names
// of an earlier reading stay in force.
std::string unreadableReport(std::string_view path, int error, bool keptBefore);

}  // namespace corvane::blocklist
