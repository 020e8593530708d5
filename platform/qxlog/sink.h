// The log sink behind qxlog: where finished lines are written.
#pragma once

#include <cstdint>
#include <string>

namespace qxlog {

// When the log file is rotated, and how many rotated files are kept
// (rdm.1.log the newest).
struct SinkLimits {
    std::uint64_t maxSize = 10 * 1024 * 1024;
    unsigned keptFiles = 3;
};

// Opens the sink: "stderr", or a file path (folders created as needed).
// When the file cannot be opened lines go to standard error and *error says why.
void openSink(const std::string& target, const SinkLimits& limits, std::string* error);
bool sinkOpen();
// Writes one line; the sink adds the timestamp.
void writeLine(const std::string& line);

}  // namespace qxlog
