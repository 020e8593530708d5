// Running the built rdm binary in a temporary home folder.
#pragma once

#include <map>
#include <string>

class RefDataStore;

struct CommandResult {
    int status = -1;
    std::string output;  // standard output, then standard error
    std::string errors;  // standard error alone
};

// Runs "rdm --home HOME ARGUMENTS" through the shell; arguments are quoted
// by the caller.
CommandResult runRdm(const std::string& home, const std::string& arguments);

// Runs a shell command; its standard output (and whatever it redirects
// there) lands in output, errors stays empty.
CommandResult runCommand(const std::string& command);

// Row counts of every table of a store ("TABLE" -> rows); empty when the
// listing fails.
std::map<std::string, int> tableCounts(RefDataStore* store);
// The same for the demo repository's store of the current home folder
// (sqlite:data/demo.db, the default prefix).
std::map<std::string, int> tableCounts();
