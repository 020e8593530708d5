// The test program's nothrow operator new, with a countdown that makes one
// chosen allocation fail.
#include "allocation_fault.h"

#include <new>

namespace {
int countdown = 0;
}  // namespace

namespace rdtest {

void failNothrowAllocation(int n) {
    countdown = n;
}

bool nothrowFaultPending() {
    return countdown > 0;
}

}  // namespace rdtest

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (countdown > 0 && --countdown == 0) return nullptr;
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    ::operator delete(pointer);
}
