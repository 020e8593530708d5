// The log sink behind qxlog: where finished lines are written.
#pragma once

#include <string>

namespace qxlog {

// Opens the sink: "stderr", or a file path (folders created as needed).
// When the file cannot be opened lines go to standard error and *error says why.
void openSink(const std::string& target, std::string* error);
bool sinkOpen();
// Writes one line; the sink adds the timestamp.
void writeLine(const std::string& line);

}  // namespace qxlog
