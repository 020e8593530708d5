// A test hook at the driver seam: connections that fail the N-th prepare,
// step or execute on purpose (a countdown across the whole process), to
// prove that every failure path of the store and its callers rolls back.
#pragma once

#include <memory>
#include <string>

#include "sql_driver.h"

namespace repadm {
namespace fault {

// The variable read when a connection opens: a number N arms the countdown
// once per process, so that the N-th counted call of the process fails.
extern const char* const kEnvironmentVariable;  // "RDM_FAULT_AT"

// Connections opened from now on are wrapped (until then, and when neither
// this nor the variable asked for it, connections are not wrapped at all).
void enable();
// Counts prepare, step and execute calls of wrapped connections from now on;
// call number callNumber (1: the next) fails. A roll-back is never failed.
void arm(long callNumber);
// Stops counting; answers the calls counted since arm.
long disarm();
// True when the armed countdown has failed its call.
bool fired();
// Statements and connections of wrapped connections not yet destroyed: zero
// once every store and result set of the process is released.
long liveStatements();
long liveConnections();

// The wrapper (connection unchanged when injection is not enabled).
std::unique_ptr<SqlConnection> wrap(std::unique_ptr<SqlConnection> connection);

}  // namespace fault
}  // namespace repadm
