#include "host/runtime/host_thread.h"

#include <exception>
#include <future>

namespace Varn::Host {

HostThread::HostThread() : thread_([this] { Loop(); }) {}

HostThread::~HostThread() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void HostThread::Run(const std::function<void()>& task) {
  if (IsCurrent()) {
    task();
    return;
  }
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  Post([&] {
    try {
      task();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  finished.get();
}

void HostThread::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void HostThread::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return closing_ || !tasks_.empty(); });
    if (tasks_.empty()) return;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    try {
      task();
    } catch (...) {
      // A posted task has no one to report to; the thread must keep serving.
    }
    lock.lock();
  }
}

}  // namespace Varn::Host
