#pragma once
// The runnable base of the conversion driver: a run operation and the hooks
// around it. The driver replaces run(); the base loop only waits for
// completion.

class tk_thread_functor {
 public:
  virtual ~tk_thread_functor() = default;
  // Runs the work. The base repeats wait_step() until is_complete() and then
  // calls on_complete().
  virtual void operator()();
  virtual bool is_complete() const { return false; }
  virtual void wait_step();
  virtual void on_complete() {}
  virtual void set_silent(bool silent) = 0;
};
