#include "allocation_control.h"

#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
thread_local bool refuseLargeAllocations = false;
}  // namespace

namespace allocation_control {
long count() {
    return allocations.load(std::memory_order_relaxed);
}
void refuseLarge(bool refuse) {
    refuseLargeAllocations = refuse;
}
}  // namespace allocation_control

// Kept out of line so the compiler does not pair malloc and free across them.
[[gnu::noinline]] static void* allocate(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (size >= allocation_control::kLarge && refuseLargeAllocations) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] static void* allocateOrNull(std::size_t size) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateOrNull(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
