// Timed tries on a lock.
#pragma once

#include <chrono>
#include <thread>

// Takes the lock (a mutex, or a deferred std::unique_lock) within the time, or
// returns false. The waits this serves are rare and short, so the lock is tried
// in 1 ms steps rather than through the kernel's timed lock, which the
// ThreadSanitizer shipped with GCC 12 cannot follow (it then reports every
// unlock as wrong).
template <class Lockable, class Rep, class Period>
bool TryLockFor(Lockable& lockable, std::chrono::duration<Rep, Period> timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!lockable.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
