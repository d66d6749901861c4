#include "sql_sender.h"

#include <system_error>

sql_sender::~sql_sender() {
  if (!worker_.joinable()) return;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void sql_sender::post(std::function<void()> job) {
  wait();
  if (!worker_.joinable() && !alone_) {
    try {
      worker_ = std::thread([this] { run(); });
      worker_id_ = worker_.get_id();
    } catch (const std::system_error&) {
      alone_ = true;
    }
  }
  if (alone_) {
    // No thread to be had: the job runs here, and what it tells and its
    // failure come at the next wait as from the worker.
    in_job_ = true;
    try {
      job();
    } catch (...) {
      failure_ = std::current_exception();
    }
    in_job_ = false;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    job_ = std::move(job);
    busy_ = true;
  }
  changed_.notify_all();
}

void sql_sender::wait() {
  if (alone_) {
    std::vector<std::function<void()>> reports;
    reports.swap(reports_);
    for (const auto& report : reports) report();
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    return;
  }
  if (!worker_.joinable() || on_worker()) return;
  std::vector<std::function<void()>> reports;
  std::exception_ptr failure;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    reports.swap(reports_);
    failure = std::exchange(failure_, nullptr);
  }
  for (const auto& report : reports) report();
  if (failure) std::rethrow_exception(failure);
}

void sql_sender::tell(std::function<void()> report) {
  std::lock_guard lock(mutex_);
  reports_.push_back(std::move(report));
}

void sql_sender::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return busy_ || stopping_; });
      if (!busy_) return;
      job = std::move(job_);
    }
    std::exception_ptr failure;
    try {
      job();
    } catch (...) {
      failure = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      failure_ = failure;
      busy_ = false;
    }
    changed_.notify_all();
  }
}
