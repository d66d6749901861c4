#include "tk_interrupt.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "tk_exception.h"

namespace {

constexpr int signals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> requested_signal{0};

// The registered paths. Their texts stay in `texts` until the exit: a
// handler may be reading one on another thread while it is forgotten.
constexpr int slot_count = 16;
std::atomic<const char*> slots[slot_count];
std::mutex texts_mutex;
std::vector<std::unique_ptr<char[]>> texts;

void remove_registered() noexcept {
  for (std::atomic<const char*>& slot : slots)
    if (const char* path = slot.exchange(nullptr)) ::unlink(path);
}

[[noreturn]] void die_by(int signo) noexcept {
  remove_registered();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signo, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signo);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signo);
  ::_exit(128 + signo);
}

// When the first signal came (CLOCK_MONOTONIC nanoseconds), 0 until known.
std::atomic<long long> first_signal_ns{0};
// Signals this soon after the first are the same request: timeout(1), for
// one, signals the process and then its process group, and two threads may
// each take one of them.
constexpr long long same_request_ns = 500'000'000;

long long now_ns() noexcept {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

extern "C" void on_signal(int signo) {
  const long long now = now_ns();
  int none = 0;
  if (requested_signal.compare_exchange_strong(none, signo)) {
    first_signal_ns.store(now);
    return;
  }
  const long long first = first_signal_ns.load();
  if (first == 0 || now - first < same_request_ns) return;
  die_by(signo);
}

// Removes what is left at a normal exit (before `texts` goes).
struct at_exit {
  ~at_exit() { remove_registered(); }
} cleanup;

const char* name_of(int signo) {
  switch (signo) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "SIGHUP";
  }
}

}  // namespace

void tk_interrupt::install() {
  for (const int signo : signals) {
    struct sigaction old {};
    if (::sigaction(signo, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = on_signal;
    // Calls under way (a read, a query) go on; the run stops at the next record.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(signo, &action, nullptr);
  }
}

int tk_interrupt::requested() noexcept { return requested_signal.load(std::memory_order_relaxed); }

void tk_interrupt::check() {
  if (requested()) throw tk_exception(message(), 1);
}

std::string tk_interrupt::message() {
  const int signo = requested();
  return signo ? std::string("The conversion was interrupted (") + name_of(signo) + ")" : std::string();
}

void tk_interrupt::end_if_requested() {
  if (const int signo = requested()) die_by(signo);
}

void tk_interrupt::remove_at_exit(const std::string& path) {
  auto copy = std::make_unique<char[]>(path.size() + 1);
  std::memcpy(copy.get(), path.c_str(), path.size() + 1);
  const std::lock_guard<std::mutex> lock(texts_mutex);
  for (std::atomic<const char*>& slot : slots) {
    const char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, copy.get())) {
      texts.push_back(std::move(copy));
      return;
    }
  }
}

void tk_interrupt::forget(const std::string& path) {
  for (std::atomic<const char*>& slot : slots) {
    const char* p = slot.load();
    if (p != nullptr && path == p && slot.compare_exchange_strong(p, nullptr)) return;
  }
}
