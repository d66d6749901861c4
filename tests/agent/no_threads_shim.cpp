// Preloaded into gridload by the no-threads test: every thread the process
// asks for is refused, as a process limit refuses it.
#include <cerrno>

extern "C" int pthread_create(void*, const void*, void* (*)(void*), void*) { return EAGAIN; }
