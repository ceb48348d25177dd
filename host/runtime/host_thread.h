// HostThread: the one thread on which a host calls into its plugins. Tasks run in the order they
// were posted; a task may post and wait for more (it then runs them at once, in place).
#ifndef ZEK_HOST_RUNTIME_HOST_THREAD_H_
#define ZEK_HOST_RUNTIME_HOST_THREAD_H_

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace Varn::Host {

class HostThread {
 public:
  HostThread();
  // Runs what was posted, then ends the thread.
  ~HostThread();
  HostThread(const HostThread&) = delete;
  HostThread& operator=(const HostThread&) = delete;

  // Runs `task` on the host thread and returns when it has run; exceptions it throws are
  // rethrown here. Called on the host thread, it runs `task` at once.
  void Run(const std::function<void()>& task);
  // Queues `task` to run later on the host thread.
  void Post(std::function<void()> task);
  bool IsCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace Varn::Host

#endif  // ZEK_HOST_RUNTIME_HOST_THREAD_H_
