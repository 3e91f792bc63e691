#include "AllocationCounter.h"
#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> outstanding{0};
std::atomic<long> countdown{0};
std::atomic<bool> fired{false};

void* Allocate(std::size_t size) {
    if (countdown.load() > 0 && --countdown == 0) {
        fired = true;
        throw std::bad_alloc();
    }
    void* block = std::malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    ++outstanding;
    return block;
}

void Free(void* block) noexcept {
    if (!block) return;
    --outstanding;
    std::free(block);
}
}  // namespace

namespace AllocationCounter {
long Outstanding() { return outstanding.load(); }
void FailAt(long n) {
    fired = false;
    countdown = n;
}
bool Fired() { return fired.load(); }
}  // namespace AllocationCounter

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Free(block); }
