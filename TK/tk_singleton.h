#pragma once
// The one registered instance of a class. The first object built registers
// itself; a second one does not replace it; destroying the registered object
// clears the registration, so a test that builds and destroys an instance
// leaves nothing behind.

#include "tk_mail_assertion.h"

template <class T>
class tk_singleton {
 public:
  // The registered instance; using an unregistered singleton is an internal error.
  static T& instance() {
    if (!registered_) throw tk_mail_assertion("tk_singl", 64);
    return *static_cast<T*>(registered_);
  }
  static T* instance_ptr() noexcept { return registered_ ? static_cast<T*>(registered_) : nullptr; }
  bool is_registered() const noexcept { return registered_ == this; }

  tk_singleton(const tk_singleton&) = delete;
  tk_singleton& operator=(const tk_singleton&) = delete;

 protected:
  tk_singleton() noexcept {
    if (!registered_) registered_ = this;
  }
  ~tk_singleton() {
    if (registered_ == this) registered_ = nullptr;
  }

 private:
  // Held as the base pointer and cast only when used, once T is complete.
  static inline tk_singleton* registered_ = nullptr;
};
