#include "host/runtime/host_thread.h"

#include <exception>

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
  // The caller's stack holds the completion: a request costs no allocation beyond the task's.
  struct Completion {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::exception_ptr error;
  } completion;
  Post([&] {
    try {
      task();
    } catch (...) {
      completion.error = std::current_exception();
    }
    std::lock_guard lock(completion.mutex);
    completion.finished = true;
    completion.done.notify_one();
  });
  std::unique_lock lock(completion.mutex);
  completion.done.wait(lock, [&] { return completion.finished; });
  if (completion.error) std::rethrow_exception(completion.error);
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
