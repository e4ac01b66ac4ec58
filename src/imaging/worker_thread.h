// A worker thread that never fails to run its work: when the system refuses a new thread (too
// little memory for its stack, a thread limit), the work runs at once on the calling thread
// instead, so that only time is lost.
#pragma once
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace tavrik {

class WorkerThread {
 public:
  WorkerThread() = default;
  template <class Fn>
  explicit WorkerThread(Fn fn) {
    try {
      thread_ = std::thread(fn);
      return;
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    fn();
  }
  WorkerThread(WorkerThread&&) = default;
  WorkerThread& operator=(WorkerThread&& other) {
    join();
    thread_ = std::move(other.thread_);
    return *this;
  }
  ~WorkerThread() { join(); }

  void join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

}  // namespace tavrik
