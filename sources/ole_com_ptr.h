#pragma once
// The owning pointer of one engine object (an engine, database, query
// definition or recordset). The engine hands its objects out through
// out-parameters, like the interface pointers of a COM call; receive() gives
// the slot to fill, and the wrapper releases the object when it is reset or
// destroyed. A wrapper is the object's only owner, so a release always
// leaves 0 references.

#include <memory>
#include <utility>

#include "tk_logger.h"
#include "tk_mail_assertion.h"

template <class T>
class ole_com_ptr {
 public:
  ole_com_ptr() noexcept = default;
  explicit ole_com_ptr(std::unique_ptr<T> object) noexcept : object_(std::move(object)) {}
  ole_com_ptr(ole_com_ptr&& other) noexcept = default;
  ole_com_ptr& operator=(ole_com_ptr&& other) noexcept {
    if (this != &other) {
      release();
      object_ = std::move(other.object_);
    }
    return *this;
  }
  ole_com_ptr(const ole_com_ptr&) = delete;
  ole_com_ptr& operator=(const ole_com_ptr&) = delete;
  ~ole_com_ptr() { release(); }

  // The out-parameter slot of an engine call; whatever was held is released
  // first.
  std::unique_ptr<T>& receive() {
    release();
    return object_;
  }

  // Releases the object, if any.
  void release() noexcept {
    if (!object_) return;
    object_.reset();
    TK_TRACE(1, "ole_com_ptr<T>::~ole_com_ptr() - %d refs left", 0);
  }

  T* get() const noexcept { return object_.get(); }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  // Using an empty pointer is an internal error.
  T* operator->() const {
    if (!object_) throw tk_mail_assertion("..\\OLE/ole_ptr", __LINE__);
    return object_.get();
  }
  T& operator*() const { return *operator->(); }

 private:
  std::unique_ptr<T> object_;
};
