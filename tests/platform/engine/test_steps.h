// A tiny plug-in built into the test program: one step type "COUNT_ROWS"
// that emits COUNT numbered rows (or one row per upstream row), passes
// field-map fields through, and records the operations the engine calls.
#pragma once

#include <string>
#include <vector>

class StepPluginFactory;

namespace enginetest {

// Every operation called on any test step or list, in order ("initialize", ...).
std::vector<std::string>& calls();
StepPluginFactory* createTestFactory();

}  // namespace enginetest
