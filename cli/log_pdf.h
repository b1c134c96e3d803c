// orvactl log --pdf: the list printed into a PDF by the desktop's own log
// printing, on the offscreen platform (no display needed).
#pragma once

#include <string>
#include <vector>

#include "orva/link/remote_log.h"

namespace orva::cli {

// False with an error text when the desktop's printing is not built in or
// the file cannot be written.
bool PrintLogPdf(const std::vector<LogRecord>& records, LogView view, int dateFormat, const std::string& path,
                 std::string& error);

}  // namespace orva::cli
