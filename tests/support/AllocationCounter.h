#pragma once
#include <cstddef>

// Counts the test program's heap allocations (the plug-in's code is linked
// in, so its allocations are counted too) and can make one of them fail.
namespace AllocationCounter {

// Allocations not yet freed.
long Outstanding();
// Makes the n-th allocation from now (1 = the next) throw std::bad_alloc;
// 0 disarms.
void FailAt(long n);
// Whether the armed failure has been delivered.
bool Fired();

}  // namespace AllocationCounter
