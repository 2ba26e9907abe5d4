// A manual-reset event: stays signalled until reset, wakes every waiter.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class CEvent {
 public:
  void Set() {
    std::lock_guard guard(m_lock);
    m_signalled = true;
    m_changed.notify_all();
  }
  void Reset() {
    std::lock_guard guard(m_lock);
    m_signalled = false;
  }
  bool IsSet() const {
    std::lock_guard guard(m_lock);
    return m_signalled;
  }
  void Wait() {
    std::unique_lock guard(m_lock);
    m_changed.wait(guard, [this] { return m_signalled; });
  }
  // True when signalled within the time.
  template <class Rep, class Period>
  bool WaitFor(std::chrono::duration<Rep, Period> timeout) {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, timeout, [this] { return m_signalled; });
  }

 private:
  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_signalled = false;
};
