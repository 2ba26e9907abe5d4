// The thread that plays a simulator in real time: it steps the simulator to
// the host clock's now, then sleeps until its next event, a wake-up or stop.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CRealTimeStepper {
 public:
  using StepFunction = std::function<void(double hostTime)>;
  using NextFunction = std::function<double()>;  // host time of the next event

  CRealTimeStepper(StepFunction step, NextFunction next);
  ~CRealTimeStepper();
  CRealTimeStepper(const CRealTimeStepper&) = delete;
  CRealTimeStepper& operator=(const CRealTimeStepper&) = delete;

  void Start();
  void Stop();
  bool Running() const;
  // Look at the clock and the next event again now (an event was added).
  void Wake();

 private:
  void Run();

  StepFunction m_step;
  NextFunction m_next;
  mutable std::mutex m_runLock;  // Start and Stop
  std::mutex m_threadLock;
  std::condition_variable m_wakeUp;
  bool m_stop = false;
  bool m_wake = false;
  std::thread m_thread;
};
