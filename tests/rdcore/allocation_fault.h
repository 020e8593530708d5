// Countdown fault injection for allocations made with new (std::nothrow):
// rdcore makes its own objects that way, so a test can fail exactly those.
#pragma once

namespace rdtest {

// The n-th nothrow allocation from now answers null (1: the next one);
// 0 turns the countdown off.
void failNothrowAllocation(int n);
// True while an armed countdown has not fired yet.
bool nothrowFaultPending();

}  // namespace rdtest
