#include "tk_thread_functor.h"

#include <chrono>
#include <thread>

void tk_thread_functor::operator()() {
  while (!is_complete()) wait_step();
  on_complete();
}

void tk_thread_functor::wait_step() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }
