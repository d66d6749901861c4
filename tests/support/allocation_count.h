#pragma once
// Counts the test program's heap allocations, so that a test can hold code to
// a promise of allocating nothing. It replaces the global operator new and
// delete: include it in one source file of a test program only.

#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<long> allocations{0};

// The thread sanitizer brings its own operator new: nothing is counted
// under it, and allocations_counted says so.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define GRIDLOAD_NO_ALLOCATION_COUNT 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define GRIDLOAD_NO_ALLOCATION_COUNT 1
#endif

#if defined(GRIDLOAD_NO_ALLOCATION_COUNT)
inline constexpr bool allocations_counted = false;
#else
inline constexpr bool allocations_counted = true;

// The replacements pair malloc with free; GCC cannot see that through the
// inlined standard containers and warns.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif
