#pragma once
// Counts the test program's heap allocations, so that a test can hold code to
// a promise of allocating nothing. It replaces the global operator new and
// delete: include it in one source file of a test program only.

#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<long> allocations{0};

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
