// Timed tries on a std::timed_mutex.
#pragma once

#include <chrono>

// Takes the mutex within the time, or returns false. ThreadSanitizer (as
// shipped with GCC 12) does not see the monotonic-clock lock that
// try_lock_for uses and then reports every unlock as wrong; under it the
// deadline is taken on the system clock, whose lock call it does see.
template <class Mutex, class Rep, class Period>
bool TryLockFor(Mutex& mutex, std::chrono::duration<Rep, Period> timeout) {
#if defined(__SANITIZE_THREAD__)
  return mutex.try_lock_until(std::chrono::system_clock::now() + timeout);
#else
  return mutex.try_lock_for(timeout);
#endif
}
